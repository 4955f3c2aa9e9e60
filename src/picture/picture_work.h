#pragma once

#include "framework/graphics/picture.h"
#include "picture/codec_library.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <cstdint>
#include <memory>

namespace pelisto {

class TBitmap;

enum TLoadResolution { lColorVga, lMonoChrome, lColor16, lColor256, lColorTrue, lAutoMatic };
enum TSaveResolution {
    sColorVga,
    sMonoChrome,
    sColor16,
    sColor256,
    sColorTrue,
    sJpegGray,
    sAutoMatic
};
enum TPCDMode { pcd_BASE16, pcd_BASE4, pcd_BASE };

// What the picture control does with a picture file, without a window: loads it through the
// codec library into a bitmap (WMF and ICO through the framework's own graphics) and writes it
// in five formats. Being no widget, it can work on any thread: a slideshow build converts
// pictures on several at once, each with its own PictureWork.
class PictureWork {
public:
    PictureWork();
    virtual ~PictureWork();
    PictureWork(const PictureWork&) = delete;
    PictureWork& operator=(const PictureWork&) = delete;

    // Announces the work buffer to the codec library (its first use; raises ErrorInvalid when
    // the library cannot be loaded).
    void Announce();

    // Assigning loads the file (an empty or missing name clears the picture). Only a file the
    // library cannot identify raises (ErrorInvalid); a failed read clears the picture.
    QString ImageName() const { return imageName_; }
    void SetImageName(const QString& name);

    // File information of the last assignment.
    QString ImageFormat() const { return imageFormat_; }
    int ImageWidth() const { return imageWidth_; }
    int ImageHeight() const { return imageHeight_; }
    std::int16_t ImageBits() const { return imageBits_; }
    std::int16_t TifPageCount() const { return tifPageCount_; }
    bool Loading() const { return loading_; }

    // Fills the file information; false on failure (raised through ReportLibraryError where the
    // library was asked).
    bool ReadFileInfo(const QString& fileName);
    // Hands the last library error to LibraryError, or raises ErrorInvalid with its text.
    void ReportLibraryError();
    // Why the latest load or save failed (the file is missing, damaged at some point, too
    // large, the target cannot be written, ...); empty after a success. Loads and saves swallow
    // their failures, so a caller that must explain one asks here. A save of a picture whose
    // load failed keeps the load's cause.
    QString LastError() const { return lastError_; }

    TPicture& Picture() { return picture_; }
    // The held bitmap, or nullptr when the picture holds none.
    TBitmap* HeldBitmap() const;

    int ImageReadRes() const { return readRes_; }
    void SetImageReadRes(int value);
    int ImageWriteRes() const { return writeRes_; }
    void SetImageWriteRes(int value);
    bool ImageDither() const { return dither_; }
    void SetImageDither(bool value) { dither_ = value; }
    int JPegSaveQuality() const { return jpegQuality_; }
    // 1..100 is kept; anything else stores 25.
    void SetJPegSaveQuality(int value);
    int JPegSaveSmooth() const { return jpegSmooth_; }
    // 1..100 is kept; anything else stores 5.
    void SetJPegSaveSmooth(int value);
    bool PNGInterLaced() const { return pngInterlaced_; }
    void SetPNGInterLaced(bool value) { pngInterlaced_ = value; }
    int TiffPage() const { return tiffPage_; }
    void SetTiffPage(int value) { tiffPage_ = static_cast<std::int16_t>(value); }
    int PCDMode() const { return pcdMode_; }
    void SetPCDMode(int value);
    QString DefSaveFilename() const { return defSaveFilename_; }
    void SetDefSaveFilename(const QString& value) { defSaveFilename_ = value; }
    // Pictures larger than a box of this size are read scaled down to fit it, as a screen of
    // that size would show them; 0 x 0 (the default) reads them at their own size.
    void SetFitBox(int width, int height);
    int FitWidth() const { return fitWidth_; }
    int FitHeight() const { return fitHeight_; }
    QColor RotateBackColor() const { return rotateBackColor_; }
    void SetRotateBackColor(const QColor& value) { rotateBackColor_ = value; }

    // Writes the picture to name (empty: the last target) in the format. No error leaves them;
    // they answer whether the file was completely written. The file is written beside the
    // target and moved over it only when complete, so a failure leaves any old file as it was.
    bool SaveAsJpeg(const QString& name);
    bool SaveAsBmp(const QString& name);
    bool SaveAsPcx(const QString& name);
    bool SaveAsGif(const QString& name);
    bool SaveAsPng(const QString& name);

    // Bits per pixel of the display, as a class: 4, 8 or 24. Asks the screen: call it on the
    // user-interface thread.
    static int DisplayDepthClass();
    // The read resolution that stands for the display's depth class, for a work buffer on
    // another thread that must read as the window would.
    static int ReadResOfDisplay();

protected:
    // Hooks for the control around the work buffer. The defaults do nothing; LibraryError
    // answers false to have the error raised.
    virtual void PictureChanged();
    virtual bool LibraryError(std::int16_t code, const QString& text);
    virtual bool ProgressCancels(std::int16_t percent, const QString& message);
    virtual void FinishedLoadSave() {}

    int Progress(int percent);
    static int ProgressProc(int percent, void* data);

    TPicture picture_;
    QString imageName_;
    QString imageFormat_;
    int imageWidth_ = 0;
    int imageHeight_ = 0;
    std::int16_t imageBits_ = 0;
    std::int16_t tifPageCount_ = 0;
    bool loading_ = false;
    QString lastError_;
    int readRes_ = lAutoMatic;
    int writeRes_ = sAutoMatic;
    bool dither_ = false;
    int jpegQuality_ = 25;
    int jpegSmooth_ = 0;
    bool pngInterlaced_ = false;
    std::int16_t tiffPage_ = 0;
    int pcdMode_ = pcd_BASE4;
    QString defSaveFilename_;
    QColor rotateBackColor_;
    bool announced_ = false;
    int fitWidth_ = 0;
    int fitHeight_ = 0;

private:
    enum class SaveFormat { Jpeg, Bmp, Pcx, Gif, Png };
    bool Save(SaveFormat format, const QString& name);
    int WriteDepth(SaveFormat format) const;
    int ReadDepth() const;
    // Reads the file with the format's reader into a new bitmap; nullptr when it failed.
    std::unique_ptr<TBitmap> ReadBitmap(const QString& name, const QString& format, int bits,
                                        bool dither);
};

} // namespace pelisto
