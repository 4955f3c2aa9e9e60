#pragma once

// Scaling a DIB to an exact size with libswscale's Lanczos filter.

#include "codeclib/dib.h"

namespace pelisto::codec {

// libswscale shortens its filter for a source only a few pixels across (down to one tap: the
// nearest pixel); such pictures are left to another scaler.
inline constexpr int kSmallestScaledSide = 8;

// The plain DIB (1, 4, 8 bits indexed, 24 or 32 bits, not run-length or bit fields), both sides
// at least kSmallestScaledSide, scaled to exactly width x height with a three-lobe Lanczos filter
// on the stored sample values (gamma space). Indexed pictures whose colours are all grays become
// 8-bit gray DIBs, the rest 24-bit; the fourth byte of 32-bit pixels is left out. nullptr when the
// DIB, the size or the memory will not do. Safe on any thread: every call makes its own scaler.
void* ScaledDib(const dib::DibView& view, int width, int height);

} // namespace pelisto::codec
