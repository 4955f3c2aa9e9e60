#include "codeclib/magick_dib.h"

#include "slideshow/picture_limit.h"

#include <algorithm>
#include <cstdlib>

namespace pelisto::codec {

std::string MagickErrors::Text() const {
    std::string text = info_.reason != nullptr ? info_.reason : "";
    if (info_.description != nullptr && *info_.description != '\0') {
        const std::string description = info_.description;
        text = text.empty() ? description : text + " (" + description + ")";
    }
    return text;
}

namespace {

PixelPacket PacketOf(const dib::RgbQuad& q) {
    PixelPacket p{};
    p.red = ScaleCharToQuantum(q.red);
    p.green = ScaleCharToQuantum(q.green);
    p.blue = ScaleCharToQuantum(q.blue);
    p.opacity = OpaqueOpacity;
    return p;
}

std::uint8_t Flatten(Quantum value, Quantum opacity) {
    // Transparent pixels are laid on white.
    const double alpha = 1.0 - static_cast<double>(opacity) / MaxRGB;
    const double v = static_cast<double>(ScaleQuantumToChar(value)) * alpha + 255.0 * (1 - alpha);
    return static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

} // namespace

MagickImagePtr DibToImage(const dib::DibView& view, ExceptionInfo* errors) {
    if (!view || view.header->biCompression == dib::BI_RLE4 ||
        view.header->biCompression == dib::BI_RLE8) {
        return nullptr;
    }
    void* converted = nullptr;
    dib::DibView v = view;
    if (view.bits == 16 || view.bits == 32) {
        converted = view.bits == 16 ? Dib16To24(view) : Dib32To24(view);
        if (converted == nullptr) {
            return nullptr;
        }
        v = dib::View(converted);
    }
    struct Free {
        void* p;
        ~Free() { std::free(p); }
    } freeConverted{converted};

    MagickInfoPtr info(CloneImageInfo(nullptr));
    MagickImagePtr image(AllocateImage(info.get()));
    if (!image) {
        return nullptr;
    }
    image->columns = static_cast<unsigned long>(v.width);
    image->rows = static_cast<unsigned long>(v.height);
    image->depth = 8;
    const bool indexed = v.bits <= 8;
    if (indexed) {
        const std::uint32_t count = std::max<std::uint32_t>(v.colourCount, 1);
        if (!AllocateImageColormap(image.get(), count)) {
            return nullptr;
        }
        for (std::uint32_t i = 0; i < v.colourCount; ++i) {
            image->colormap[i] = PacketOf(v.colours[i]);
        }
    }
    for (int y = 0; y < v.height; ++y) {
        PixelPacket* q = SetImagePixelsEx(image.get(), 0, y, image->columns, 1, errors);
        if (q == nullptr) {
            return nullptr;
        }
        const std::uint8_t* row = v.Row(y);
        if (indexed) {
            IndexPacket* indexes = AccessMutableIndexes(image.get());
            for (int x = 0; x < v.width; ++x) {
                unsigned index = dib::IndexAt(row, x, v.bits);
                if (index >= image->colors) {
                    index = 0;
                }
                indexes[x] = static_cast<IndexPacket>(index);
                q[x] = image->colormap[index];
            }
        } else {
            for (int x = 0; x < v.width; ++x) {
                const std::uint8_t* p = row + 3 * x;
                q[x] = PacketOf({p[0], p[1], p[2], 0});
            }
        }
        if (!SyncImagePixelsEx(image.get(), errors)) {
            return nullptr;
        }
    }
    return image;
}

void* ImageToDib(Image* image, int bits) {
    if (image == nullptr || image->columns == 0 || image->rows == 0 ||
        image->columns > 0x7FFFFFFF || image->rows > 0x7FFFFFFF) {
        return nullptr;
    }
    const int width = static_cast<int>(image->columns);
    const int height = static_cast<int>(image->rows);
    const bool palette = image->storage_class == PseudoClass && image->colormap != nullptr &&
                         image->colors > 0 && image->colors <= 256;
    int outBits = bits;
    bool gray = false;
    if (bits == 0) {
        if (palette) {
            outBits = image->colors <= 2 ? 1 : image->colors <= 16 ? 4 : 8;
        } else {
            MagickErrors errors;
            gray = !image->matte && IsGrayImage(image, errors.get());
            outBits = gray ? 8 : 24;
        }
    } else if (bits <= 8 && (!palette || image->colors > (1u << bits))) {
        return nullptr;
    }
    const std::uint32_t colours = outBits > 8 ? 0 : palette ? image->colors : 256;
    void* block = dib::Allocate(width, height, outBits, colours);
    if (block == nullptr) {
        return nullptr;
    }
    dib::DibView v = dib::View(block);
    if (outBits <= 8) {
        if (palette) {
            for (std::uint32_t i = 0; i < colours; ++i) {
                const PixelPacket& c = image->colormap[i];
                v.colours[i] = {Flatten(c.blue, 0), Flatten(c.green, 0), Flatten(c.red, 0), 0};
            }
        } else {
            dib::FillGrayTable(v.colours, 256);
        }
    }
    MagickErrors errors;
    for (int y = 0; y < height; ++y) {
        const PixelPacket* p = AcquireImagePixels(image, 0, y, image->columns, 1, errors.get());
        if (p == nullptr) {
            std::free(block);
            return nullptr;
        }
        std::uint8_t* row = v.Row(y);
        if (outBits <= 8 && palette) {
            const IndexPacket* indexes = AccessImmutableIndexes(image);
            for (int x = 0; x < width; ++x) {
                dib::SetIndex(row, x, outBits, indexes ? indexes[x] : 0);
            }
        } else if (outBits == 8) {
            for (int x = 0; x < width; ++x) {
                row[x] = ScaleQuantumToChar(p[x].green);
            }
        } else {
            for (int x = 0; x < width; ++x) {
                const Quantum op = image->matte ? p[x].opacity : OpaqueOpacity;
                row[3 * x] = Flatten(p[x].blue, op);
                row[3 * x + 1] = Flatten(p[x].green, op);
                row[3 * x + 2] = Flatten(p[x].red, op);
            }
        }
    }
    return block;
}

bool AllTransparent(Image* image) {
    if (image == nullptr || !image->matte) {
        return false;
    }
    MagickErrors errors;
    for (unsigned long y = 0; y < image->rows; ++y) {
        const PixelPacket* p =
            AcquireImagePixels(image, 0, static_cast<long>(y), image->columns, 1, errors.get());
        if (p == nullptr) {
            return false;
        }
        for (unsigned long x = 0; x < image->columns; ++x) {
            if (p[x].opacity != TransparentOpacity) {
                return false;
            }
        }
    }
    return true;
}

bool Quantize(Image* image, unsigned colours, bool dither, bool gray) {
    QuantizeInfo q;
    GetQuantizeInfo(&q);
    q.number_colors = colours;
    q.dither = dither ? MagickTrue : MagickFalse;
    if (gray) {
        q.colorspace = GRAYColorspace;
    }
    if (!QuantizeImage(&q, image)) {
        return false;
    }
    // A picture with fewer colours than asked may still be direct class: make it palette.
    if (image->storage_class != PseudoClass || image->colors > colours) {
        return false;
    }
    return true;
}

void* Dib16To24(const dib::DibView& v) {
    if (!v || v.bits != 16) {
        return nullptr;
    }
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (v.header->biCompression == dib::BI_BITFIELDS) {
        std::copy(std::begin(v.masks), std::end(v.masks), masks);
    }
    int shift[3];
    std::uint32_t max[3];
    for (int c = 0; c < 3; ++c) {
        if (masks[c] == 0) {
            shift[c] = 0;
            max[c] = 1;
            continue;
        }
        shift[c] = __builtin_ctz(masks[c]);
        max[c] = masks[c] >> shift[c];
    }
    void* block = dib::Allocate(v.width, v.height, 24, 0);
    if (block == nullptr) {
        return nullptr;
    }
    dib::DibView out = dib::View(block);
    for (int y = 0; y < v.height; ++y) {
        const std::uint8_t* src = v.Row(y);
        std::uint8_t* dst = out.Row(y);
        for (int x = 0; x < v.width; ++x) {
            const std::uint32_t px = src[2 * x] | (src[2 * x + 1] << 8);
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t value = (px & masks[c]) >> shift[c];
                // red, green, blue masks land at byte 2, 1, 0
                dst[3 * x + 2 - c] = static_cast<std::uint8_t>((value * 255 + max[c] / 2) / max[c]);
            }
        }
    }
    return block;
}

void* Dib32To24(const dib::DibView& v) {
    if (!v || v.bits != 32) {
        return nullptr;
    }
    std::uint32_t masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    if (v.header->biCompression == dib::BI_BITFIELDS) {
        std::copy(std::begin(v.masks), std::end(v.masks), masks);
    }
    void* block = dib::Allocate(v.width, v.height, 24, 0);
    if (block == nullptr) {
        return nullptr;
    }
    dib::DibView out = dib::View(block);
    int shift[3];
    for (int c = 0; c < 3; ++c) {
        shift[c] = masks[c] ? __builtin_ctz(masks[c]) : 0;
    }
    for (int y = 0; y < v.height; ++y) {
        const std::uint8_t* src = v.Row(y);
        std::uint8_t* dst = out.Row(y);
        for (int x = 0; x < v.width; ++x) {
            std::uint32_t px;
            std::memcpy(&px, src + 4 * x, 4);
            for (int c = 0; c < 3; ++c) {
                dst[3 * x + 2 - c] = static_cast<std::uint8_t>((px & masks[c]) >> shift[c]);
            }
        }
    }
    return block;
}

} // namespace pelisto::codec
