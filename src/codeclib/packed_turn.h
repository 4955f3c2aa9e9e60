#pragma once

// Quarter turns of pixel rows as files store them, packed most significant bit first when a
// pixel takes less than a byte (PNG and BMP alike), whole bytes otherwise.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pelisto::codec {

inline unsigned PackedAt(const std::uint8_t* row, std::size_t x, int bits) {
    const std::size_t bit = x * static_cast<std::size_t>(bits);
    const int shift = 8 - bits - static_cast<int>(bit % 8);
    return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

inline void SetPackedAt(std::uint8_t* row, std::size_t x, int bits, unsigned value) {
    const std::size_t bit = x * static_cast<std::size_t>(bits);
    const int shift = 8 - bits - static_cast<int>(bit % 8);
    const auto mask = static_cast<std::uint8_t>(((1u << bits) - 1) << shift);
    row[bit / 8] = static_cast<std::uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// Turns w x h pixels of the given bits each anticlockwise by quarter turns (0..3): in holds the
// rows top first, out the turned rows top first.
template <typename InRow, typename OutRow>
void TurnPacked(InRow&& in, OutRow&& out, std::size_t w, std::size_t h, int bits, int quarters) {
    const bool swap = quarters % 2 != 0;
    const std::size_t ow = swap ? h : w;
    const std::size_t oh = swap ? w : h;
    const std::size_t bytes = static_cast<std::size_t>(bits) / 8;
    for (std::size_t y = 0; y < oh; ++y) {
        std::uint8_t* target = out(y);
        for (std::size_t x = 0; x < ow; ++x) {
            std::size_t sx = x;
            std::size_t sy = y;
            switch (quarters) {
            case 1: // the old top-right corner comes to the top left
                sx = w - 1 - y;
                sy = x;
                break;
            case 2:
                sx = w - 1 - x;
                sy = h - 1 - y;
                break;
            case 3:
                sx = y;
                sy = h - 1 - x;
                break;
            default:
                break;
            }
            const std::uint8_t* source = in(sy);
            if (bits < 8) {
                SetPackedAt(target, x, bits, PackedAt(source, sx, bits));
            } else {
                std::memcpy(target + x * bytes, source + sx * bytes, bytes);
            }
        }
    }
}

} // namespace pelisto::codec
