#pragma once

#include "framework/graphics/picture.h"
#include "picture/codec_library.h"
#include "picture/picture_work.h"

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>

class QScrollBar;

namespace pelisto {

class TBitmap;

enum TBlitMode { sLight, sDark, sLightest };

// The multi-format picture control: a work buffer (loading and writing, PictureWork) that paints
// its picture stretched or at its natural size and turns it by quarter turns.
class TMultiPicture : public QWidget, public PictureWork {
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
    int BlitMode() const { return blitMode_; }
    void SetBlitMode(int value);
    // A stretched colour picture is shrunk with a smoothing filter instead of dropping lines
    // (a preview, where fine text in photos must stay readable).
    bool SmoothStretch() const { return smoothStretch_; }
    void SetSmoothStretch(bool value) {
        smoothStretch_ = value;
        update();
    }
    QColor Color() const { return color_; }
    void SetColor(const QColor& value);
    double ZoomFactor() const { return zoom_; }
    QPoint ScrollPosition() const { return scroll_; }

    // Turns the picture a quarter anticlockwise; ErrorInvalid "Input image is empty" on an empty
    // picture, and ErrorInvalid too, the picture unturned, when the library cannot turn it.
    void RotateQuarter();

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

    void PictureChanged() override;
    bool LibraryError(std::int16_t code, const QString& text) override;
    bool ProgressCancels(std::int16_t percent, const QString& message) override;
    void FinishedLoadSave() override;

private:
    void LayoutScrollBars();
    // The held one-bit picture resized for the dark or lightest stretch mode, kept for repaints.
    const QImage& KeptLinesImage(const QImage& image, const QSize& size);
    double zoom_ = 1.0;
    QPoint scroll_;
    bool stretch_ = false;
    bool scrolling_ = true;
    bool showScrollbars_ = true;
    int scrollbarWidth_ = 12;
    bool center_ = false;
    int blitMode_ = sLight;
    QColor color_;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
    QWidget* corner_ = nullptr;
    QImage keptLines_;
    qint64 keptLinesKey_ = 0;
    int keptLinesMode_ = -1;
    bool smoothStretch_ = false;
    QImage smoothed_;
    qint64 smoothedKey_ = 0;
};

} // namespace pelisto
