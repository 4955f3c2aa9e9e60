#pragma once

// HEIF pictures (HEIC from phones, AVIF) through libheif. The container's own turn and mirror
// are applied by the library; an EXIF orientation in the file describes the coded picture and is
// not applied on top of them.

#include "codeclib/file_identify.h"

#include <cstdint>
#include <vector>

namespace pelisto::codec {

// Whether the first bytes are an ISO media file of a HEIF brand (heic, heix, mif1, avif...).
bool LooksLikeHeif(const unsigned char* head, std::size_t size);

// Format "HEIF" or "AVIF", the primary picture's size as shown and its bit depth, from the
// file's boxes without decoding; ErrTooLarge for a picture over the limit.
std::int16_t HeifInfo(const char* name, Identified& id);

// Decodes the primary picture into a new 24-bit DIB, upright, 10 and 12 bits brought to 8,
// transparent pixels laid on white. icc receives the picture's ICC profile (empty for none).
std::int16_t HeifRead(const char* name, void** dib, std::vector<std::uint8_t>& icc);

} // namespace pelisto::codec
