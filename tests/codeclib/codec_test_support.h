#pragma once

// Reaches the two codec libraries the way the tool does (dlopen from the tool folder, entries by
// name) and reads and builds DIB blocks byte by byte, without the libraries' own layout helpers,
// so that a layout mistake shared by both sides cannot hide.

#include "codeclib/codec_api.h"

#include <QImage>
#include <QString>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

namespace pelisto::codectest {

class Library {
public:
    explicit Library(const char* file) {
        const std::string path = std::string(PELISTO_BIN_DIR) + "/" + file;
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char* why = dlerror();
            error_ = why != nullptr ? why : "dlopen failed";
        }
    }
    ~Library() = default; // kept loaded for the whole run, as the tool does
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    const std::string& Error() const { return error_; }
    void* Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
    template <typename Fn> Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(Symbol(name));
    }

private:
    void* handle_ = nullptr;
    std::string error_;
};

inline Library& MainLibrary() {
    static Library library("libcrde2000.so");
    return library;
}
inline Library& ProcessingLibrary() {
    static Library library("libisp2000.so");
    return library;
}

// Entry of a library, failing the current test when it is missing.
template <typename Fn> Fn MainEntry(const char* name) {
    auto fn = MainLibrary().Get<Fn>(name);
    EXPECT_NE(fn, nullptr) << name << " missing: " << MainLibrary().Error();
    return fn;
}
template <typename Fn> Fn ProcessingEntry(const char* name) {
    auto fn = ProcessingLibrary().Get<Fn>(name);
    EXPECT_NE(fn, nullptr) << name << " missing: " << ProcessingLibrary().Error();
    return fn;
}

struct FreeBlock {
    void operator()(void* p) const { std::free(p); }
};
using Dib = std::unique_ptr<void, FreeBlock>;

inline QString Fixture(const QString& name) {
    return QStringLiteral(PELISTO_FIXTURES "/pictures/") + name;
}
inline std::string FixturePath(const char* name) {
    return Fixture(QString::fromLatin1(name)).toStdString();
}

// ---- Raw layout -------------------------------------------------------------------------

inline std::uint32_t U32(const void* block, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(block) + at, 4);
    return v;
}
inline std::int32_t I32(const void* block, std::size_t at) {
    return static_cast<std::int32_t>(U32(block, at));
}
inline std::uint16_t U16(const void* block, std::size_t at) {
    std::uint16_t v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(block) + at, 2);
    return v;
}

struct Header {
    std::uint32_t size;
    std::int32_t width, height;
    std::uint16_t planes, bits;
    std::uint32_t compression, imageSize;
    std::int32_t xPerMetre, yPerMetre;
    std::uint32_t used, important;
};

inline Header ReadHeader(const void* dib) {
    return {U32(dib, 0),  I32(dib, 4),  I32(dib, 8),  U16(dib, 12), U16(dib, 14), U32(dib, 16),
            U32(dib, 20), I32(dib, 24), I32(dib, 28), U32(dib, 32), U32(dib, 36)};
}

inline std::size_t Stride(int width, int bits) {
    return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
}

inline std::uint32_t TableEntries(const Header& h) {
    if (h.used != 0) {
        return h.used;
    }
    return h.bits <= 8 ? 1u << h.bits : 0u;
}

inline std::size_t PixelOffset(const Header& h) {
    return 40 + (h.compression == 3 ? 12 : 0) + 4 * TableEntries(h);
}

// Empty when the block is a well-formed plain DIB as the interface describes it; else what is
// wrong with it.
inline std::string LayoutProblem(const void* dib) {
    if (dib == nullptr) {
        return "no block";
    }
    const Header h = ReadHeader(dib);
    if (h.size != 40) {
        return "header size " + std::to_string(h.size);
    }
    if (h.width <= 0 || h.height <= 0) {
        return "size " + std::to_string(h.width) + "x" + std::to_string(h.height) +
               " (rows must be bottom-up)";
    }
    if (h.planes != 1) {
        return "planes " + std::to_string(h.planes);
    }
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 24 && h.bits != 32) {
        return "depth " + std::to_string(h.bits);
    }
    if (h.compression != 0) {
        return "compression " + std::to_string(h.compression);
    }
    if (h.bits <= 8 && (h.used == 0 || h.used > (1u << h.bits))) {
        return "colour table of " + std::to_string(h.used) + " for " + std::to_string(h.bits) +
               " bits";
    }
    if (h.bits > 8 && h.used != 0) {
        return "colour table on a direct-colour picture";
    }
    const std::size_t image = Stride(h.width, h.bits) * static_cast<std::size_t>(h.height);
    if (h.imageSize != image) {
        return "image size " + std::to_string(h.imageSize) + ", rows need " + std::to_string(image);
    }
    const std::size_t block = malloc_usable_size(const_cast<void*>(dib));
    if (block < PixelOffset(h) + image) {
        return "block of " + std::to_string(block) + " bytes, layout needs " +
               std::to_string(PixelOffset(h) + image);
    }
    return {};
}

// The colours of a plain 1, 4, 8, 24 or 32-bit DIB, read as the layout says.
inline QImage DibImage(const void* dib) {
    const Header h = ReadHeader(dib);
    if (h.size != 40 || h.width <= 0 || h.height <= 0 || h.compression != 0) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(dib);
    const std::uint32_t entries = TableEntries(h);
    const std::uint8_t* table = bytes + 40;
    const std::uint8_t* pixels = bytes + PixelOffset(h);
    const std::size_t stride = Stride(h.width, h.bits);
    QImage image(h.width, h.height, QImage::Format_RGB32);
    for (int y = 0; y < h.height; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(h.height - 1 - y) * stride;
        for (int x = 0; x < h.width; ++x) {
            QRgb colour = 0;
            if (h.bits <= 8) {
                unsigned index = 0;
                if (h.bits == 1) {
                    index = (row[x / 8] >> (7 - x % 8)) & 1;
                } else if (h.bits == 4) {
                    index = x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
                } else {
                    index = row[x];
                }
                if (index >= entries) {
                    return {}; // an index without a colour is a fault of its own
                }
                const std::uint8_t* c = table + 4 * index;
                colour = qRgb(c[2], c[1], c[0]);
            } else {
                const std::uint8_t* p = row + x * (h.bits / 8);
                colour = qRgb(p[2], p[1], p[0]);
            }
            image.setPixel(x, y, colour);
        }
    }
    return image;
}

// Builds a DIB: pixel(x, y) gives the index (up to 8 bits) or the raw pixel value (16 and 32
// bits, little-endian; 24 bits as 0xRRGGBB). masks, when given, make it a bit-field DIB.
inline Dib MakeDib(int width, int height, int bits, const std::vector<QRgb>& table,
                   const std::function<std::uint32_t(int, int)>& pixel,
                   const std::vector<std::uint32_t>& masks = {}) {
    const std::size_t stride = Stride(width, bits);
    const std::size_t offset = 40 + 4 * masks.size() + 4 * table.size();
    const std::size_t total = offset + stride * height;
    Dib dib(std::calloc(1, total));
    auto* b = static_cast<std::uint8_t*>(dib.get());
    const auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(b + at, &v, 4); };
    const auto put16 = [&](std::size_t at, std::uint16_t v) { std::memcpy(b + at, &v, 2); };
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(width));
    put32(8, static_cast<std::uint32_t>(height));
    put16(12, 1);
    put16(14, static_cast<std::uint16_t>(bits));
    put32(16, masks.empty() ? 0 : 3);
    put32(20, static_cast<std::uint32_t>(stride * height));
    put32(24, 2953);
    put32(28, 2953);
    put32(32, static_cast<std::uint32_t>(table.size()));
    put32(36, static_cast<std::uint32_t>(table.size()));
    for (std::size_t i = 0; i < masks.size(); ++i) {
        put32(40 + 4 * i, masks[i]);
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        const QRgb c = table[i];
        b[40 + 4 * masks.size() + 4 * i] = static_cast<std::uint8_t>(qBlue(c));
        b[41 + 4 * masks.size() + 4 * i] = static_cast<std::uint8_t>(qGreen(c));
        b[42 + 4 * masks.size() + 4 * i] = static_cast<std::uint8_t>(qRed(c));
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b + offset + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, y);
            switch (bits) {
            case 1:
                row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 ? v & 15 : (v & 15) << 4);
                break;
            case 8:
                row[x] = static_cast<std::uint8_t>(v);
                break;
            case 16:
                put16(static_cast<std::size_t>(row - b) + 2 * x, static_cast<std::uint16_t>(v));
                break;
            case 24:
                row[3 * x] = static_cast<std::uint8_t>(v);
                row[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                row[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
                break;
            default:
                put32(static_cast<std::size_t>(row - b) + 4 * x, v);
            }
        }
        // Garbage in the padding must never show in a result.
        for (std::size_t pad = (static_cast<std::size_t>(width) * bits + 7) / 8; pad < stride;
             ++pad) {
            row[pad] = 0xA5;
        }
    }
    return dib;
}

// Largest channel difference; -1 when the sizes differ or either is null.
inline int MaxDifference(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull() || a.size() != b.size()) {
        return -1;
    }
    const QImage p = a.convertToFormat(QImage::Format_RGB32);
    const QImage q = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int y = 0; y < p.height(); ++y) {
        for (int x = 0; x < p.width(); ++x) {
            const QRgb u = p.pixel(x, y);
            const QRgb v = q.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(u) - qRed(v)), std::abs(qGreen(u) - qGreen(v)),
                              std::abs(qBlue(u) - qBlue(v))});
        }
    }
    return worst;
}

inline std::string StatusText(std::int16_t status) {
    auto text = MainLibrary().Get<plerrortext_t>("plerrortext");
    if (text == nullptr) {
        return "(no plerrortext)";
    }
    char buffer[256] = {};
    text(status, buffer, sizeof(buffer));
    return buffer;
}

} // namespace pelisto::codectest
