#include "codeclib/dib.h"

#include <cstdlib>

namespace pelisto::dib {

std::size_t HeaderBytes(const BitmapInfoHeader& h) {
    const std::size_t masks = h.biCompression == BI_BITFIELDS ? 12 : 0;
    return sizeof(BitmapInfoHeader) + masks + 4u * ColourCount(h);
}

std::size_t TotalBytes(const BitmapInfoHeader& h) {
    std::size_t image = h.biSizeImage;
    if (image == 0) {
        image = static_cast<std::size_t>(RowBytes(h.biWidth, h.biBitCount) * h.biHeight);
    }
    return HeaderBytes(h) + image;
}

DibView View(void* block) {
    DibView v;
    if (block == nullptr) {
        return v;
    }
    auto* h = static_cast<BitmapInfoHeader*>(block);
    const int bits = h->biBitCount;
    const bool depthOk =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (h->biSize != sizeof(BitmapInfoHeader) || h->biWidth <= 0 || h->biHeight <= 0 || !depthOk ||
        h->biCompression > BI_BITFIELDS) {
        return v;
    }
    if (std::int64_t{h->biWidth} * h->biHeight > MaxPixels) {
        return v;
    }
    if ((h->biCompression == BI_RLE8 && bits != 8) || (h->biCompression == BI_RLE4 && bits != 4) ||
        (h->biCompression == BI_BITFIELDS && bits != 16 && bits != 32)) {
        return v;
    }
    const std::uint32_t colours = ColourCount(*h);
    if (colours > 256 || (bits <= 8 && colours > (1u << bits))) {
        return v;
    }
    auto* bytes = static_cast<std::uint8_t*>(block);
    v.header = h;
    if (h->biCompression == BI_BITFIELDS) {
        std::memcpy(v.masks, bytes + sizeof(BitmapInfoHeader), sizeof(v.masks));
    }
    v.colours = reinterpret_cast<RgbQuad*>(bytes + sizeof(BitmapInfoHeader) +
                                           (h->biCompression == BI_BITFIELDS ? 12 : 0));
    v.colourCount = colours;
    v.pixels = bytes + HeaderBytes(*h);
    v.width = h->biWidth;
    v.height = h->biHeight;
    v.bits = bits;
    v.rowBytes = RowBytes(h->biWidth, bits);
    return v;
}

void* Allocate(int width, int height, int bits, std::uint32_t colours) {
    if (width <= 0 || height <= 0 || std::int64_t{width} * height > MaxPixels) {
        return nullptr;
    }
    const std::int64_t image = RowBytes(width, bits) * height;
    const std::size_t total = sizeof(BitmapInfoHeader) + 4u * colours + image;
    void* block = std::calloc(1, total);
    if (block == nullptr) {
        return nullptr;
    }
    auto* h = static_cast<BitmapInfoHeader*>(block);
    h->biSize = sizeof(BitmapInfoHeader);
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = static_cast<std::uint16_t>(bits);
    h->biCompression = BI_RGB;
    h->biSizeImage = static_cast<std::uint32_t>(image);
    h->biXPelsPerMeter = PixelsPerMetre;
    h->biYPelsPerMeter = PixelsPerMetre;
    h->biClrUsed = colours;
    h->biClrImportant = colours;
    return block;
}

void FillGrayTable(RgbQuad* table, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto g = static_cast<std::uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
        table[i] = {g, g, g, 0};
    }
}

} // namespace pelisto::dib
