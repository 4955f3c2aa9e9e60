#include "codeclib/whole_file.h"

#include "codeclib/codec_api.h"
#include "codeclib/error_detail.h"

#include <cerrno>
#include <sys/stat.h>

namespace pelisto::codec {

bool ReadWholeFile(const char* name, std::vector<unsigned char>& bytes) {
    FilePtr file(std::fopen(name, "rb"));
    if (!file) {
        SetErrorDetailFromErrno(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
        SetErrorDetail("not a regular file");
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        SetErrorDetailFromErrno(std::ferror(file.get()) ? errno : 0);
        return false;
    }
    return true;
}

std::int16_t WriteWholeFile(const char* name, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        SetErrorDetailFromErrno(errno);
        return ErrCreate;
    }
    const bool written = std::fwrite(data, 1, size, file) == size && std::fflush(file) == 0;
    const int writeError = written ? 0 : errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        SetErrorDetailFromErrno(written ? errno : writeError);
        return ErrWrite;
    }
    return Ok;
}

bool CloseWritten(FilePtr file) {
    const bool flushed = std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
    const int flushError = flushed ? 0 : errno;
    const bool closed = std::fclose(file.release()) == 0;
    if (!flushed || !closed) {
        SetErrorDetailFromErrno(flushed ? errno : flushError);
        return false;
    }
    return true;
}

} // namespace pelisto::codec
