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

    // Returns the scratch JPEG's path. The old scratch file is removed first, so a conversion
    // that writes nothing can never pass off the previous picture as this one: it raises an
    // error naming the picture instead. Every error names the picture.
    QString ConvertToJpeg(const QString& fileName, int quality);

private:
    PictureWork& workBuffer_;
    TPicture* loader_ = nullptr;
    std::unique_ptr<TPicture> ownLoader_;
    QString scratchFolder_;
};

// A conversion worker for one thread of a parallel build: its own work buffer (set up as the
// window's) and its own scratch JPEG.
class JpegWorker final : public PictureWorker {
public:
    JpegWorker(int quality, int readRes);
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

// Makes JpegWorkers converting at the quality. Call on the user-interface thread: it asks the
// display how deep the work buffers read.
PictureWorkerFactory JpegWorkerFactory(int quality);

} // namespace pelisto
