#pragma once

// Layout of a packed DIB: one block holding the header, the colour table (blue, green, red, 0)
// and the pixel rows, bottom row first, each padded to 4 bytes. Shared by the codec libraries
// and by the picture control, which build and read the same blocks.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pelisto::dib {

struct BitmapInfoHeader {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
    std::uint8_t blue, green, red, reserved;
};

inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_RLE8 = 1;
inline constexpr std::uint32_t BI_RLE4 = 2;
inline constexpr std::uint32_t BI_BITFIELDS = 3;
// 75 dots per inch, as the platform writes it.
inline constexpr std::int32_t PixelsPerMetre = 2953;
// Larger pictures are refused rather than risking size arithmetic that wraps.
inline constexpr std::int64_t MaxPixels = std::int64_t{1} << 28;

inline std::int64_t RowBytes(std::int64_t width, int bits) {
    return ((width * bits + 31) / 32) * 4;
}

// Number of colour table entries a DIB of this header carries.
inline std::uint32_t ColourCount(const BitmapInfoHeader& h) {
    if (h.biClrUsed != 0) {
        return h.biClrUsed;
    }
    return h.biBitCount <= 8 ? (1u << h.biBitCount) : 0u;
}

// A read view over a DIB block that has passed the sanity checks of View().
struct DibView {
    BitmapInfoHeader* header = nullptr;
    RgbQuad* colours = nullptr;
    std::uint32_t colourCount = 0;
    std::uint32_t masks[3] = {0, 0, 0}; // only for BI_BITFIELDS
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int bits = 0;
    std::int64_t rowBytes = 0;

    // Row y counted from the top of the picture.
    std::uint8_t* Row(int y) const { return pixels + (height - 1 - y) * rowBytes; }
    std::int64_t PixelBytes() const { return rowBytes * height; }
    explicit operator bool() const { return header != nullptr; }
};

// Checks a block's header and gives a view; an empty view when the header is not one we can
// handle (bottom-up only, 1/4/8/16/24/32 bits, plain or run-length or bit fields).
DibView View(void* block);

// Bytes of header, masks and colour table before the pixel rows.
std::size_t HeaderBytes(const BitmapInfoHeader& h);
// Header, table and pixels (biSizeImage, or height x row bytes when that is 0).
std::size_t TotalBytes(const BitmapInfoHeader& h);

// A zero-filled DIB block (std::malloc) with its header made; nullptr when it cannot be had.
void* Allocate(int width, int height, int bits, std::uint32_t colours);

// A gray ramp table of count entries.
void FillGrayTable(RgbQuad* table, std::uint32_t count);

// Pixel index (1, 4, 8 bits) at x in a row.
inline unsigned IndexAt(const std::uint8_t* row, int x, int bits) {
    switch (bits) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    default:
        return row[x];
    }
}

inline void SetIndex(std::uint8_t* row, int x, int bits, unsigned value) {
    switch (bits) {
    case 1: {
        const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
        row[x >> 3] =
            static_cast<std::uint8_t>(value ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask));
        break;
    }
    case 4:
        if (x & 1) {
            row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0u) | (value & 0x0Fu));
        } else {
            row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0Fu) | (value << 4));
        }
        break;
    default:
        row[x] = static_cast<std::uint8_t>(value);
    }
}

} // namespace pelisto::dib
