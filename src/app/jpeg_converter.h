#pragma once

#include "app/parallel_conversion.h"
#include "picture/picture_work.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

namespace pelisto {

class TBitmap;
class TPicture;

// Encodes a bitmap as a JPEG file at the given quality (1..100).
void SaveBitmapAsJpeg(const TBitmap& bitmap, const QString& fileName, int quality);

// Turns one picture file into the scratch JPEG, temp.jpg in the scratch folder. WMF and ICO
// pictures are rendered onto a white bitmap and encoded by the JPEG graphic; every other format
// goes through the work-buffer picture control.
class JpegConverter {
public:
    explicit JpegConverter(PictureWork& workBuffer);
    ~JpegConverter();

    void SetScratchFolder(const QString& folder);
    // The holder that loads WMF and ICO pictures; without one the converter uses its own.
    void SetLoader(TPicture* loader);

    QString ScratchPath() const;

    // Pictures larger than this box are scaled down to fit it, as a screen of that size fits
    // them; 0 x 0 (the default) converts them at their own size. The work buffer is told only
    // for the length of a conversion.
    void SetFitBox(int width, int height);
    int FitWidth() const { return fitWidth_; }
    int FitHeight() const { return fitHeight_; }

    // Returns the scratch JPEG's path. The old scratch file is removed first, so a conversion
    // that writes nothing can never pass off the previous picture as this one: it raises an
    // error naming the picture instead. Every error names the picture.
    QString ConvertToJpeg(const QString& fileName, int quality);

private:
    PictureWork& workBuffer_;
    TPicture* loader_ = nullptr;
    std::unique_ptr<TPicture> ownLoader_;
    QString scratchFolder_;
    int fitWidth_ = 0;
    int fitHeight_ = 0;
};

// A conversion worker for one thread of a parallel build: its own work buffer (set up as the
// window's) and its own scratch JPEG.
class JpegWorker final : public PictureWorker {
public:
    JpegWorker(int quality, int readRes, int fitWidth = 0, int fitHeight = 0);
    QString Convert(const QString& picture, const QString& folder) override;
    void SetCancelFlag(const std::atomic<bool>* cancel) override { work_.cancel = cancel; }

private:
    // The codec library asks it between rows whether to go on.
    class CancellableWork final : public PictureWork {
    public:
        const std::atomic<bool>* cancel = nullptr;

    protected:
        bool ProgressCancels(std::int16_t, const QString&) override {
            return cancel != nullptr && cancel->load();
        }
    };

    CancellableWork work_;
    JpegConverter converter_;
    int quality_;
};

// Makes JpegWorkers converting at the quality, fitting pictures in the box (0 x 0: their own
// size). Call on the user-interface thread: it asks the display how deep the work buffers read.
PictureWorkerFactory JpegWorkerFactory(int quality, int fitWidth = 0, int fitHeight = 0);

} // namespace pelisto
