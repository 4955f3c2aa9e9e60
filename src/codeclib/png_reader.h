#pragma once

// PNG reading straight into a DIB through libpng, for the true-colour and gray pictures that
// make up nearly all large PNG files: the image library's 16-bit pixel cache (8 bytes a pixel)
// would otherwise sit beside the DIB. Palette and low-depth gray pictures keep the general path,
// which keeps their indexes.

#include <cstdint>
#include <cstdio>

namespace pelisto::codec {

// Decodes the file into a new DIB: 8-bit gray for gray pictures without transparency, else
// 24-bit with transparent pixels laid on white. handled is false, and nothing is read beyond
// the header, for a picture that the general path should read.
std::int16_t PngRead(std::FILE* file, void** dib, bool& handled);

} // namespace pelisto::codec
