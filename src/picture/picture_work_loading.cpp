// Loading a picture file: file information, the format's reader and the DIB it gives.

#include "picture/picture_work.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "framework/file_stream.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"
#include "picture/colour_profile.h"
#include "picture/dib_conversion.h"
#include "picture/library_calls.h"
#include "slideshow/screen_fit.h"

#include <QFile>
#include <QFileInfo>

namespace pelisto {

using picture_calls::CallStatus;
using picture_calls::NativeName;
using picture_calls::UpperExtension;

bool PictureWork::ReadFileInfo(const QString& fileName) {
    const QString e = UpperExtension(fileName).left(4);
    if (e == QLatin1String(".WMF") || e == QLatin1String(".ICO") || e == QLatin1String(".SCM") ||
        e == QLatin1String(".CMS")) {
        if (QFileInfo(fileName).isFile()) {
            imageFormat_ = e.mid(1);
            imageWidth_ = picture_.Width();
            imageHeight_ = picture_.Height();
            imageBits_ = 0;
            return true;
        }
        imageFormat_ = QStringLiteral("ERR");
        imageWidth_ = imageHeight_ = -1;
        imageBits_ = -1;
        return false;
    }
    tifPageCount_ = 0;
    const QByteArray name = NativeName(fileName);
    if (e == QLatin1String(".TIF")) {
        imageFormat_ = QStringLiteral("TIF");
        std::int16_t w = 0, h = 0, compression = 0, pages = 0, bits = 0;
        const std::int16_t page = tiffPage_;
        CallStatus<getinfo_t>("getinfo", [&](getinfo_t fn) {
            return fn(name.constData(), page, &w, &h, &compression, 0, &pages, &bits);
        });
        imageWidth_ = w;
        imageHeight_ = h;
        imageBits_ = bits;
        tifPageCount_ = pages;
        return true;
    }
    {
        // The framework's open error escapes for a file that cannot be read at all.
        FileStream stream(fileName, FileStream::Mode::OpenRead);
        if (stream.Size() < 30) {
            // Too short to be a picture; the error names that rather than an older failure.
            PictureLibraryState::lastErrorCode = 0;
            NoteLibraryStatus(codec::ErrTooShort, QString());
            ReportLibraryError();
            return false;
        }
    }
    char format[6] = {};
    char compression[26] = {};
    std::int16_t w = 0, h = 0, bits = 0, colours = 0, pages = 0;
    const std::int16_t status = CallStatus<fileinfo_t>("fileinfo", [&](fileinfo_t fn) {
        return fn(name.constData(), format, &w, &h, &bits, &colours, &pages, compression, 0);
    });
    if (status <= 0) {
        ReportLibraryError();
        return false;
    }
    format[5] = '\0';
    imageFormat_ = QString::fromLatin1(format);
    imageWidth_ = w;
    imageHeight_ = h;
    imageBits_ = bits;
    return true;
}

std::unique_ptr<TBitmap> PictureWork::ReadBitmap(const QString& fileName, const QString& format,
                                                 int bits, bool dither) {
    {
        // Others may read the file meanwhile; it must at least hold a header.
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            lastError_ = file.errorString();
            return nullptr;
        }
        if (file.size() < 30) {
            lastError_ = QStringLiteral("File too short");
            return nullptr;
        }
    }
    PictureLibraryState::progressText = QStringLiteral("Reading ") + fileName;
    const QByteArray name = NativeName(fileName);
    const auto b = static_cast<std::int16_t>(bits);
    const auto d = static_cast<std::int16_t>(dither);
    void* data = static_cast<PictureWork*>(this);
    PLDib out = nullptr;
    std::int16_t status = 0;
    PictureSize jpegFit;
    const auto plain = [&](const char* entry) {
        return CallStatus<rdfiledib_t>(entry, [&](rdfiledib_t fn) {
            return fn(name.constData(), b, d, &out, nullptr, data, ProgressProc, 0);
        });
    };
    const auto paged = [&](const char* entry, std::int16_t page) {
        return CallStatus<readpagedib_t>(entry, [&](readpagedib_t fn) {
            return fn(name.constData(), b, d, page, &out, data, ProgressProc, 0);
        });
    };
    if (format == QLatin1String("BMP")) {
        status = plain("rdbmpfiledib");
    } else if (format == QLatin1String("PNG")) {
        status = plain("rdpngfiledib");
    } else if (format == QLatin1String("GIF")) {
        status = plain("rdgiffiledib");
    } else if (format == QLatin1String("PCX")) {
        status = plain("rdpcxfiledib");
    } else if (format == QLatin1String("TIF")) {
        status = paged("readtiffiledib", tiffPage_);
    } else if (format == QLatin1String("PCD")) {
        status = paged("readpcdfiledib", static_cast<std::int16_t>(pcdMode_));
    } else if (format == QLatin1String("TGA")) {
        status = CallStatus<readtgafiledib_t>("readtgafiledib", [&](readtgafiledib_t fn) {
            return fn(name.constData(), b, d, &out, data, ProgressProc, 0);
        });
    } else if (format == QLatin1String("HEIF") || format == QLatin1String("AVIF")) {
        status = plain("rdheiffiledib");
    } else if (format == QLatin1String("WEBP")) {
        status = plain("rdwebpfiledib");
    } else if (format == QLatin1String("JXL")) {
        status = plain("rdjxlfiledib");
    } else if (format == QLatin1String("JPEG")) {
        // Fitted from the size in the header (upright), so the scaled decode cannot change the
        // rounding of the fitted size.
        jpegFit = FitToScreen(imageWidth_, imageHeight_, fitWidth_, fitHeight_);
        if (fitWidth_ > 0 && (jpegFit.width < imageWidth_ || jpegFit.height < imageHeight_)) {
            status = CallStatus<rdjpgfitdib_t>("rdjpgfitdib", [&](rdjpgfitdib_t fn) {
                return fn(name.constData(), b, d, jpegFit.width, jpegFit.height, &out, data,
                          ProgressProc, 0);
            });
        } else {
            jpegFit = {};
            status = CallStatus<rdjpgfiledib_t>("rdjpgfiledib", [&](rdjpgfiledib_t fn) {
                return fn(name.constData(), b, 1, d, &out, nullptr, data, ProgressProc, 0);
            });
        }
    }
    TDibHolder dib(status > 0 ? out : nullptr);
    // Taken whatever the read gave, so that it can never follow another picture.
    const QByteArray profile = TakePictureProfile();
    if (status <= 0 || !dib) {
        ReportLibraryError();
        return nullptr;
    }
    if (fitWidth_ > 0) {
        const dib::DibView read = dib::View(dib.get());
        const bool scaled = jpegFit.width > 0
                                ? (read.width != jpegFit.width || read.height != jpegFit.height)
                                : FitToScreen(read.width, read.height, fitWidth_, fitHeight_) !=
                                      PictureSize{read.width, read.height};
        if (scaled) {
            dib = jpegFit.width > 0 ? ResizedDib(std::move(dib), jpegFit.width, jpegFit.height)
                                    : FitDibInBox(std::move(dib), fitWidth_, fitHeight_);
            if (!dib) {
                lastError_ = QStringLiteral("The picture could not be scaled");
                return nullptr;
            }
            // A scaled two-colour picture has grays in its edges; a single bit would lose them.
            if (bits == 1) {
                bits = 8;
            }
        }
    }
    // Shown and converted in sRGB, the colours every viewer assumes; after any scaling, which
    // leaves fewer pixels to convert.
    ConvertDibToSrgb(dib.get(), profile);
    auto bitmap = DibToBitmap(std::move(dib), bits, dither);
    if (!bitmap) {
        ReportLibraryError();
    }
    return bitmap;
}

void PictureWork::SetImageName(const QString& name) {
    imageName_ = name;
    loading_ = true;
    lastError_.clear();
    const QString ext = UpperExtension(name);
    if (ext != QLatin1String(".RES") && (name.isEmpty() || !QFileInfo(name).isFile())) {
        picture_.SetGraphic(nullptr);
        loading_ = false;
        lastError_ = name.isEmpty()            ? QStringLiteral("No file name")
                     : QFileInfo::exists(name) ? QStringLiteral("Not a file")
                                               : QStringLiteral("File not found");
        return;
    }
    {
        auto fn = reinterpret_cast<ClearAnnotation_t>(
            CodecLibrary::Get(CodecLibrary::Main).RequiredEntry("ClearAnnotation"));
        CallGuarded([&] { fn(this); });
    }
    Progress(0);
    int bits = ReadDepth();
    const bool dither = dither_;
    if (ext == QLatin1String(".WMF") || ext == QLatin1String(".ICO")) {
        picture_.LoadFromFile(name);
        ReadFileInfo(name);
        loading_ = false;
        return;
    }
    ReadFileInfo(name);
    QString format = imageFormat_;
    if (ext == QLatin1String(".BMP")) {
        format = QStringLiteral("BMP");
    } else if (ext == QLatin1String(".PNG")) {
        format = QStringLiteral("PNG");
    } else if (ext == QLatin1String(".GIF")) {
        format = QStringLiteral("GIF");
    } else if (ext == QLatin1String(".TIF") || ext == QLatin1String(".TIFF")) {
        format = QStringLiteral("TIF");
    } else if (ext == QLatin1String(".TGA")) {
        format = QStringLiteral("TGA");
    } else if (ext == QLatin1String(".PCX")) {
        format = QStringLiteral("PCX");
    } else if (ext == QLatin1String(".PCD")) {
        format = QStringLiteral("PCD");
    } else if (ext == QLatin1String(".JPEG") || ext == QLatin1String(".JPG")) {
        format = QStringLiteral("JPEG");
    } else if (ext == QLatin1String(".HEIC") || ext == QLatin1String(".HEIF") ||
               ext == QLatin1String(".AVIF")) {
        format = QStringLiteral("HEIF");
    } else if (ext == QLatin1String(".WEBP")) {
        format = QStringLiteral("WEBP");
    } else if (ext == QLatin1String(".JXL")) {
        format = QStringLiteral("JXL");
    }
    if (format == QLatin1String("TIF") && tifPageCount_ < tiffPage_) {
        tiffPage_ = tifPageCount_;
    }
    static const QStringList readable = {"BMP", "PNG",  "GIF",  "TIF",  "TGA",  "PCX",
                                         "PCD", "JPEG", "HEIF", "AVIF", "WEBP", "JXL"};
    if (readable.contains(format)) {
        std::unique_ptr<TBitmap> bitmap;
        try {
            // Only two-colour pictures take the one-bit path: it would turn the colours of a
            // three- or four-colour picture into black and white.
            if (imageBits_ <= 1) {
                bits = 1;
            }
            bitmap = ReadBitmap(name, format, bits, dither);
        } catch (const Exception& e) {
            bitmap.reset();
            lastError_ = e.message();
        } catch (const std::bad_alloc&) {
            bitmap.reset();
            lastError_ = QStringLiteral("Not enough memory");
        } catch (...) {
            bitmap.reset();
        }
        if (bitmap) {
            picture_.Assign(bitmap.get());
            ReadFileInfo(name);
        } else {
            picture_.SetGraphic(nullptr);
            if (lastError_.isEmpty()) {
                lastError_ = QStringLiteral("The picture could not be read");
            }
        }
    }
    loading_ = false;
    FinishedLoadSave();
}

} // namespace pelisto
