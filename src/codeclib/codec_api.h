#pragma once

// The C interface of the two run-time codec libraries. The picture control loads them with
// dlopen and finds these entries by name; the libraries export them with C linkage.
//
// Pictures cross as packed DIBs: one block made with std::malloc holding a 40-byte
// BITMAPINFOHEADER, the colour table (blue, green, red, 0) and the pixel rows, bottom row first,
// each row padded to 4 bytes. Whoever receives a DIB frees it with std::free.
//
// Every read, write and information call returns a 16-bit status; above 0 succeeds. The text of
// a failing status comes from plerrortext in the main library.
//
// The libraries use GraphicsMagick but never start it: the program does, once, on its main
// thread before any other thread exists (pelisto::StartMagick), so that its set-up never runs
// on two threads at once nor changes the environment while other threads read it.

#include <cstdint>

extern "C" {

using PLDib = void*;
// Called with a percentage and the caller's data; answering 0 cancels the operation.
using PLProgressProc = int (*)(int percent, void* data);

// Main library (the tool's image codec library).
using fileinfo_t = std::int16_t (*)(const char* name, char* format /* 6 bytes */,
                                    std::int16_t* width, std::int16_t* height, std::int16_t* bits,
                                    std::int16_t* colours, std::int16_t* pages,
                                    char* compression /* 26 bytes */, std::int16_t zero);
using getinfo_t = std::int16_t (*)(const char* name, std::int16_t page, std::int16_t* width,
                                   std::int16_t* height, std::int16_t* compression,
                                   std::int16_t zero, std::int16_t* pageCount, std::int16_t* bits);
// rdbmpfiledib, rdpngfiledib, rdpcxfiledib, rdgiffiledib, and for today's phone and web formats
// rdheiffiledib (HEIC, HEIF, AVIF), rdwebpfiledib, rdjxlfiledib
using rdfiledib_t = std::int16_t (*)(const char* name, std::int16_t bits, std::int16_t dither,
                                     PLDib* dib, void* palette, void* data, PLProgressProc progress,
                                     std::int16_t zero);
using rdjpgfiledib_t = std::int16_t (*)(const char* name, std::int16_t bits, std::int16_t one,
                                        std::int16_t dither, PLDib* dib, void* palette, void* data,
                                        PLProgressProc progress, std::int16_t zero);
// A JPEG decoded at the smallest of libjpeg's scales 1/8, 1/4, 1/2, 1 whose upright picture is
// still at least minWidth x minHeight (0 for no minimum: the full size), then scaled down to
// exactly that size with a Lanczos filter, row by row as it is decoded. A picture already no
// larger, or decoded less than 8 pixels across, comes at its decoded size.
using rdjpgfitdib_t = std::int16_t (*)(const char* name, std::int16_t bits, std::int16_t dither,
                                       std::int32_t minWidth, std::int32_t minHeight, PLDib* dib,
                                       void* data, PLProgressProc progress, std::int16_t zero);
// readtiffiledib (page), readpcdfiledib (resolution 0..2)
using readpagedib_t = std::int16_t (*)(const char* name, std::int16_t bits, std::int16_t dither,
                                       std::int16_t page, PLDib* dib, void* data,
                                       PLProgressProc progress, std::int16_t zero);
using readtgafiledib_t = std::int16_t (*)(const char* name, std::int16_t bits, std::int16_t dither,
                                          PLDib* dib, void* data, PLProgressProc progress,
                                          std::int16_t zero);
// wrbmpfiledib, wrpcxfiledib, wrgiffiledib
using wrfiledib_t = std::int16_t (*)(const char* name, std::int16_t bits, PLDib dib, void* data,
                                     PLProgressProc progress, std::int16_t zero);
using wrpngfiledib_t = std::int16_t (*)(const char* name, std::int16_t bits,
                                        std::int16_t interlaced, PLDib dib, void* data,
                                        PLProgressProc progress, std::int16_t zero);
using wrjpgfiledib_t = std::int16_t (*)(const char* name, std::int16_t quality, std::int16_t smooth,
                                        std::int16_t bits, PLDib dib, void* data,
                                        PLProgressProc progress, std::int16_t zero);
// Turns a picture file into another file, in its own format, by quarter turns anticlockwise.
using plturnfile_t = std::int16_t (*)(const char* source, const char* target,
                                      std::int16_t quarterTurns);
// A run-length DIB made plain: the pixels as an uncompressed DIB whose colour table is the
// palette. Returns 0 on failure.
using DibtoDdb_t = PLDib (*)(PLDib dib);
// Copies the text of a status (at most 255 characters) and returns its length.
using plerrortext_t = int (*)(std::int16_t status, char* buffer, int size);
// Copies what the latest failing call of this thread said of its cause (the picture's size, the
// point where the data was damaged, the system's reason; empty for none); returns its length.
using plerrordetail_t = int (*)(char* buffer, int size);
// The ICC profile of the picture this thread read last (none when it carried none or the read
// failed). Copies it when size holds it all, which also lets it go; answers its length. A reader
// hands a profile over through codeclib/picture_profile.h.
using pliccprofile_t = int (*)(void* buffer, int size);
// Annotation entries: this system draws no annotations, so they only check their arguments.
using InitAnnotation_t = int (*)(void* control, void* window, void* owner, const char* iniFile,
                                 void* callbacks);
using ClearAnnotation_t = int (*)(void* control);
using DrawAnnotation_t = int (*)(void* control, int scrollX, int scrollY, double zoom, int offsetX,
                                 int offsetY);
using DestroyAnnotation_t = int (*)(void* control);

// Processing library.
using PLRotate_t = PLDib (*)(PLDib dib, double degrees, std::int32_t left, std::int32_t top,
                             std::int32_t right, std::int32_t bottom, std::uint32_t backRgb);
using DibConvert_t = PLDib (*)(PLDib dib);
using ReduceDib_t = PLDib (*)(PLDib dib, std::int16_t bits, std::int16_t dither);
// The picture scaled to exactly width x height (Lanczos); nullptr on failure.
using ResizeDib_t = PLDib (*)(PLDib dib, std::int32_t width, std::int32_t height);
// Brings the DIB's pixels (or colour table) from the ICC profile to sRGB, in place: 1 when they
// changed, 0 when left as they were (sRGB already, or no usable profile for such a picture).
using ProfileToSrgb_t = std::int16_t (*)(PLDib dib, const void* profile, std::int32_t size);

} // extern "C"

namespace pelisto::codec {

// Status numbers of the main library; each has a text (plerrortext).
enum Status : std::int16_t {
    Ok = 1,
    ErrGeneral = 0,
    ErrOpen = -1,
    ErrUnknownFormat = -2,
    ErrDamaged = -3,
    ErrMemory = -4,
    ErrCreate = -5,
    ErrWrite = -6,
    ErrCancelled = -7,
    ErrArgument = -8,
    ErrDepth = -9,
    ErrPage = -10,
    ErrTooLarge = -11,
    ErrTooShort = -12,
    ErrWrongFormat = -13,
    // Turning would mean encoding the picture again, losing quality: refused.
    ErrLossyFormat = -14,
};

} // namespace pelisto::codec
