#pragma once

#include <cstdint>
#include <string>

namespace pelisto {

// The largest picture a slideshow shows: real photos, panoramas and scans stay well inside,
// while a few bytes of header claiming more can no longer make a decoder allocate gigabytes.
// Checked from the header, before anything is decoded.
inline constexpr std::uint32_t kMaxPictureSide = 30000;
inline constexpr std::uint64_t kMaxPicturePixels = 250'000'000;

inline bool PictureSizeAllowed(std::uint64_t width, std::uint64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// "too large (32767 x 32767 pixels; at most 30000 a side and 250 megapixels)".
inline std::string PictureTooLargeText(std::uint64_t width, std::uint64_t height) {
    return "too large (" + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; at most " + std::to_string(kMaxPictureSide) + " a side and " +
           std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels)";
}

} // namespace pelisto
