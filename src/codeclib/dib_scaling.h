#pragma once

// Scaling pictures to an exact size with libswscale's Lanczos filter.

#include "codeclib/dib.h"

#include <cstdint>
#include <memory>

namespace pelisto::codec {

// libswscale shortens its filter for a source only a few pixels across (down to one tap: the
// nearest pixel); such pictures are left to another scaler.
inline constexpr int kSmallestScaledSide = 8;

// Scales a picture given row by row, from the top, to exactly toWidth x toHeight with a
// three-lobe Lanczos filter on the stored sample values (gamma space). Only slices of the source
// are held, so a decoder can hand its rows over as it makes them. Both source sides must be at
// least kSmallestScaledSide. Safe on any thread: each object has its own scaler.
class DibScaler {
public:
    DibScaler();
    ~DibScaler();
    DibScaler(const DibScaler&) = delete;
    DibScaler& operator=(const DibScaler&) = delete;

    // Rows of width x height 8-bit gray samples, or 24-bit blue-green-red pixels. False when
    // the sizes will not do or memory is short.
    bool Start(int width, int height, bool gray, int toWidth, int toHeight);
    // The next row; false on failure, or past the last row.
    bool Push(const std::uint8_t* row);
    // After the last row: the scaled DIB, 8-bit gray (with a gray table) or 24-bit; nullptr on
    // failure. The scaler is spent.
    void* Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The plain DIB (1, 4, 8 bits indexed, 24 or 32 bits, not run-length or bit fields), both sides
// at least kSmallestScaledSide, scaled to exactly width x height by a DibScaler. Indexed
// pictures whose colours are all grays become 8-bit gray DIBs, the rest 24-bit; the fourth byte
// of 32-bit pixels is left out. nullptr when the DIB, the size or the memory will not do.
void* ScaledDib(const dib::DibView& view, int width, int height);

} // namespace pelisto::codec
