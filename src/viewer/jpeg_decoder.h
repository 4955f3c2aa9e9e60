#pragma once

#include <atomic>
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

// The decode was stopped from outside (the user moved on or left).
class JpegDecodeCancelled : public JpegDecodeError {
public:
    using JpegDecodeError::JpegDecodeError;
};

// A smaller copy of a decoded picture, same pixel layout.
struct PictureLevel {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// A decoded picture in 32-bit pixels 0xXXRRGGBB (native order), rows packed.
struct DecodedPicture {
    int naturalWidth = 0; // the picture's own size, which the screen fit works from
    int naturalHeight = 0;
    int width = 0; // the decoded size, possibly reduced by the decoder's 1/8 steps
    int height = 0;
    int eighths = 8; // decoded at eighths/8 of the natural size
    std::vector<std::uint32_t> pixels;
    std::vector<std::string> warnings;  // recoverable damage the decoder reported
    std::vector<PictureLevel> halvings; // each half the one before, for smooth fast shrinking
};

// Natural size from the header alone. Throws JpegDecodeError, also for a size over the
// picture limit (slideshow/picture_limit.h).
void ReadJpegSize(std::span<const std::uint8_t> jpeg, int& width, int& height);

// Decodes at the smallest eighths/8 scale whose size still covers (wantWidth, wantHeight), so
// a large photo shown small does not cost its full size in memory and scaling time; never
// above the natural size, never a side above kMaxDecodedSide. Pictures over the picture limit
// are refused from the header, before the decoder allocates. Setting *cancel stops the decode
// within one row of blocks (JpegDecodeCancelled). Throws JpegDecodeError.
inline constexpr int kMaxDecodedSide = 8192;
DecodedPicture DecodeJpeg(std::span<const std::uint8_t> jpeg, int wantWidth, int wantHeight,
                          const std::atomic<bool>* cancel = nullptr);

} // namespace pelisto
