#pragma once

// JPEG reading and writing of the main codec library, over libjpeg-turbo.

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"

#include <cstdio>

namespace pelisto::codec {

struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
    int orientation = 1; // EXIF orientation; sizes above are the stored ones
};

// Reads the header only.
std::int16_t JpegReadInfo(std::FILE* file, JpegInfo& info);

// Decodes the whole picture, shown upright as its EXIF orientation says: 8-bit gray DIB for
// one-component files, else 24-bit. With a minimum upright size, it is decoded at the smallest of
// libjpeg's scales (1/8, 1/4, 1/2) that still covers it: a picture made for a screen skips most
// of the work of its full size. exact then scales the decoded rows down to exactly that size as
// they come (DibScaler), unless the decoded picture is no larger or too thin for the filter.
std::int16_t JpegRead(std::FILE* file, void** dib, void* data, PLProgressProc progress,
                      int minWidth = 0, int minHeight = 0, bool exact = false);

// Encodes the DIB (any depth) at quality 1..100 with the given smoothing 0..100, gray when
// gray is set, with optimised Huffman tables.
std::int16_t JpegWrite(std::FILE* file, const dib::DibView& view, int quality, int smooth,
                       bool gray, void* data, PLProgressProc progress);

} // namespace pelisto::codec
