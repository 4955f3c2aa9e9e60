#include "picture/dib_conversion.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "framework/graphics/bitmap.h"
#include "picture/call_guard.h"
#include "picture/codec_library.h"

#include <algorithm>
#include <cstring>

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

std::unique_ptr<TBitmap> DibToBitmap(void* dib, int wantedBits, bool dither) {
    dib::DibView v = dib::View(dib);
    if (!v) {
        return nullptr;
    }
    TDibHolder work;
    const auto current = [&] { return work ? work.get() : dib; };
    if (v.header->biCompression == dib::BI_RLE4 || v.header->biCompression == dib::BI_RLE8) {
        if (!Replace(work, CallConvert(CodecLibrary::Main, "DibtoDdb", dib))) {
            return nullptr;
        }
        v = dib::View(current());
        if (!v) {
            return nullptr;
        }
    } else if (v.header->biCompression == dib::BI_BITFIELDS || v.bits == 16) {
        const char* entry = v.bits == 16 ? "DIB16To24" : "DIB32To24";
        if (!Replace(work, CallConvert(CodecLibrary::Processing, entry, dib))) {
            return nullptr;
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
            return nullptr;
        }
    } else if (w < d) {
        PictureLibraryState::progressText = QStringLiteral("Reducing colors ");
        if (d == 32 &&
            !Replace(work, CallConvert(CodecLibrary::Processing, "DIB32To24", current()))) {
            return nullptr;
        }
        if (w < 24 && !Replace(work, CallReduce(current(), w, dither))) {
            return nullptr;
        }
    }
    v = dib::View(current());
    if (!v) {
        return nullptr;
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
