#pragma once

// PNG through libpng, for every kind of PNG: reading straight into a DIB (palette and low-depth
// pictures keep their indexes, the rest are 8-bit gray or 24-bit), and the quarter turn that
// keeps the file as it is in every other respect. The file's claims are checked before anything
// is allocated for them.

#include <cstdint>
#include <cstdio>
#include <png.h>

namespace pelisto::codec {

// Walks the file's chunks (from its start; it is left there): a chunk that runs past the file's
// end, or image data too small for the size the header claims, is refused (ErrDamaged, with the
// cause in the error detail; ErrTooLarge for a size over the limit).
std::int16_t CheckPngClaims(std::FILE* file);

// libpng's own limits for a reader: the picture limit on its sides, a bound on the memory any
// ancillary chunk may take and on how many are kept.
void LimitPngReader(png_structp png);

// Decodes the file into a new DIB: palette and 1- or 4-bit gray pictures with their indexes
// (transparent palette entries laid on white), other gray pictures without transparency as
// 8-bit gray, the rest 24-bit with transparent pixels laid on white.
std::int16_t PngRead(std::FILE* file, void** dib);

// Writes the picture turned by quarter turns anticlockwise to out: same depth, colour type,
// palette, transparency and interlacing, every ancillary chunk kept (the pixel sizes of pHYs and
// sCAL swapped with the sides).
std::int16_t PngTurn(std::FILE* in, std::FILE* out, int quarterTurns);

} // namespace pelisto::codec
