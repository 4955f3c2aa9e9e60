#pragma once

// WebP pictures through libwebp: still pictures, and the first frame of an animated one. An EXIF
// orientation in the file is applied as for a JPEG.

#include "codeclib/file_identify.h"

#include <cstdint>
#include <vector>

namespace pelisto::codec {

bool LooksLikeWebp(const unsigned char* head, std::size_t size);

// Format "WEBP", the picture's size as shown (upright) and depth, from its chunk headers.
std::int16_t WebpInfo(const char* name, Identified& id);

// Whether the file's picture is coded losslessly (a still VP8L picture): only such a file can be
// turned and written again without losing anything.
bool WebpLossless(const std::vector<unsigned char>& bytes);

// Decodes the picture (an animation's first frame) into a new 24-bit DIB, upright, transparent
// pixels laid on white. icc receives the file's ICC profile (empty for none).
std::int16_t WebpRead(const char* name, void** dib, std::vector<std::uint8_t>& icc);

} // namespace pelisto::codec
