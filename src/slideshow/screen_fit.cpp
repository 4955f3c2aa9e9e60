#include "slideshow/screen_fit.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace pelisto {

std::int64_t RoundHalfEven(long double value) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double rounded = std::nearbyintl(value);
    std::fesetround(saved);
    return static_cast<std::int64_t>(rounded);
}

namespace {

// The ratio is kept as a 64-bit double, and only the product is taken in long double.
double AspectRatio(int pictureWidth, int pictureHeight) {
    return static_cast<double>(pictureHeight) / static_cast<double>(pictureWidth);
}

std::int64_t HeightFor(std::int64_t width, double ratio) {
    return RoundHalfEven(static_cast<long double>(width) * static_cast<long double>(ratio));
}

} // namespace

PictureSize FitToScreen(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight) {
    if (pictureWidth < 1 || pictureHeight < 1) {
        return {};
    }
    const int maxW = std::max(windowWidth, 1);
    const int maxH = std::max(windowHeight, 1);
    if (pictureWidth <= maxW && pictureHeight <= maxH) {
        return {pictureWidth, pictureHeight};
    }
    const double ratio = AspectRatio(pictureWidth, pictureHeight);
    // Every width above the window's fails the test anyway, so the one-pixel steps may start
    // at the window's width; the rounded height only grows with the width, so the first width
    // that fits is the largest.
    std::int64_t width = std::min(pictureWidth - 1, maxW);
    std::int64_t height = HeightFor(width, ratio);
    while (width >= 1 && height > maxH) {
        --width;
        height = HeightFor(width, ratio);
    }
    if (width < 1) {
        return {1, maxH};
    }
    return {static_cast<int>(width), static_cast<int>(std::max<std::int64_t>(height, 1))};
}

PictureRect CentreOnWindow(PictureSize size, int windowWidth, int windowHeight) {
    // int division truncates toward zero, which is the centring rule for oversized pictures.
    return {(windowWidth - size.width) / 2, (windowHeight - size.height) / 2, size.width,
            size.height};
}

PictureRect FitRect(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight) {
    return CentreOnWindow(FitToScreen(pictureWidth, pictureHeight, windowWidth, windowHeight),
                          windowWidth, windowHeight);
}

PictureSize ZoomSize(int pictureWidth, int pictureHeight, int currentWidth, int step,
                     int windowWidth, int windowHeight) {
    if (pictureWidth < 1 || pictureHeight < 1) {
        return {};
    }
    if (step == 0) {
        return FitToScreen(pictureWidth, pictureHeight, windowWidth, windowHeight);
    }
    const double ratio = AspectRatio(pictureWidth, pictureHeight);
    std::int64_t width = static_cast<std::int64_t>(currentWidth) + step;
    if (step < 0 && width < kMinZoomWidth) {
        width = currentWidth;
    }
    std::int64_t height = HeightFor(width, ratio);
    if (step > 0 && (width > kMaxZoomExtent || height > kMaxZoomExtent)) {
        width = currentWidth;
        height = HeightFor(width, ratio);
    }
    width = std::clamp<std::int64_t>(width, 1, kMaxZoomExtent);
    height = std::clamp<std::int64_t>(height, 1, kMaxZoomExtent);
    return {static_cast<int>(width), static_cast<int>(height)};
}

PictureView::PictureView(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight)
    : picture_{pictureWidth, pictureHeight}, window_{windowWidth, windowHeight},
      rect_(FitRect(pictureWidth, pictureHeight, windowWidth, windowHeight)) {}

void PictureView::Zoom(int step) {
    rect_ = CentreOnWindow(
        ZoomSize(picture_.width, picture_.height, rect_.width, step, window_.width, window_.height),
        window_.width, window_.height);
}

} // namespace pelisto
