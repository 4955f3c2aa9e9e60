#include "viewer/picture_scaler.h"

#include <algorithm>

namespace pelisto {

namespace {

struct Level {
    int width;
    int height;
    const std::uint32_t* pixels;
};

PixmanImage Wrap(const Level& level) {
    return PixmanImage(pixman_image_create_bits(PIXMAN_x8r8g8b8, level.width, level.height,
                                                const_cast<std::uint32_t*>(level.pixels),
                                                level.width * 4));
}

// Bilinear from `source` (width x height) into the target's rect at (left, top) of the given
// size, clipped to (x0, y0)-(x1, y1). Screen pixel centres map onto source pixel centres; at a
// shrink of exactly 2 a bilinear sample falls midway between four pixels, their mean.
void Bilinear(pixman_image_t* source, int width, int height, pixman_image_t* target, int left,
              int top, int rectWidth, int rectHeight, int x0, int y0, int x1, int y1) {
    const double sx = static_cast<double>(width) / rectWidth;
    const double sy = static_cast<double>(height) / rectHeight;
    pixman_f_transform ft{};
    ft.m[0][0] = sx;
    ft.m[0][2] = -left * sx;
    ft.m[1][1] = sy;
    ft.m[1][2] = -top * sy;
    ft.m[2][2] = 1.0;
    pixman_transform transform;
    if (!pixman_transform_from_pixman_f_transform(&transform, &ft)) {
        return; // beyond pixman's fixed-point range: leave it black
    }
    pixman_image_set_transform(source, &transform);
    pixman_image_set_repeat(source, PIXMAN_REPEAT_PAD);
    pixman_image_set_filter(source, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, target, x0, y0, 0, 0, x0, y0, x1 - x0,
                             y1 - y0);
}

} // namespace

void AddHalvings(DecodedPicture& picture, int fitWidth, int fitHeight) {
    picture.halvings.clear();
    fitWidth = std::max(fitWidth, 1);
    fitHeight = std::max(fitHeight, 1);
    for (;;) {
        const Level last =
            picture.halvings.empty()
                ? Level{picture.width, picture.height, picture.pixels.data()}
                : Level{picture.halvings.back().width, picture.halvings.back().height,
                        picture.halvings.back().pixels.data()};
        const int width = (last.width + 1) / 2, height = (last.height + 1) / 2;
        if (width < fitWidth || height < fitHeight || last.pixels == nullptr) {
            return;
        }
        PictureLevel half;
        half.width = width;
        half.height = height;
        half.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        const PixmanImage source = Wrap(last);
        const PixmanImage target = Wrap({width, height, half.pixels.data()});
        if (source.image == nullptr || target.image == nullptr) {
            return;
        }
        Bilinear(source.image, last.width, last.height, target.image, 0, 0, width, height, 0, 0,
                 width, height);
        picture.halvings.push_back(std::move(half));
    }
}

void DrawScaled(pixman_image_t* target, int targetWidth, int targetHeight,
                const DecodedPicture& picture, const PictureRect& rect) {
    const int x0 = std::max(rect.left, 0);
    const int y0 = std::max(rect.top, 0);
    const int x1 = static_cast<int>(
        std::min<long long>(targetWidth, static_cast<long long>(rect.left) + rect.width));
    const int y1 = static_cast<int>(
        std::min<long long>(targetHeight, static_cast<long long>(rect.top) + rect.height));
    if (picture.pixels.empty() || rect.width < 1 || rect.height < 1 || x0 >= x1 || y0 >= y1) {
        return;
    }
    Level level{picture.width, picture.height, picture.pixels.data()};
    for (const auto& half : picture.halvings) {
        if (half.width >= rect.width && half.height >= rect.height) {
            level = {half.width, half.height, half.pixels.data()};
        }
    }
    const PixmanImage source = Wrap(level);
    if (source.image != nullptr) {
        Bilinear(source.image, level.width, level.height, target, rect.left, rect.top, rect.width,
                 rect.height, x0, y0, x1, y1);
    }
}

} // namespace pelisto
