#pragma once

#include "slideshow/byte_source.h"
#include "slideshow/slideshow_error.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pelisto {

// A slideshow file is the viewer stub, then the JPEG pictures back to back, then the trailer:
//   stub length S (u32) | automatic flag (u8, 0 or 1) | delay in seconds (u16)
//   | picture lengths L[0..N-1] (u32 each) | picture count N (u32) | "WAGON"
// All integers little-endian, nothing padded. The trailer is 16 + 4N bytes; a reader finds it
// from the end of the file.

inline constexpr std::array<std::uint8_t, 5> kSlideshowMarker{'W', 'A', 'G', 'O', 'N'};
inline constexpr std::uint64_t kTrailerFixedSize = 16;

// Trailer size for `pictureCount` pictures: 16 + 4N.
constexpr std::uint64_t TrailerSize(std::uint64_t pictureCount) {
    return kTrailerFixedSize + 4 * pictureCount;
}

struct SlideshowTrailer {
    std::uint32_t stubLength = 0;
    bool automatic = false;
    std::uint16_t delaySeconds = 10;
    std::vector<std::uint32_t> pictureLengths;
};

// The 16 + 4N trailer bytes. Throws SlideshowError for what a reader would reject: no
// pictures (BadCount), a delay of 0 (BadDelay), a picture length of 0 (EmptyPicture).
std::vector<std::uint8_t> EncodeTrailer(const SlideshowTrailer& trailer);

// Streaming help for a builder that copies the stub and each picture into the output itself:
// it records the lengths as they are appended and produces the trailer at the end.
//   SlideshowWriter w(stubSize);          // after copying the stub
//   w.AddPicture(jpegSize);               // after appending each picture
//   auto bytes = w.Trailer(flag, delay);  // append these last
class SlideshowWriter {
public:
    // Throws SlideshowError (ValueTooLarge) when the stub does not fit the 32-bit field.
    explicit SlideshowWriter(std::uint64_t stubLength);
    // Throws SlideshowError: ValueTooLarge above 4 GiB - 1, EmptyPicture for 0.
    void AddPicture(std::uint64_t length);
    std::size_t PictureCount() const { return lengths_.size(); }
    // Bytes written so far by the caller: stub plus pictures.
    std::uint64_t BodySize() const { return bodySize_; }
    std::vector<std::uint8_t> Trailer(bool automatic, std::uint16_t delaySeconds) const;

private:
    std::uint32_t stubLength_;
    std::vector<std::uint32_t> lengths_;
    std::uint64_t bodySize_;
};

struct PictureSlice {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

struct SlideshowLayout {
    std::uint32_t stubLength = 0;
    bool automatic = false;
    std::uint16_t delaySeconds = 0;
    std::vector<PictureSlice> pictures; // in slideshow order, never empty
    std::uint64_t trailerOffset = 0;    // P, where the last picture ends
};

// Reads and checks the trailer at the end of `source`: marker, count, flag, delay, every
// length, and that stub plus pictures end exactly where the trailer begins. Throws
// SlideshowError with a kind and an English message for each way the file can be malformed.
SlideshowLayout ReadSlideshow(const ByteSource& source);
SlideshowLayout ReadSlideshowFile(const std::string& path);

// The bytes of one picture.
std::vector<std::uint8_t> ReadPicture(const ByteSource& source, const PictureSlice& slice);

} // namespace pelisto
