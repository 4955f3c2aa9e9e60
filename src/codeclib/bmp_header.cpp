#include "codeclib/bmp_header.h"

#include "codeclib/dib.h"
#include "codeclib/magick_dib.h"
#include "slideshow/byte_order.h"

#include <cstdlib>
#include <cstring>

namespace pelisto::codec {
namespace {

using bytes::Le16;
using bytes::Le32;

constexpr std::uint32_t BiRgb = 0;
constexpr std::uint32_t BiBitfields = 3;

} // namespace

std::optional<BmpHeader> ReadBmpHeader(const unsigned char* bytes, std::size_t size) {
    if (bytes == nullptr || size < 14 + 40 || bytes[0] != 'B' || bytes[1] != 'M') {
        return std::nullopt;
    }
    BmpHeader h;
    h.pixelOffset = Le32(bytes + 10);
    h.headerSize = Le32(bytes + 14);
    if (h.headerSize < 40 || h.headerSize > 4096 || 14 + std::size_t{h.headerSize} > size) {
        return std::nullopt;
    }
    h.width = static_cast<std::int32_t>(Le32(bytes + 18));
    h.height = static_cast<std::int32_t>(Le32(bytes + 22));
    h.bits = Le16(bytes + 28);
    h.compression = Le32(bytes + 30);
    if (h.compression == BiBitfields) {
        // Newer headers carry the masks; the plain header is followed by them.
        const std::size_t at = 14 + 40;
        if (at + 12 > size) {
            return std::nullopt;
        }
        for (int c = 0; c < 3; ++c) {
            h.masks[c] = Le32(bytes + at + 4 * c);
        }
    }
    return h;
}

void* Bmp16ToDib(const unsigned char* bytes, std::size_t size, const BmpHeader& h) {
    if (h.bits != 16 || (h.compression != BiRgb && h.compression != BiBitfields) || h.width <= 0 ||
        h.height == 0 || h.height == INT32_MIN) {
        return nullptr;
    }
    const int height = h.height < 0 ? -h.height : h.height;
    if (std::int64_t{h.width} * height > dib::MaxPixels) {
        return nullptr;
    }
    const std::int64_t rowBytes = dib::RowBytes(h.width, 16);
    if (h.pixelOffset > size ||
        static_cast<std::int64_t>(size - h.pixelOffset) < rowBytes * height) {
        return nullptr;
    }
    // A bit-field DIB over the file's rows (bottom-up, as DIBs lie), widened by the usual
    // 16-to-24-bit conversion.
    const std::size_t headerBytes = sizeof(dib::BitmapInfoHeader) + 12;
    const std::size_t image = static_cast<std::size_t>(rowBytes * height);
    struct Free {
        void* p;
        ~Free() { std::free(p); }
    } block{std::calloc(1, headerBytes + image)};
    if (block.p == nullptr) {
        return nullptr;
    }
    auto* out = static_cast<unsigned char*>(block.p);
    dib::BitmapInfoHeader header{};
    header.biSize = sizeof(dib::BitmapInfoHeader);
    header.biWidth = h.width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 16;
    header.biCompression = dib::BI_BITFIELDS;
    header.biSizeImage = static_cast<std::uint32_t>(image);
    std::memcpy(out, &header, sizeof(header));
    const std::uint32_t plain[3] = {0x7C00, 0x03E0, 0x001F};
    std::memcpy(out + sizeof(header), h.compression == BiBitfields ? h.masks : plain, 12);
    const unsigned char* rows = bytes + h.pixelOffset;
    for (int y = 0; y < height; ++y) {
        // File row y lands at DIB row y, or mirrored when the file lies top-down.
        const int target = h.height < 0 ? height - 1 - y : y;
        std::memcpy(out + headerBytes + static_cast<std::size_t>(target) * rowBytes,
                    rows + static_cast<std::size_t>(y) * rowBytes,
                    static_cast<std::size_t>(rowBytes));
    }
    const dib::DibView view = dib::View(block.p);
    return view ? Dib16To24(view) : nullptr;
}

void* Bmp24ToDib(const unsigned char* bytes, std::size_t size, const BmpHeader& h) {
    if (h.bits != 24 || h.compression != BiRgb || h.width <= 0 || h.height == 0 ||
        h.height == INT32_MIN) {
        return nullptr;
    }
    const int height = h.height < 0 ? -h.height : h.height;
    if (std::int64_t{h.width} * height > dib::MaxPixels) {
        return nullptr;
    }
    const std::int64_t rowBytes = dib::RowBytes(h.width, 24);
    if (h.pixelOffset > size ||
        static_cast<std::int64_t>(size - h.pixelOffset) < rowBytes * height) {
        return nullptr;
    }
    void* block = dib::Allocate(h.width, height, 24, 0);
    if (block == nullptr) {
        return nullptr;
    }
    // The file's rows are a DIB's rows already: bottom-up, or top-down with a negative height.
    const dib::DibView v = dib::View(block);
    const unsigned char* rows = bytes + h.pixelOffset;
    for (int i = 0; i < height; ++i) {
        const int y = h.height < 0 ? i : height - 1 - i; // from the top
        std::memcpy(v.Row(y), rows + rowBytes * i, static_cast<std::size_t>(rowBytes));
    }
    return block;
}

} // namespace pelisto::codec
