#include "slideshow/byte_source.h"

#include "slideshow/slideshow_error.h"

#include <cstring>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pelisto {

void CheckReadRange(std::uint64_t offset, std::size_t count, std::uint64_t size) {
    // Written so that a hostile offset cannot wrap around.
    if (offset > size || count > size - offset) {
        throw SlideshowError(SlideshowErrorKind::ReadFailed,
                             "read of " + std::to_string(count) + " bytes at offset " +
                                 std::to_string(offset) + " lies outside the " +
                                 std::to_string(size) + "-byte file");
    }
}

void MemoryByteSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    CheckReadRange(offset, out.size(), bytes_.size());
    if (!out.empty()) {
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
    }
}

#ifndef _WIN32

FileByteSource::FileByteSource(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        throw SlideshowError(SlideshowErrorKind::OpenFailed,
                             "cannot open " + path + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw SlideshowError(SlideshowErrorKind::OpenFailed,
                             "cannot read " + path + ": " +
                                 (S_ISREG(st.st_mode) ? std::strerror(err) : "not a regular file"));
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

FileByteSource::~FileByteSource() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void FileByteSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    CheckReadRange(offset, out.size(), size_);
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw SlideshowError(SlideshowErrorKind::ReadFailed,
                                 "cannot read " + path_ + ": " +
                                     (n < 0 ? std::strerror(errno) : "file shrank while reading"));
        }
        done += static_cast<std::size_t>(n);
    }
}

#endif // _WIN32

} // namespace pelisto
