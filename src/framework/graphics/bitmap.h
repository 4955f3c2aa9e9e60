#pragma once

#include "framework/graphics/graphic.h"

#include <QImage>
#include <QPainter>
#include <memory>

namespace pelisto {

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// A raster picture over QImage that keeps the pixel format it was given. pf1bit and pf8bit are
// indexed QImages with their palette; pf4bit, which Qt lacks, is an 8-bit indexed QImage whose
// colour table has at most 16 entries. pf24bit rows are blue, green, red bytes (QImage's BGR888),
// pf32bit and pfDevice are 32-bit xRGB. Copies share pixels until either side changes.
// Area added by growing a bitmap is white.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat format = pfDevice);
    // Takes the image; the pixel format follows its depth (4-bit cannot be told from 8-bit here).
    explicit TBitmap(const QImage& image);
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    ~TBitmap() override;

    QString ClassName() const override { return QStringLiteral("TBitmap"); }
    std::unique_ptr<TGraphic> NewInstance() const override { return std::make_unique<TBitmap>(); }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetWidth(int width) override { SetSize(width, Height()); }
    void SetHeight(int height) override { SetSize(Width(), height); }
    void SetSize(int width, int height);
    bool IsEmpty() const override { return width_ == 0 || height_ == 0; }

    TPixelFormat PixelFormat() const { return format_; }
    // Converts the pixels to the format; indexed targets get a palette (the current one when the
    // bitmap already has one that fits, else one Qt's quantiser builds).
    void SetPixelFormat(TPixelFormat format);
    static int BitsPerPixel(TPixelFormat format);

    TPalette Palette() const override;
    // Indexed formats: the colour table becomes palette (cut to the format's size); pixels keep
    // their indices. Others keep it only as the palette to draw with (ignored by Qt).
    void SetPalette(const TPalette& palette) override;

    // The pixels (a pf4bit bitmap shows as an 8-bit indexed image).
    const QImage& Image() const { return image_; }
    // Replaces the pixels; format says which pixel format the image stands for.
    void SetImage(const QImage& image, TPixelFormat format);
    void SetImage(const QImage& image);
    // A 32-bit ARGB copy, ready to be drawn or painted on.
    QImage ToImage() const;

    // Row access; writing detaches from other copies.
    uchar* ScanLine(int row);
    const uchar* ScanLine(int row) const;
    qsizetype BytesPerLine() const { return image_.bytesPerLine(); }

    void DrawInto(QPainter& painter, const QRect& rect) override;
    // BMP files, keeping the bit depth of the file (1, 4, 8, 16, 24, 32).
    void ReadFrom(QIODevice& stream) override;
    void WriteTo(QIODevice& stream) override;
    void AssignFrom(const TGraphic& source) override;
    void CopyTo(TGraphic& target) const override;
    bool SameAs(const TGraphic& other) const override;

private:
    friend class TCanvas;
    static QImage::Format ImageFormat(TPixelFormat format);
    static QImage Blank(int width, int height, TPixelFormat format, const TPalette& palette);

    QImage image_; // null while either side is 0
    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = pfDevice;
    TPalette palette_; // kept for non-indexed formats too
};

// The 16 colours of a new 4-bit bitmap (the classic VGA set).
TPalette Vga16Palette();
// A 256-entry palette spread over the colour cube (6 x 6 x 6 levels, then a gray ramp): the
// colours a palette screen draws true-colour pictures with; also a new 8-bit bitmap's palette.
TPalette HalftonePalette();

// Painting on a bitmap. Indexed bitmaps are painted through a 32-bit copy that is mapped back
// onto their palette when the canvas ends (at destruction or End()).
class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    QPainter& Painter() { return painter_; }
    // Draws a graphic at its natural size / stretched into rect.
    void Draw(int x, int y, TGraphic& graphic);
    void StretchDraw(const QRect& rect, TGraphic& graphic);
    void FillRect(const QRect& rect, const QColor& color);
    void End();

private:
    TBitmap& bitmap_;
    QImage work_;
    bool indexed_ = false;
    QPainter painter_;
};

} // namespace pelisto
