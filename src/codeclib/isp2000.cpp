// The tool's picture processing library: turns, depth conversions and colour reduction.

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/dib_scaling.h"
#include "codeclib/magick_dib.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#define PL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace pelisto;
using namespace pelisto::codec;

namespace {

// Copies pixel (sx, sy) of src to (dx, dy) of dst; both of the same depth.
inline void CopyPixel(const dib::DibView& src, int sx, int sy, const dib::DibView& dst, int dx,
                      int dy) {
    if (src.bits <= 8) {
        dib::SetIndex(dst.Row(dy), dx, src.bits, dib::IndexAt(src.Row(sy), sx, src.bits));
        return;
    }
    const int bytes = src.bits / 8;
    std::memcpy(dst.Row(dy) + dx * bytes, src.Row(sy) + sx * bytes,
                static_cast<std::size_t>(bytes));
}

// Exact turn by a multiple of 90 degrees anticlockwise, keeping depth and colour table.
void* QuarterTurns(const dib::DibView& src, int quarters) {
    const bool swap = quarters % 2 != 0;
    const int w = swap ? src.height : src.width;
    const int h = swap ? src.width : src.height;
    void* block = dib::Allocate(w, h, src.bits, src.bits <= 8 ? src.colourCount : 0);
    if (block == nullptr) {
        return nullptr;
    }
    dib::DibView dst = dib::View(block);
    if (src.bits <= 8) {
        std::memcpy(dst.colours, src.colours, 4u * src.colourCount);
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int sx = x, sy = y;
            switch (quarters) {
            case 1: // the old top-right corner comes to the top left
                sx = src.width - 1 - y;
                sy = x;
                break;
            case 2:
                sx = src.width - 1 - x;
                sy = src.height - 1 - y;
                break;
            case 3:
                sx = y;
                sy = src.height - 1 - x;
                break;
            default:
                break;
            }
            CopyPixel(src, sx, sy, dst, x, y);
        }
    }
    return block;
}

// Plain (not run-length, not 16-bit or bit-field) view of a DIB, converting it into a block of
// its own when needed; the block goes with this object.
class PlainDib {
public:
    explicit PlainDib(PLDib dib) {
        const dib::DibView v = dib::View(dib);
        if (!v || v.header->biCompression == dib::BI_RLE4 ||
            v.header->biCompression == dib::BI_RLE8) {
            return;
        }
        if (v.bits == 16 || (v.bits == 32 && v.header->biCompression == dib::BI_BITFIELDS)) {
            owned_ = v.bits == 16 ? Dib16To24(v) : Dib32To24(v);
            view_ = dib::View(owned_);
        } else {
            view_ = v;
        }
    }
    ~PlainDib() { std::free(owned_); }
    PlainDib(const PlainDib&) = delete;
    PlainDib& operator=(const PlainDib&) = delete;
    const dib::DibView& View() const { return view_; }

private:
    void* owned_ = nullptr;
    dib::DibView view_{};
};

// Indexed DIB of a lower depth to a higher indexed depth, same colours.
void* WidenIndexed(PLDib dib, int from, int to) {
    dib::DibView src = dib::View(dib);
    if (!src || src.bits != from || src.header->biCompression != dib::BI_RGB) {
        return nullptr;
    }
    void* block = dib::Allocate(src.width, src.height, to, src.colourCount);
    if (block == nullptr) {
        return nullptr;
    }
    dib::DibView dst = dib::View(block);
    std::memcpy(dst.colours, src.colours, 4u * src.colourCount);
    for (int y = 0; y < src.height; ++y) {
        for (int x = 0; x < src.width; ++x) {
            dib::SetIndex(dst.Row(y), x, to, dib::IndexAt(src.Row(y), x, from));
        }
    }
    return block;
}

void* IndexedTo24(PLDib dib, int from) {
    dib::DibView src = dib::View(dib);
    if (!src || src.bits != from || src.header->biCompression != dib::BI_RGB) {
        return nullptr;
    }
    void* block = dib::Allocate(src.width, src.height, 24, 0);
    if (block == nullptr) {
        return nullptr;
    }
    dib::DibView dst = dib::View(block);
    for (int y = 0; y < src.height; ++y) {
        std::uint8_t* out = dst.Row(y);
        for (int x = 0; x < src.width; ++x) {
            const unsigned i = dib::IndexAt(src.Row(y), x, from);
            const dib::RgbQuad c = i < src.colourCount ? src.colours[i] : dib::RgbQuad{0, 0, 0, 0};
            out[3 * x] = c.blue;
            out[3 * x + 1] = c.green;
            out[3 * x + 2] = c.red;
        }
    }
    return block;
}

} // namespace

// Turns the picture anticlockwise by degrees. Quarter turns are exact and keep the depth; other
// angles go through the image library onto the background colour (0x00BBGGRR) at 24 bits. The
// rectangle must be the whole picture.
PL_EXPORT PLDib PLRotate(PLDib dib, double degrees, std::int32_t left, std::int32_t top,
                         std::int32_t right, std::int32_t bottom, std::uint32_t backRgb) {
    const PlainDib plain(dib);
    const dib::DibView& v = plain.View();
    if (!v || left != 0 || top != 0 || right != v.width || bottom != v.height ||
        !std::isfinite(degrees)) {
        return nullptr;
    }
    const double turns = degrees / 90.0;
    if (turns == std::floor(turns)) {
        const int quarters = static_cast<int>(std::fmod(std::fmod(turns, 4.0) + 4.0, 4.0));
        return QuarterTurns(v, quarters);
    }
    MagickErrors errors;
    MagickImagePtr image = DibToImage(v, errors.get());
    if (!image) {
        return nullptr;
    }
    image->background_color.red = ScaleCharToQuantum(backRgb & 0xFF);
    image->background_color.green = ScaleCharToQuantum((backRgb >> 8) & 0xFF);
    image->background_color.blue = ScaleCharToQuantum((backRgb >> 16) & 0xFF);
    image->background_color.opacity = OpaqueOpacity;
    // The image library turns clockwise for positive angles.
    MagickImagePtr turned(RotateImage(image.get(), -degrees, errors.get()));
    if (!turned) {
        return nullptr;
    }
    return ImageToDib(turned.get(), 0);
}

PL_EXPORT PLDib DIB1to4(PLDib dib) {
    return WidenIndexed(dib, 1, 4);
}
PL_EXPORT PLDib DIB1To8(PLDib dib) {
    return WidenIndexed(dib, 1, 8);
}
PL_EXPORT PLDib DIB4To8(PLDib dib) {
    return WidenIndexed(dib, 4, 8);
}
PL_EXPORT PLDib DIB1To24(PLDib dib) {
    return IndexedTo24(dib, 1);
}
PL_EXPORT PLDib DIB4To24(PLDib dib) {
    return IndexedTo24(dib, 4);
}
PL_EXPORT PLDib DIB8To24(PLDib dib) {
    return IndexedTo24(dib, 8);
}
PL_EXPORT PLDib DIB16To24(PLDib dib) {
    return Dib16To24(dib::View(dib));
}
PL_EXPORT PLDib DIB32To24(PLDib dib) {
    return Dib32To24(dib::View(dib));
}

// Reduces the picture to 2^bits colours (bits 1, 4 or 8; 0 counts as 4), dithered or not, and
// gives it at that depth. Asking for more than 8 bits gives a 24-bit copy.
PL_EXPORT PLDib ReduceDib(PLDib dib, std::int16_t bits, std::int16_t dither) {
    const PlainDib plain(dib);
    const dib::DibView& v = plain.View();
    if (!v) {
        return nullptr;
    }
    int want = bits <= 0 ? 4 : bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : 24;
    MagickErrors errors;
    MagickImagePtr image = DibToImage(v, errors.get());
    if (!image) {
        return nullptr;
    }
    if (want == 24) {
        SetImageType(image.get(), TrueColorType);
        return ImageToDib(image.get(), 24);
    }
    const unsigned colours = 1u << want;
    if ((image->storage_class != PseudoClass || image->colors > colours) &&
        !Quantize(image.get(), colours, dither != 0, want == 1)) {
        return nullptr;
    }
    return ImageToDib(image.get(), want);
}

// The picture scaled to exactly width x height with a Lanczos filter, on the stored sample values
// (gamma space), as a 24-bit or 8-bit gray DIB: by libswscale, or for a strip a few pixels
// across by GraphicsMagick (which holds it in 16 bits a sample, harmless at that size).
PL_EXPORT PLDib ResizeDib(PLDib dib, std::int32_t width, std::int32_t height) {
    const PlainDib plain(dib);
    const dib::DibView& v = plain.View();
    if (!v || width < 1 || height < 1) {
        return nullptr;
    }
    if (v.width >= kSmallestScaledSide && v.height >= kSmallestScaledSide) {
        return ScaledDib(v, width, height);
    }
    MagickErrors errors;
    MagickImagePtr image = DibToImage(v, errors.get());
    if (!image) {
        return nullptr;
    }
    MagickImagePtr scaled(ResizeImage(image.get(), static_cast<unsigned long>(width),
                                      static_cast<unsigned long>(height), LanczosFilter, 1.0,
                                      errors.get()));
    if (!scaled) {
        return nullptr;
    }
    return ImageToDib(scaled.get(), 0);
}
