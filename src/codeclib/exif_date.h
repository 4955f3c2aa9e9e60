#pragma once

// The date a photo was taken, as its camera wrote it in the EXIF block. Reads are bounded by the
// data given and never trust an offset in it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelisto::exif {

// DateTimeOriginal of a JPEG (its first EXIF APP1 segment) or a TIFF file, from the file's
// first bytes, as "YYYY-MM-DD HH:MM"; empty when there is none or it is not a date.
std::string DateTaken(const std::uint8_t* file, std::size_t size);

} // namespace pelisto::exif
