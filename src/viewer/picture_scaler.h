#pragma once

#include "slideshow/screen_fit.h"
#include "viewer/jpeg_decoder.h"

#include <pixman.h>

namespace pelisto {

// Owns one reference to a pixman image.
struct PixmanImage {
    pixman_image_t* image = nullptr;
    explicit PixmanImage(pixman_image_t* i) : image(i) {}
    ~PixmanImage() {
        if (image != nullptr) {
            pixman_image_unref(image);
        }
    }
    PixmanImage(const PixmanImage&) = delete;
    PixmanImage& operator=(const PixmanImage&) = delete;
};

// Adds the decoded picture's successive halvings (each pixel the mean of the 2 x 2 below it)
// down to the first one still covering (fitWidth, fitHeight), so drawing never shrinks by 2 or
// more in one bilinear step. Runs on the decoding thread, once per picture. Throws
// std::bad_alloc.
void AddHalvings(DecodedPicture& picture, int fitWidth, int fitHeight);

// Draws `picture` scaled into `rect` of `target` (pixels outside the rect are left alone),
// bilinear from the smallest of its halvings that still covers the rect: smooth, and a few
// milliseconds for a screenful where a convolution filter takes a tenth of a second.
void DrawScaled(pixman_image_t* target, int targetWidth, int targetHeight,
                const DecodedPicture& picture, const PictureRect& rect);

} // namespace pelisto
