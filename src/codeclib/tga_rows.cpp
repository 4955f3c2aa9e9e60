#include "codeclib/tga_rows.h"

#include "codeclib/dib.h"
#include "slideshow/byte_order.h"

#include <cstdint>
#include <cstring>

namespace pelisto::codec {

void* Tga24ToDib(const unsigned char* h, std::size_t size) {
    constexpr std::size_t Header = 18;
    if (size < Header) {
        return nullptr;
    }
    const int idLength = h[0];
    const int mapType = h[1];
    const int type = h[2];
    const int mapLength = bytes::Le16(h + 5);
    const int mapEntryBits = h[7];
    const int width = bytes::Le16(h + 12);
    const int height = bytes::Le16(h + 14);
    const int depth = h[16];
    const int descriptor = h[17];
    // Right-to-left rows are left to the general path.
    if (type != 2 || depth != 24 || (descriptor & 0x10) != 0 || width == 0 || height == 0) {
        return nullptr;
    }
    const std::size_t mapBytes =
        mapType == 1 ? static_cast<std::size_t>(mapLength) * ((mapEntryBits + 7) / 8) : 0;
    const std::size_t offset = Header + static_cast<std::size_t>(idLength) + mapBytes;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (offset > size || (size - offset) / rowBytes < static_cast<std::size_t>(height)) {
        return nullptr;
    }
    void* block = dib::Allocate(width, height, 24, 0);
    if (block == nullptr) {
        return nullptr;
    }
    const dib::DibView v = dib::View(block);
    const bool topDown = (descriptor & 0x20) != 0;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i; // from the top
        std::memcpy(v.Row(y), h + offset + rowBytes * static_cast<std::size_t>(i), rowBytes);
    }
    return block;
}

} // namespace pelisto::codec
