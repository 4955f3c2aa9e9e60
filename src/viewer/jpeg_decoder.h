#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelisto {

class JpegDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A decoded picture in 32-bit pixels 0xXXRRGGBB (native order), rows packed.
struct DecodedPicture {
    int naturalWidth = 0; // the picture's own size, which the screen fit works from
    int naturalHeight = 0;
    int width = 0; // the decoded size, possibly reduced by the decoder's 1/8 steps
    int height = 0;
    int eighths = 8; // decoded at eighths/8 of the natural size
    std::vector<std::uint32_t> pixels;
    std::vector<std::string> warnings; // recoverable damage the decoder reported
};

// Natural size from the header alone. Throws JpegDecodeError.
void ReadJpegSize(std::span<const std::uint8_t> jpeg, int& width, int& height);

// Decodes at the smallest eighths/8 scale whose size still covers (wantWidth, wantHeight), so
// a large photo shown small does not cost its full size in memory and scaling time; never
// above the natural size, never a side above kMaxDecodedSide. Throws JpegDecodeError.
inline constexpr int kMaxDecodedSide = 8192;
DecodedPicture DecodeJpeg(std::span<const std::uint8_t> jpeg, int wantWidth, int wantHeight);

} // namespace pelisto
