#pragma once

// TIFF reading through libtiff into a DIB, for the true-colour and gray pictures (of any
// photometric, compression or layout libtiff can turn into RGBA): the image library's 16-bit
// pixel cache (8 bytes a pixel) would otherwise sit beside the DIB. Palette and bilevel pictures
// keep the general path, which keeps their indexes.

#include <cstdint>

namespace pelisto::codec {

// Decodes page (counting from 1; 0 also means the first) into a new DIB shown upright as its
// orientation tag says: 8-bit gray for gray pictures without alpha, else 24-bit with transparent
// pixels laid on white. handled is false for a picture that the general path should read.
std::int16_t TiffRead(const char* name, int page, void** dib, bool& handled);

} // namespace pelisto::codec
