#pragma once

// What a BMP file's headers say, read where the general decoder gets BMP variants wrong: it
// takes an unused fourth byte or a newer header's alpha mask for real alpha, and widens 16-bit
// channels short of full intensity.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pelisto::codec {

struct BmpHeader {
    std::uint32_t pixelOffset = 0;
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: rows lie top-down
    int bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t masks[3] = {0, 0, 0}; // red, green, blue when the file gives bit fields
};

// The headers of a BMP file held in memory; nothing when they are not there or not sane.
std::optional<BmpHeader> ReadBmpHeader(const unsigned char* bytes, std::size_t size);

// A 24-bit DIB of an uncompressed or bit-field 16-bit BMP, each channel widened to 0..255;
// nullptr when the file is not such a BMP or does not hold all its rows.
void* Bmp16ToDib(const unsigned char* bytes, std::size_t size, const BmpHeader& header);

// A 24-bit DIB of an uncompressed 24-bit BMP, its rows copied as they are (the general decoder
// would hold its 8-byte pixels beside them); nullptr when the file is not such a BMP or does
// not hold all its rows.
void* Bmp24ToDib(const unsigned char* bytes, std::size_t size, const BmpHeader& header);

} // namespace pelisto::codec
