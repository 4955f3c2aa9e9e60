#include "framework/file_stream.h"

#include "framework/exceptions.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelisto {

FileStream::FileStream(const QString& fileName, Mode mode) : fileName_(fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    file_ = std::fopen(path.constData(), mode == Mode::Create ? "w+b" : "rb");
    if (file_ == nullptr) {
        if (mode == Mode::Create) {
            throw EFCreateError(fileName, QString::fromLocal8Bit(std::strerror(errno)));
        }
        throw EFOpenError(fileName);
    }
    // A folder opens for reading on this platform but has no bytes to give: it is no file.
    struct stat info {};
    if (mode == Mode::OpenRead && (fstat(fileno(file_), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(file_);
        file_ = nullptr;
        throw EFOpenError(fileName);
    }
}

FileStream::FileStream(const QString& fileName, int descriptor) : fileName_(fileName) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    const int copy = flags < 0 ? -1 : ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    file_ = copy < 0 ? nullptr : ::fdopen(copy, (flags & O_ACCMODE) == O_RDWR ? "r+b" : "wb");
    if (file_ == nullptr) {
        const int error = errno;
        if (copy >= 0) {
            ::close(copy);
        }
        throw EFCreateError(fileName, QString::fromLocal8Bit(std::strerror(error)));
    }
}

FileStream::~FileStream() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::int64_t FileStream::Size() const {
    const auto here = ftello(file_);
    fseeko(file_, 0, SEEK_END);
    const auto size = ftello(file_);
    fseeko(file_, here, SEEK_SET);
    return size;
}

std::int64_t FileStream::Position() const {
    return ftello(file_);
}

void FileStream::Seek(std::int64_t position) {
    fseeko(file_, position, SEEK_SET);
}

void FileStream::ReadBuffer(void* data, std::size_t count) {
    if (count != 0 && std::fread(data, 1, count, file_) != count) {
        throw EReadError();
    }
}

void FileStream::WriteBuffer(const void* data, std::size_t count) {
    if (Write(data, count) != count) {
        throw EWriteError();
    }
}

std::size_t FileStream::Write(const void* data, std::size_t count) {
    return count == 0 ? 0 : std::fwrite(data, 1, count, file_);
}

std::int64_t FileStream::CopyFrom(FileStream& source, std::int64_t count) {
    if (count == 0) {
        source.Seek(0);
        count = source.Size();
    }
    std::vector<char> buffer(64 * 1024);
    std::int64_t left = count;
    while (left > 0) {
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size())));
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        left -= static_cast<std::int64_t>(chunk);
    }
    return count;
}

int FileStream::Descriptor() const {
    return file_ == nullptr ? -1 : fileno(file_);
}

void FileStream::Close() {
    if (file_ == nullptr) {
        return;
    }
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        throw EWriteError();
    }
}

} // namespace pelisto
