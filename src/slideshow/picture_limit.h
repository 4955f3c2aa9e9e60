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

// The JPEG decoder's working memory for a picture of this many pixels: its coefficients (a
// progressive file keeps all of them, two bytes each, for up to four full-size components) and
// some tables. Anything more is a damaged or hostile file, and stops with an error.
constexpr std::int64_t JpegDecoderMemory(std::int64_t pixels) {
    return pixels * 8 + (std::int64_t{64} << 20);
}

// Whether a file of fileBytes can hold the picture it claims, so that nothing sized by the
// claim is allocated for a few bytes. Huffman-coded JPEG data spends at least a bit on every
// block of every component (arithmetic coding may spend less: it is not checked).
constexpr bool JpegDataTooShort(std::int64_t blocks, std::int64_t fileBytes) {
    return fileBytes < blocks / 8;
}
// zlib cannot pack more than about 1032 bytes into one, so a PNG's image data bounds the
// unpacked rows it can give.
constexpr std::int64_t MaxDeflateRatio = 1032;
constexpr bool PngDataTooShort(std::int64_t unpackedBytes, std::int64_t compressedBytes) {
    return compressedBytes < unpackedBytes / MaxDeflateRatio;
}

// "the file holds 3000 bytes, too few for a 16000 x 15000 picture".
inline std::string DataTooShortText(std::int64_t fileBytes, std::int64_t width,
                                    std::int64_t height) {
    return "the file holds " + std::to_string(fileBytes) + " bytes of picture data, too few for " +
           "a " + std::to_string(width) + " x " + std::to_string(height) + " picture";
}

} // namespace pelisto
