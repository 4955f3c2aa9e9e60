#pragma once

// Uncompressed 24-bit TGA pictures, whose rows are a DIB's rows already but for their padding:
// copied straight into a DIB, without the image library's 8-byte pixels beside them.

#include <cstddef>

namespace pelisto::codec {

// A 24-bit DIB of an uncompressed 24-bit true-colour TGA held in memory; nullptr when the file
// is another kind of TGA (which the general path reads) or does not hold all its rows.
void* Tga24ToDib(const unsigned char* bytes, std::size_t size);

} // namespace pelisto::codec
