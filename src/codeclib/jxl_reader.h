#pragma once

// JPEG XL pictures through libjxl. The picture's own orientation is applied by the decoder, as
// for a JPEG's EXIF orientation.

#include "codeclib/file_identify.h"

#include <cstdint>
#include <vector>

namespace pelisto::codec {

// A bare codestream or the boxed container.
bool LooksLikeJxl(const unsigned char* head, std::size_t size);

// Format "JXL", the picture's size as shown (upright) and depth, from its header.
std::int16_t JxlInfo(const char* name, Identified& id);

// Decodes the picture (an animation's first frame) into a new 24-bit DIB, upright, 16 bits and
// floats brought to 8, transparent pixels laid on white. icc receives the picture's colour
// profile when it is not plain sRGB (empty otherwise).
std::int16_t JxlRead(const char* name, void** dib, std::vector<std::uint8_t>& icc);

} // namespace pelisto::codec
