#pragma once

// Telling a picture file's format and size from its header, without decoding it.

#include "codeclib/codec_api.h"

#include <cstdint>
#include <string>

namespace pelisto::codec {

struct Identified {
    std::string format;
    std::string compression = "None";
    long width = 0;
    long height = 0;
    int bits = 0;
    int pages = 1;
};

// BMP, PNG, GIF, TIFF, JPEG, HEIF, AVIF, WEBP, JXL, PCD, PCX or TGA by its first bytes; sizes as
// shown (upright). A picture over the size limit answers ErrTooLarge, with its size in the error
// detail.
std::int16_t Identify(const char* name, Identified& id);

// The TIFF page (counting from 1; 0 also means the first) and the file's page count.
std::int16_t TiffInfo(const char* name, int page, Identified& id, int& compression);

// ErrTooLarge, with the size in the error detail, for a picture over the limit; else Ok.
std::int16_t CheckPictureSize(std::int64_t width, std::int64_t height);

} // namespace pelisto::codec
