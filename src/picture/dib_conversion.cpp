#include "picture/dib_conversion.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "framework/graphics/bitmap.h"
#include "picture/call_guard.h"
#include "picture/codec_library.h"
#include "slideshow/screen_fit.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace pelisto {
namespace {

// Calls a DIB-to-DIB entry of a library under the fault guard; nullptr on any failure.
void* CallConvert(CodecLibrary::Which which, const char* entry, void* dib) {
    auto fn = reinterpret_cast<DibConvert_t>(CodecLibrary::Get(which).Entry(entry));
    if (fn == nullptr) {
        return nullptr;
    }
    void* result = nullptr;
    if (!CallGuarded([&] { result = fn(dib); })) {
        return nullptr;
    }
    return result;
}

void* CallReduce(void* dib, int bits, bool dither) {
    auto fn = reinterpret_cast<ReduceDib_t>(
        CodecLibrary::Get(CodecLibrary::Processing).Entry("ReduceDib"));
    if (fn == nullptr) {
        return nullptr;
    }
    void* result = nullptr;
    if (!CallGuarded([&] {
            result = fn(dib, static_cast<std::int16_t>(bits), static_cast<std::int16_t>(dither));
        })) {
        return nullptr;
    }
    return result;
}

} // namespace

TDibHolder ResizedDib(TDibHolder dib, int width, int height) {
    auto fn = reinterpret_cast<ResizeDib_t>(
        CodecLibrary::Get(CodecLibrary::Processing).Entry("ResizeDib"));
    if (fn == nullptr || !dib) {
        return nullptr;
    }
    void* result = nullptr;
    if (!CallGuarded([&] { result = fn(dib.get(), width, height); })) {
        return nullptr;
    }
    return TDibHolder(result);
}

TDibHolder FitDibInBox(TDibHolder dib, int boxWidth, int boxHeight) {
    const dib::DibView v = dib::View(dib.get());
    if (!v || boxWidth < 1 || boxHeight < 1) {
        return dib;
    }
    const PictureSize fit = FitToScreen(v.width, v.height, boxWidth, boxHeight);
    if (fit.width == v.width && fit.height == v.height) {
        return dib;
    }
    return ResizedDib(std::move(dib), fit.width, fit.height);
}

namespace {

// Replaces holder's block with the converted one; false when the conversion gave nothing.
bool Replace(TDibHolder& holder, void* converted) {
    if (converted == nullptr) {
        return false;
    }
    holder.reset(converted);
    return true;
}

TPalette TableOf(const dib::DibView& v, std::uint32_t entries) {
    TPalette palette;
    palette.reserve(static_cast<qsizetype>(entries));
    for (std::uint32_t i = 0; i < entries; ++i) {
        if (i < v.colourCount) {
            palette.append(qRgb(v.colours[i].red, v.colours[i].green, v.colours[i].blue));
        } else {
            palette.append(qRgb(0, 0, 0));
        }
    }
    return palette;
}

// DIB blocks that live on as a bitmap's pixels, by the address of their first pixel row.
struct LentBlocks {
    std::mutex mutex;
    std::unordered_map<const void*, void*> blocks;
};
LentBlocks& Lent() {
    static LentBlocks lent;
    return lent;
}

void FreeLentBlock(void* block) {
    {
        LentBlocks& lent = Lent();
        std::lock_guard lock(lent.mutex);
        const dib::DibView v = dib::View(block);
        lent.blocks.erase(v.pixels);
    }
    std::free(block);
}

// The block whose pixels the image shows, or nullptr when the image has pixels of its own.
void* BlockOf(const QImage& image) {
    LentBlocks& lent = Lent();
    std::lock_guard lock(lent.mutex);
    const auto it = lent.blocks.find(image.constBits());
    return it == lent.blocks.end() ? nullptr : it->second;
}

// Reverses the order of the pixel rows, turning bottom-up rows top-down and back.
void FlipRows(const dib::DibView& v) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(v.rowBytes));
    const auto bytes = static_cast<std::size_t>(v.rowBytes);
    for (int top = 0, bottom = v.height - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* a = v.Row(top);
        std::uint8_t* b = v.Row(bottom);
        std::memcpy(row.data(), a, bytes);
        std::memcpy(a, b, bytes);
        std::memcpy(b, row.data(), bytes);
    }
}

// A plain 24-bit DIB as a bitmap over its own block (which the bitmap then owns).
std::unique_ptr<TBitmap> WrapDib24(TDibHolder block) {
    const dib::DibView v = dib::View(block.get());
    FlipRows(v);
    void* raw = block.get();
    {
        LentBlocks& lent = Lent();
        std::lock_guard lock(lent.mutex);
        lent.blocks[v.pixels] = raw;
    }
    QImage image(v.pixels, v.width, v.height, static_cast<qsizetype>(v.rowBytes),
                 QImage::Format_BGR888, FreeLentBlock, raw);
    if (image.isNull()) {
        FreeLentBlock(block.release());
        return nullptr;
    }
    block.release(); // the image frees it
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetImage(image, pf24bit);
    return bitmap;
}

std::unique_ptr<TBitmap> PlainDibToBitmap(const dib::DibView& v) {
    QImage image;
    TPixelFormat format = pf24bit;
    const auto rowCopy = [&](int y, qsizetype bytes) {
        std::memcpy(image.scanLine(y), v.Row(y), static_cast<std::size_t>(bytes));
    };
    switch (v.bits) {
    case 1:
        image = QImage(v.width, v.height, QImage::Format_Mono);
        format = pf1bit;
        image.setColorTable(TableOf(v, 2));
        for (int y = 0; y < v.height; ++y) {
            rowCopy(y, std::min<qsizetype>(image.bytesPerLine(), v.rowBytes));
        }
        break;
    case 4:
    case 8: {
        image = QImage(v.width, v.height, QImage::Format_Indexed8);
        format = v.bits == 4 ? pf4bit : pf8bit;
        unsigned maxIndex = 0;
        for (int y = 0; y < v.height && !image.isNull(); ++y) {
            uchar* out = image.scanLine(y);
            const std::uint8_t* in = v.Row(y);
            for (int x = 0; x < v.width; ++x) {
                out[x] = static_cast<uchar>(dib::IndexAt(in, x, v.bits));
                maxIndex = std::max<unsigned>(maxIndex, out[x]);
            }
        }
        // Every index in the rows must have an entry.
        image.setColorTable(TableOf(v, std::max(v.colourCount, maxIndex + 1)));
        break;
    }
    case 24:
        image = QImage(v.width, v.height, QImage::Format_BGR888);
        for (int y = 0; y < v.height && !image.isNull(); ++y) {
            rowCopy(y, static_cast<qsizetype>(v.width) * 3);
        }
        break;
    case 32:
        image = QImage(v.width, v.height, QImage::Format_RGB32);
        format = pf32bit;
        for (int y = 0; y < v.height && !image.isNull(); ++y) {
            rowCopy(y, static_cast<qsizetype>(v.width) * 4);
        }
        break;
    default:
        return nullptr;
    }
    if (image.isNull()) {
        return nullptr;
    }
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetImage(image, format);
    return bitmap;
}

} // namespace

namespace {

// Brings the DIB to the wanted depth; the result is either dib itself (work left empty) or the
// new block in work. False when a library call failed.
bool ConvertDepth(void* dib, int wantedBits, bool dither, TDibHolder& work) {
    dib::DibView v = dib::View(dib);
    if (!v) {
        return false;
    }
    const auto current = [&] { return work ? work.get() : dib; };
    if (v.header->biCompression == dib::BI_RLE4 || v.header->biCompression == dib::BI_RLE8) {
        if (!Replace(work, CallConvert(CodecLibrary::Main, "DibtoDdb", dib))) {
            return false;
        }
        v = dib::View(current());
        if (!v) {
            return false;
        }
    } else if (v.header->biCompression == dib::BI_BITFIELDS || v.bits == 16) {
        const char* entry = v.bits == 16 ? "DIB16To24" : "DIB32To24";
        if (!Replace(work, CallConvert(CodecLibrary::Processing, entry, dib))) {
            return false;
        }
        v = dib::View(current());
    }
    const int d = v.bits;
    const int w = wantedBits;
    const char* raise = nullptr;
    if (w > d) {
        PictureLibraryState::progressText = QStringLiteral("Increasing colors ");
        if (d == 1) {
            raise = w <= 4 ? "DIB1to4" : w <= 8 ? "DIB1To8" : "DIB1To24";
        } else if (d == 4) {
            raise = w <= 8 ? "DIB4To8" : "DIB4To24";
        } else if (d == 8) {
            raise = "DIB8To24";
        }
        if (raise != nullptr &&
            !Replace(work, CallConvert(CodecLibrary::Processing, raise, current()))) {
            return false;
        }
    } else if (w < d) {
        PictureLibraryState::progressText = QStringLiteral("Reducing colors ");
        if (d == 32 &&
            !Replace(work, CallConvert(CodecLibrary::Processing, "DIB32To24", current()))) {
            return false;
        }
        if (w < 24 && !Replace(work, CallReduce(current(), w, dither))) {
            return false;
        }
    }
    return static_cast<bool>(dib::View(current()));
}

} // namespace

std::unique_ptr<TBitmap> DibToBitmap(void* dib, int wantedBits, bool dither) {
    TDibHolder work;
    if (!ConvertDepth(dib, wantedBits, dither, work)) {
        return nullptr;
    }
    return PlainDibToBitmap(dib::View(work ? work.get() : dib));
}

std::unique_ptr<TBitmap> DibToBitmap(TDibHolder dib, int wantedBits, bool dither) {
    TDibHolder work;
    if (!ConvertDepth(dib.get(), wantedBits, dither, work)) {
        return nullptr;
    }
    TDibHolder result = work ? std::move(work) : std::move(dib);
    const dib::DibView v = dib::View(result.get());
    if (v.bits == 24 && v.header->biCompression == dib::BI_RGB) {
        return WrapDib24(std::move(result));
    }
    return PlainDibToBitmap(v);
}

TDibHolder BitmapToDib(const TBitmap& bitmap) {
    if (bitmap.IsEmpty()) {
        throw ErrorInvalid(QStringLiteral("Input image is empty"));
    }
    QImage image = bitmap.Image();
    int bits = 24;
    std::uint32_t colours = 0;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        image = image.convertToFormat(QImage::Format_Mono);
        bits = 1;
        colours = 2;
    } else if (image.format() == QImage::Format_Indexed8) {
        bits = bitmap.PixelFormat() == pf4bit && image.colorCount() <= 16 ? 4 : 8;
        colours = bits == 4 ? 16 : 256;
    } else if (image.format() != QImage::Format_BGR888) {
        image = image.convertToFormat(QImage::Format_BGR888);
    }
    if (image.isNull()) {
        throw ErrorInvalid(QStringLiteral("Can't allocate memory"));
    }
    TDibHolder holder(dib::Allocate(image.width(), image.height(), bits, colours));
    if (!holder) {
        throw ErrorInvalid(QStringLiteral("Can't allocate memory"));
    }
    dib::DibView v = dib::View(holder.get());
    const QList<QRgb> table = image.colorTable();
    for (std::uint32_t i = 0; i < colours && i < static_cast<std::uint32_t>(table.size()); ++i) {
        const QRgb c = table[static_cast<qsizetype>(i)];
        v.colours[i] = {static_cast<std::uint8_t>(qBlue(c)), static_cast<std::uint8_t>(qGreen(c)),
                        static_cast<std::uint8_t>(qRed(c)), 0};
    }
    for (int y = 0; y < v.height; ++y) {
        const uchar* in = image.constScanLine(y);
        std::uint8_t* out = v.Row(y);
        if (bits == 4) {
            for (int x = 0; x < v.width; ++x) {
                dib::SetIndex(out, x, 4, in[x] & 0x0Fu);
            }
        } else {
            const std::int64_t bytes =
                bits == 1 ? (v.width + 7) / 8 : static_cast<std::int64_t>(v.width) * bits / 8;
            std::memcpy(out, in, static_cast<std::size_t>(bytes));
        }
    }
    if (dib::TotalBytes(*v.header) <= 4) {
        throw ErrorInvalid(QStringLiteral("Input image is empty"));
    }
    return holder;
}

} // namespace pelisto

namespace pelisto {

DibLoan::DibLoan(const TBitmap& bitmap) {
    if (bitmap.IsEmpty()) {
        throw ErrorInvalid(QStringLiteral("Input image is empty"));
    }
    const QImage& image = bitmap.Image();
    if (image.format() == QImage::Format_BGR888) {
        if (void* block = BlockOf(image)) {
            const dib::DibView v = dib::View(block);
            if (v && v.width == image.width() && v.height == image.height() && v.bits == 24) {
                FlipRows(v);
                lent_ = block;
                return;
            }
        }
    }
    owned_ = BitmapToDib(bitmap);
}

DibLoan::~DibLoan() {
    if (lent_ != nullptr) {
        FlipRows(dib::View(lent_));
    }
}

} // namespace pelisto
