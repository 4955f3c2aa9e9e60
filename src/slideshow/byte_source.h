#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pelisto {

// Random-access read-only bytes of known size: a slideshow file on disk or in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Fills `out` with the bytes at `offset`; throws SlideshowError (ReadFailed) when the range
    // lies outside the source or the read fails.
    virtual void Read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// A file opened for reading; its size is taken once, at opening. The path is UTF-8 on both
// platforms (POSIX here, Win32 in byte_source_win32.cpp).
class FileByteSource final : public ByteSource {
public:
    // Throws SlideshowError (OpenFailed) when the file cannot be opened.
    explicit FileByteSource(const std::string& path);
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
#ifdef _WIN32
    void* handle_ = nullptr; // a Win32 HANDLE; the stubs' Windows build reads through it
#else
    int fd_ = -1;
#endif
    std::uint64_t size_ = 0;
};

// Throws SlideshowError (ReadFailed) unless `count` bytes at `offset` lie within `size`.
void CheckReadRange(std::uint64_t offset, std::size_t count, std::uint64_t size);

} // namespace pelisto
