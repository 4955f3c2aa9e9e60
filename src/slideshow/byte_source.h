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

// A file opened for reading; its size is taken once, at opening.
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
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

} // namespace pelisto
