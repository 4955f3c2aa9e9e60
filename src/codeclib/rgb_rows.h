#pragma once

// Rows of decoded RGB or RGBA pixels put into a 24-bit DIB row (blue, green, red), transparent
// pixels laid on white as every reader of the tool shows them.

#include <cstdint>

namespace pelisto::codec {

inline std::uint8_t OnWhite(unsigned value, unsigned alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// in holds width pixels of red, green, blue (and alpha when channels is 4).
inline void PutRgbRow(std::uint8_t* out, const std::uint8_t* in, int width, int channels) {
    for (int x = 0; x < width; ++x, in += channels, out += 3) {
        const unsigned a = channels == 4 ? in[3] : 255u;
        out[0] = OnWhite(in[2], a);
        out[1] = OnWhite(in[1], a);
        out[2] = OnWhite(in[0], a);
    }
}

// The same for pixels already in blue, green, red, alpha order.
inline void PutBgraRow(std::uint8_t* out, const std::uint8_t* in, int width) {
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = OnWhite(in[0], in[3]);
        out[1] = OnWhite(in[1], in[3]);
        out[2] = OnWhite(in[2], in[3]);
    }
}

} // namespace pelisto::codec
