// The picture control's five savers. A file is written beside its target and moved over it
// only when complete.

#include "picture/picture_work.h"

#include "codeclib/codec_api.h"
#include "framework/graphics/bitmap.h"
#include "framework/replace_file.h"
#include "picture/dib_conversion.h"
#include "picture/library_calls.h"

#include <QFile>
#include <optional>

namespace pelisto {
using picture_calls::CallStatus;

int PictureWork::WriteDepth(SaveFormat format) const {
    const int display = DisplayDepthClass();
    if (format == SaveFormat::Jpeg) {
        return writeRes_ == sMonoChrome || writeRes_ == sJpegGray ? 1 : 24;
    }
    const bool gif = format == SaveFormat::Gif;
    switch (writeRes_) {
    case sColorVga:
        return 0;
    case sMonoChrome:
        return 1;
    case sColor16:
        return 4;
    case sColor256:
        return 8;
    case sColorTrue:
        return gif ? 8 : 24;
    case sJpegGray:
        return 8;
    default:
        return gif ? std::min(display, 8) : display;
    }
}

bool PictureWork::SaveAsJpeg(const QString& name) {
    return Save(SaveFormat::Jpeg, name);
}
bool PictureWork::SaveAsBmp(const QString& name) {
    return Save(SaveFormat::Bmp, name);
}
bool PictureWork::SaveAsPcx(const QString& name) {
    return Save(SaveFormat::Pcx, name);
}
bool PictureWork::SaveAsGif(const QString& name) {
    return Save(SaveFormat::Gif, name);
}
bool PictureWork::SaveAsPng(const QString& name) {
    return Save(SaveFormat::Png, name);
}

bool PictureWork::Save(SaveFormat format, const QString& name) {
    if (!name.isEmpty()) {
        defSaveFilename_ = name;
    }
    if (format != SaveFormat::Gif) {
        Progress(0);
    }
    bool written = false;
    std::optional<ReplaceFile> target;
    // An empty picture after a failed load: that failure is the reason this save fails too.
    const TBitmap* before = HeldBitmap();
    const QString loadError = before == nullptr || before->IsEmpty() ? lastError_ : QString();
    lastError_.clear();
    try {
        const int bits = WriteDepth(format);
        TBitmap* held = HeldBitmap();
        if (held == nullptr || held->IsEmpty()) {
            throw ErrorInvalid(QStringLiteral("Input image is empty"));
        }
        std::optional<DibLoan> dib(std::in_place, *held);
        PictureLibraryState::progressText = QStringLiteral("Writing ") + defSaveFilename_;
        target.emplace(defSaveFilename_);
        std::int16_t status = 0;
        if (!target->ok()) {
            NoteLibraryStatus(codec::ErrCreate, target->error());
        } else {
            const QByteArray file = QFile::encodeName(target->writePath());
            const auto b = static_cast<std::int16_t>(bits);
            void* block = dib->get();
            void* data = static_cast<PictureWork*>(this);
            const auto simple = [&](const char* entry) {
                return CallStatus<wrfiledib_t>(entry, [&](wrfiledib_t fn) {
                    return fn(file.constData(), b, block, data, ProgressProc, 0);
                });
            };
            switch (format) {
            case SaveFormat::Bmp:
                status = simple("wrbmpfiledib");
                break;
            case SaveFormat::Pcx:
                status = simple("wrpcxfiledib");
                break;
            case SaveFormat::Gif:
                status = simple("wrgiffiledib");
                break;
            case SaveFormat::Png: {
                const auto interlaced = static_cast<std::int16_t>(pngInterlaced_);
                status = CallStatus<wrpngfiledib_t>("wrpngfiledib", [&](wrpngfiledib_t fn) {
                    return fn(file.constData(), b, interlaced, block, data, ProgressProc, 0);
                });
                break;
            }
            case SaveFormat::Jpeg: {
                const auto quality = static_cast<std::int16_t>(jpegQuality_);
                const auto smooth = static_cast<std::int16_t>(jpegSmooth_);
                status = CallStatus<wrjpgfiledib_t>("wrjpgfiledib", [&](wrjpgfiledib_t fn) {
                    return fn(file.constData(), quality, smooth, b, block, data, ProgressProc, 0);
                });
                break;
            }
            }
        }
        dib.reset();
        if (status > 0 && target->Commit()) {
            written = true;
        } else {
            if (status > 0) {
                NoteLibraryStatus(codec::ErrWrite, target->error());
            }
            ReportLibraryError();
        }
    } catch (const Exception& e) {
        // No error leaves a save; the answer says whether it worked, LastError why not.
        lastError_ = e.message();
    } catch (const std::bad_alloc&) {
        lastError_ = QStringLiteral("Not enough memory");
    } catch (...) {
        lastError_ = QStringLiteral("Unknown error");
    }
    if (!written && !loadError.isEmpty()) {
        lastError_ = loadError;
    }
    if (!written && target) {
        target->Discard();
    }
    FinishedLoadSave();
    return written;
}

} // namespace pelisto
