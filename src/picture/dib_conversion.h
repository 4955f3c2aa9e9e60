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
// The same, taking the block over: a 24-bit result keeps living in its own block as the bitmap's
// pixels (rows turned top-down in place), so a large picture is never held twice.
std::unique_ptr<TBitmap> DibToBitmap(TDibHolder dib, int wantedBits, bool dither);

// The DIB scaled to fit a width x height box as a screen of that size fits it (never enlarged),
// with the processing library's Lanczos filter; a DIB that already fits comes back as it was.
// A box side below 1 means no box. nullptr when the library call fails.
TDibHolder FitDibInBox(TDibHolder dib, int boxWidth, int boxHeight);
// The same, to exactly width x height, whatever the DIB's own size.
TDibHolder ResizedDib(TDibHolder dib, int width, int height);

// The bitmap as a DIB: 1 and 2 bits become 1 bit with 2 colours, 4 bits 16 colours, 8 bits
// 256 colours, deeper formats 24 bits. Raises ErrorInvalid "Input image is empty" for an empty
// bitmap and "Can't allocate memory" when the block cannot be had.
TDibHolder BitmapToDib(const TBitmap& bitmap);

// The bitmap as a DIB for the length of one library call that only reads it. A bitmap whose
// pixels still live in the block they were read in lends that block, its rows turned bottom-up
// in place and back when the loan ends; any other bitmap is copied (BitmapToDib). The bitmap
// must not be painted or changed while the loan lasts.
class DibLoan {
public:
    explicit DibLoan(const TBitmap& bitmap);
    ~DibLoan();
    DibLoan(const DibLoan&) = delete;
    DibLoan& operator=(const DibLoan&) = delete;
    void* get() const { return lent_ != nullptr ? lent_ : owned_.get(); }

private:
    TDibHolder owned_;
    void* lent_ = nullptr;
};

} // namespace pelisto
