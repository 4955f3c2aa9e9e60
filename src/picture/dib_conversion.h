#pragma once

#include <cstdlib>
#include <memory>

namespace pelisto {

class TBitmap;

// Owns one DIB block (std::malloc'd, as the codec libraries make them).
struct DibFree {
    void operator()(void* block) const { std::free(block); }
};
using TDibHolder = std::unique_ptr<void, DibFree>;

// The DIB as a bitmap: run-length DIBs are expanded first, then the depth is raised or reduced
// to wantedBits (0, 1, 4, 8 or 24; reducing may dither) by the processing library. Returns
// nullptr when a library call fails or the bitmap cannot be made.
std::unique_ptr<TBitmap> DibToBitmap(void* dib, int wantedBits, bool dither);

// The bitmap as a DIB: 1 and 2 bits become 1 bit with 2 colours, 4 bits 16 colours, 8 bits
// 256 colours, deeper formats 24 bits. Raises ErrorInvalid "Input image is empty" for an empty
// bitmap and "Can't allocate memory" when the block cannot be had.
TDibHolder BitmapToDib(const TBitmap& bitmap);

} // namespace pelisto
