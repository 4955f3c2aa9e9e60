#pragma once

// Passing DIBs to and from GraphicsMagick images, shared by both codec libraries.

#include "codeclib/dib.h"

#include <magick/api.h>

#include <memory>
#include <string>

namespace pelisto::codec {

struct ImageDeleter {
    void operator()(Image* image) const { DestroyImageList(image); }
};
using MagickImagePtr = std::unique_ptr<Image, ImageDeleter>;

struct ImageInfoDeleter {
    void operator()(ImageInfo* info) const { DestroyImageInfo(info); }
};
using MagickInfoPtr = std::unique_ptr<ImageInfo, ImageInfoDeleter>;

// Exception info that cleans up after itself.
class MagickErrors {
public:
    MagickErrors() { GetExceptionInfo(&info_); }
    ~MagickErrors() { DestroyExceptionInfo(&info_); }
    MagickErrors(const MagickErrors&) = delete;
    MagickErrors& operator=(const MagickErrors&) = delete;
    ExceptionInfo* get() { return &info_; }
    bool Failed() const { return info_.severity >= ErrorException; }
    bool OutOfMemory() const { return info_.severity == ResourceLimitError; }
    // The library's reason and description, as a detail for the error.
    std::string Text() const;

private:
    ExceptionInfo info_;
};

// An image with the DIB's pixels; indexed DIBs become palette images. Run-length DIBs are not
// accepted here.
MagickImagePtr DibToImage(const dib::DibView& view, ExceptionInfo* errors);

// A DIB of the image. bits 0 picks the natural depth: palette images of up to 256 colours keep
// their indexes at 1, 4 or 8 bits, gray images become 8-bit gray, the rest 24-bit; transparent
// pixels are laid on white. bits 1, 4 or 8 demand a palette image of at most 2^bits colours.
// Returns nullptr when the block cannot be had.
void* ImageToDib(Image* image, int bits = 0);

// Whether every pixel of an image with alpha is fully transparent.
bool AllTransparent(Image* image);

// Reduces the image to at most colours colours (a palette image afterwards).
bool Quantize(Image* image, unsigned colours, bool dither, bool gray);

// 16-bit and 32-bit DIBs as 24-bit DIBs (new blocks); nullptr for other depths.
void* Dib16To24(const dib::DibView& view);
void* Dib32To24(const dib::DibView& view);

} // namespace pelisto::codec
