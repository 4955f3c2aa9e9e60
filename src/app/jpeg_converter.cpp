#include "app/jpeg_converter.h"

#include "app/picture_paths.h"
#include "framework/exceptions.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"
#include "framework/graphics/picture.h"
#include "picture/dib_conversion.h"
#include "picture/jpeg_image.h"
#include "picture/picture_work.h"

#include <QFile>
#include <QFileInfo>

namespace pelisto {

void SaveBitmapAsJpeg(const TBitmap& bitmap, const QString& fileName, int quality) {
    TJPEGImage jpeg;
    jpeg.SetQuality(quality);
    jpeg.AssignFrom(bitmap);
    jpeg.SaveFile(fileName);
}

JpegConverter::JpegConverter(PictureWork& workBuffer) : workBuffer_(workBuffer) {}

JpegConverter::~JpegConverter() = default;

void JpegConverter::SetScratchFolder(const QString& folder) {
    scratchFolder_ = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void JpegConverter::SetLoader(TPicture* loader) {
    loader_ = loader;
}

void JpegConverter::SetFitBox(int width, int height) {
    const bool box = width > 0 && height > 0;
    fitWidth_ = box ? width : 0;
    fitHeight_ = box ? height : 0;
}

QString JpegConverter::ScratchPath() const {
    return scratchFolder_ + QStringLiteral("temp.jpg");
}

QString JpegConverter::ConvertToJpeg(const QString& fileName, int quality) {
    const QString ext = AsciiLower(ExtensionOf(fileName));
    const QString target = ScratchPath();
    QFile::remove(target);

    bool written = false;
    QString cause;
    try {
        if (ext == QLatin1String(".wmf") || ext == QLatin1String(".ico")) {
            TPicture* loader = loader_;
            if (loader == nullptr) {
                if (!ownLoader_) {
                    ownLoader_ = std::make_unique<TPicture>();
                }
                loader = ownLoader_.get();
            }
            loader->LoadFromFile(fileName);
            TBitmap bitmap;
            bitmap.SetWidth(loader->Width());
            bitmap.SetHeight(loader->Height());
            {
                TCanvas canvas(bitmap);
                canvas.Draw(0, 0, *loader->Graphic());
            }
            if (fitWidth_ > 0) {
                TDibHolder fitted = FitDibInBox(BitmapToDib(bitmap), fitWidth_, fitHeight_);
                std::unique_ptr<TBitmap> scaled =
                    fitted ? DibToBitmap(std::move(fitted), 24, false) : nullptr;
                if (!scaled) {
                    throw Exception(QStringLiteral("Unable to convert %1 to JPEG: %2")
                                        .arg(fileName, QStringLiteral("it could not be scaled")));
                }
                SaveBitmapAsJpeg(*scaled, target, quality);
            } else {
                SaveBitmapAsJpeg(bitmap, target, quality);
            }
            written = true;
        } else {
            // The window's work buffer serves rotation and the preview too, at full size.
            struct FitFor {
                PictureWork& work;
                FitFor(PictureWork& w, int width, int height) : work(w) {
                    work.SetFitBox(width, height);
                }
                ~FitFor() { work.SetFitBox(0, 0); }
            } fit(workBuffer_, fitWidth_, fitHeight_);
            workBuffer_.SetImageName(fileName);
            workBuffer_.SetJPegSaveQuality(static_cast<std::uint8_t>(quality));
            written = workBuffer_.SaveAsJpeg(target);
            if (!written) {
                // The work buffer swallows its failures but keeps their cause; one in writing
                // lies with the scratch file, not the picture, so it names the file.
                cause = workBuffer_.LastError();
                if (cause.startsWith(QLatin1String("Can't create the file")) ||
                    cause.startsWith(QLatin1String("Error while writing the file"))) {
                    cause = QStringLiteral("%1 (the scratch file %2)").arg(cause, target);
                }
            }
        }
    } catch (const EAbort&) {
        QFile::remove(target);
        throw;
    } catch (const Exception& e) {
        // A slideshow build converts many pictures; an error such as "Unknown file format"
        // must say which one it was.
        QFile::remove(target);
        if (e.message().contains(fileName)) {
            throw;
        }
        throw Exception(
            QStringLiteral("Unable to convert %1 to JPEG: %2").arg(fileName, e.message()));
    } catch (...) {
        QFile::remove(target);
        throw;
    }
    if (written && (!QFileInfo(target).isFile() || QFileInfo(target).size() == 0)) {
        written = false;
        cause = QStringLiteral("the scratch file %1 was not written").arg(target);
    }
    if (!written) {
        QFile::remove(target);
        if (cause.isEmpty()) {
            throw Exception(QStringLiteral("Unable to convert %1 to JPEG").arg(fileName));
        }
        throw Exception(QStringLiteral("Unable to convert %1 to JPEG: %2").arg(fileName, cause));
    }
    return target;
}

JpegWorker::JpegWorker(int quality, int readRes, int fitWidth, int fitHeight)
    : converter_(work_), quality_(quality) {
    work_.Announce();
    converter_.SetFitBox(fitWidth, fitHeight);
    work_.SetImageReadRes(readRes);
    work_.SetJPegSaveQuality(75);
    work_.SetJPegSaveSmooth(5);
}

QString JpegWorker::Convert(const QString& picture, const QString& folder) {
    converter_.SetScratchFolder(folder);
    const QString jpeg = converter_.ConvertToJpeg(picture, quality_);
    // The decoded picture goes now rather than while the next one is read.
    work_.Picture().SetGraphic(nullptr);
    return jpeg;
}

PictureWorkerFactory JpegWorkerFactory(int quality, int fitWidth, int fitHeight) {
    // Metafiles are sized by the screen's resolution; the workers get what it is now.
    NoteScreenForWorkers();
    const int readRes = PictureWork::ReadResOfDisplay();
    return [quality, readRes, fitWidth, fitHeight] {
        return std::make_unique<JpegWorker>(quality, readRes, fitWidth, fitHeight);
    };
}

} // namespace pelisto
