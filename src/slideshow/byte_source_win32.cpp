// FileByteSource for the Windows viewer stub: the same interface over Win32 file handles, so the
// trailer reader is the same code on both platforms.
#ifdef _WIN32

#include "slideshow/byte_source.h"

#include "slideshow/slideshow_error.h"

#include <algorithm>

#include <windows.h>

namespace pelisto {

namespace {

std::wstring Widen(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string SystemMessage(DWORD code) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

} // namespace

FileByteSource::FileByteSource(const std::string& path) : path_(path) {
    HANDLE file =
        CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw SlideshowError(SlideshowErrorKind::OpenFailed,
                             "cannot open " + path + ": " + SystemMessage(GetLastError()));
    }
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        throw SlideshowError(SlideshowErrorKind::OpenFailed,
                             "cannot read " + path + ": not a regular file");
    }
    handle_ = file;
    size_ = static_cast<std::uint64_t>(size.QuadPart);
}

FileByteSource::~FileByteSource() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
    }
}

void FileByteSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    CheckReadRange(offset, out.size(), size_);
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
        DWORD got = 0;
        const bool ok =
            ReadFile(static_cast<HANDLE>(handle_), out.data() + done, want, &got, &where) != FALSE;
        if (!ok || got == 0) {
            const DWORD code = GetLastError();
            throw SlideshowError(
                SlideshowErrorKind::ReadFailed,
                "cannot read " + path_ + ": " +
                    (ok ? std::string("file shrank while reading") : SystemMessage(code)));
        }
        done += got;
    }
}

} // namespace pelisto

#endif // _WIN32
