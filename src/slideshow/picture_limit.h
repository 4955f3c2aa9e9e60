#pragma once

// The largest picture the tool and its viewers take. Every reader checks the size that a file's
// header claims against it before any decoder allocates, so a few hostile bytes cannot claim
// gigabytes. 30,000 pixels a side lets the longest panoramas through; 250 megapixels is well
// above any camera or scanner page (a 24-bit copy of such a picture is already 750 MB).

#include <cstdint>
#include <string>

namespace pelisto {

constexpr std::int64_t MaxPictureSide = 30000;
constexpr std::int64_t MaxPicturePixels = 250'000'000;

constexpr bool PictureTooLarge(std::int64_t width, std::int64_t height) {
    return width > MaxPictureSide || height > MaxPictureSide ||
           (width > 0 && height > 0 && width * height > MaxPicturePixels);
}

// Whether a picture of this size may be decoded at all: a side of 0 is no picture.
constexpr bool PictureSizeAllowed(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && !PictureTooLarge(width, height);
}

// "40000 x 300 pixels, over the limit of 30000 pixels a side and 250 megapixels in all".
inline std::string PictureTooLargeText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels, over the limit of " +
           std::to_string(MaxPictureSide) + " pixels a side and " +
           std::to_string(MaxPicturePixels / 1'000'000) + " megapixels in all";
}

} // namespace pelisto
