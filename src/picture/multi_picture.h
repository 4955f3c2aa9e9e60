#pragma once

#include "framework/graphics/picture.h"
#include "picture/codec_library.h"

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>

class QScrollBar;

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
enum TBlitMode { sLight, sDark, sLightest };
enum TPCDMode { pcd_BASE16, pcd_BASE4, pcd_BASE };

// The multi-format picture control: loads a picture file through the codec library into a
// bitmap (WMF and ICO through the framework's own graphics), paints it stretched or at its
// natural size, turns it by quarter turns and writes it in five formats.
class TMultiPicture : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString ImageName READ ImageName WRITE SetImageName)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(bool Scrolling READ Scrolling WRITE SetScrolling)
    Q_PROPERTY(bool ShowScrollbars READ ShowScrollbars WRITE SetShowScrollbars)
    Q_PROPERTY(int ScrollbarWidth READ ScrollbarWidth WRITE SetScrollbarWidth)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(int ImageReadRes READ ImageReadRes WRITE SetImageReadRes)
    Q_PROPERTY(int ImageWriteRes READ ImageWriteRes WRITE SetImageWriteRes)
    Q_PROPERTY(bool ImageDither READ ImageDither WRITE SetImageDither)
    Q_PROPERTY(int BlitMode READ BlitMode WRITE SetBlitMode)
    Q_PROPERTY(int JPegSaveQuality READ JPegSaveQuality WRITE SetJPegSaveQuality)
    Q_PROPERTY(int JPegSaveSmooth READ JPegSaveSmooth WRITE SetJPegSaveSmooth)
    Q_PROPERTY(bool PNGInterLaced READ PNGInterLaced WRITE SetPNGInterLaced)
    Q_PROPERTY(int TiffPage READ TiffPage WRITE SetTiffPage)
    Q_PROPERTY(int PCDMode READ PCDMode WRITE SetPCDMode)
    Q_PROPERTY(QString DefSaveFilename READ DefSaveFilename WRITE SetDefSaveFilename)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QColor RotateBackColor READ RotateBackColor WRITE SetRotateBackColor)

public:
    explicit TMultiPicture(QWidget* parent = nullptr);
    ~TMultiPicture() override;

    // End of building the window: lays out the scroll bars and announces the control to the
    // codec library (its first use; raises ErrorInvalid when the library cannot be loaded).
    Q_INVOKABLE void Loaded();

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
    // Hands the last library error to OnPlibError, or raises ErrorInvalid with its text.
    void ReportLibraryError();
    // Why the latest load or save of this control failed (the file is missing, damaged at some
    // point, too large, the target cannot be written, ...); empty after a success. Loads and
    // saves swallow their failures, so a caller that must explain one asks here. A save of a
    // picture whose load failed keeps the load's cause.
    QString LastError() const { return lastError_; }

    TPicture& Picture() { return picture_; }
    // The held bitmap, or nullptr when the picture holds none.
    TBitmap* HeldBitmap() const;

    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool Scrolling() const { return scrolling_; }
    void SetScrolling(bool value);
    bool ShowScrollbars() const { return showScrollbars_; }
    void SetShowScrollbars(bool value);
    int ScrollbarWidth() const { return scrollbarWidth_; }
    void SetScrollbarWidth(int value);
    bool Center() const { return center_; }
    void SetCenter(bool value);
    int ImageReadRes() const { return readRes_; }
    void SetImageReadRes(int value);
    int ImageWriteRes() const { return writeRes_; }
    void SetImageWriteRes(int value);
    bool ImageDither() const { return dither_; }
    void SetImageDither(bool value) { dither_ = value; }
    int BlitMode() const { return blitMode_; }
    void SetBlitMode(int value);
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
    QColor Color() const { return color_; }
    void SetColor(const QColor& value);
    QColor RotateBackColor() const { return rotateBackColor_; }
    void SetRotateBackColor(const QColor& value) { rotateBackColor_ = value; }
    double ZoomFactor() const { return zoom_; }
    QPoint ScrollPosition() const { return scroll_; }

    // Turns the picture a quarter anticlockwise; ErrorInvalid "Input image is empty" on an empty
    // picture; a failure inside the library leaves the picture unturned.
    void RotateQuarter();

    // Writes the picture to name (empty: the last target) in the format. No error leaves them;
    // they answer whether the file was completely written. The file is written beside the
    // target and moved over it only when complete, so a failure leaves any old file as it was.
    bool SaveAsJpeg(const QString& name);
    bool SaveAsBmp(const QString& name);
    bool SaveAsPcx(const QString& name);
    bool SaveAsGif(const QString& name);
    bool SaveAsPng(const QString& name);

    // Metadata segments (EXIF, ICC profile, comments: JpegMetadataSegments) that JPEG saves
    // carry, the EXIF orientation set upright; empty for none. Rotation sets them so that a
    // photo written back keeps what it said about itself.
    void SetJpegMetadata(const QByteArray& segments) { jpegMetadata_ = segments; }

    // Bits per pixel of the display, as a class: 4, 8 or 24.
    static int DisplayDepthClass();

    // Events; unassigned ones are not called.
    std::function<void(TMultiPicture& sender, std::int16_t errorCode, const QString& errorString,
                       const char* errorPChar)>
        OnPlibError;
    std::function<void(TMultiPicture& sender, std::int16_t progress, const QString& message,
                       bool& cancelProcess)>
        OnProgress;
    std::function<void(TMultiPicture& sender)> OnFinishedLoadSave;
    std::function<void(TMultiPicture& sender)> OnPictureChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class SaveFormat { Jpeg, Bmp, Pcx, Gif, Png };
    bool Save(SaveFormat format, const QString& name);
    int WriteDepth(SaveFormat format) const;
    int ReadDepth() const;
    // Reads the file with the format's reader into a new bitmap; nullptr when it failed.
    std::unique_ptr<TBitmap> ReadBitmap(const QString& name, const QString& format, int bits,
                                        bool dither);
    void PictureChanged();
    void LayoutScrollBars();
    // The held one-bit picture resized for the dark or lightest stretch mode, kept for repaints.
    const QImage& KeptLinesImage(const QImage& image, const QSize& size);
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
    double zoom_ = 1.0;
    QPoint scroll_;
    bool stretch_ = false;
    bool scrolling_ = true;
    bool showScrollbars_ = true;
    int scrollbarWidth_ = 12;
    bool center_ = false;
    int readRes_ = lAutoMatic;
    int writeRes_ = sAutoMatic;
    bool dither_ = false;
    int blitMode_ = sLight;
    int jpegQuality_ = 25;
    int jpegSmooth_ = 0;
    bool pngInterlaced_ = false;
    std::int16_t tiffPage_ = 0;
    int pcdMode_ = pcd_BASE4;
    QString defSaveFilename_;
    QByteArray jpegMetadata_;
    QColor color_;
    QColor rotateBackColor_;
    bool announced_ = false;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
    QWidget* corner_ = nullptr;
    QImage keptLines_;
    qint64 keptLinesKey_ = 0;
    int keptLinesMode_ = -1;
};

} // namespace pelisto
