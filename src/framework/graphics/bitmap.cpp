#include "framework/graphics/bitmap.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace pelisto {

namespace {

const QString InvalidBitmap = QStringLiteral("Image bitmap non valide");

bool IsIndexed(TPixelFormat format) {
    return format == pf1bit || format == pf4bit || format == pf8bit;
}

int MaxColors(TPixelFormat format) {
    switch (format) {
    case pf1bit:
        return 2;
    case pf4bit:
        return 16;
    case pf8bit:
        return 256;
    default:
        return 0;
    }
}

TPalette DefaultPalette(TPixelFormat format) {
    switch (format) {
    case pf1bit:
        return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    case pf4bit:
        return Vga16Palette();
    case pf8bit:
        return HalftonePalette();
    default:
        return {};
    }
}

int NearestIndex(const TPalette& palette, QRgb color) {
    int best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (int i = 0; i < palette.size(); ++i) {
        const long dr = qRed(palette[i]) - qRed(color);
        const long dg = qGreen(palette[i]) - qGreen(color);
        const long db = qBlue(palette[i]) - qBlue(color);
        const long distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

// What a QImage of this Qt format stands for when nobody says otherwise.
TPixelFormat FormatOf(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return pf1bit;
    case QImage::Format_Indexed8:
        return pf8bit;
    case QImage::Format_RGB555:
        return pf15bit;
    case QImage::Format_RGB16:
        return pf16bit;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        return pf24bit;
    default:
        return pf32bit;
    }
}

// Fits image to the Qt format standing for format, with palette for indexed formats (the
// image's own colour table when it is small enough, else the given or default palette).
QImage Conform(const QImage& image, TPixelFormat format, const TPalette& palette,
               QImage::Format target) {
    if (image.isNull()) {
        return image;
    }
    if (!IsIndexed(format)) {
        if (format == pf32bit && image.hasAlphaChannel()) {
            return image.convertToFormat(QImage::Format_ARGB32);
        }
        return image.format() == target ? image : image.convertToFormat(target);
    }
    const int maxColors = MaxColors(format);
    const bool ownTableFits =
        (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
         image.format() == QImage::Format_MonoLSB) &&
        image.colorCount() <= maxColors;
    if (ownTableFits) {
        if (image.format() == target) {
            return image;
        }
        return image.convertToFormat(target, image.colorTable());
    }
    TPalette table = palette.isEmpty() ? DefaultPalette(format) : palette;
    if (table.size() > maxColors) {
        table.resize(maxColors);
    }
    if (format == pf8bit && palette.isEmpty()) {
        // Let Qt's quantiser pick the colours (exact when the picture has at most 256).
        return image.convertToFormat(QImage::Format_Indexed8, Qt::AutoColor);
    }
    return image.convertToFormat(target, table, Qt::AutoColor);
}

} // namespace

TPalette Vga16Palette() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
            qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

TPalette HalftonePalette() {
    TPalette palette;
    palette.reserve(256);
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                palette.append(qRgb(r * 51, g * 51, b * 51));
            }
        }
    }
    // 40 gray levels between the cube's own.
    for (int i = 1; i <= 40; ++i) {
        const int level = i * 255 / 41;
        palette.append(qRgb(level, level, level));
    }
    return palette;
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat format) : format_(format) {
    SetSize(width, height);
}

TBitmap::TBitmap(const QImage& image) {
    SetImage(image);
}

TBitmap::TBitmap(const TBitmap& other)
    : TGraphic(), image_(other.image_), width_(other.width_), height_(other.height_),
      format_(other.format_), palette_(other.palette_) {}

TBitmap& TBitmap::operator=(const TBitmap& other) {
    if (this != &other) {
        image_ = other.image_;
        width_ = other.width_;
        height_ = other.height_;
        format_ = other.format_;
        palette_ = other.palette_;
        NotifyChanged();
    }
    return *this;
}

TBitmap::~TBitmap() = default;

int TBitmap::BitsPerPixel(TPixelFormat format) {
    switch (format) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    default:
        return 32;
    }
}

QImage::Format TBitmap::ImageFormat(TPixelFormat format) {
    switch (format) {
    case pf1bit:
        return QImage::Format_Mono;
    case pf4bit:
    case pf8bit:
        return QImage::Format_Indexed8;
    case pf15bit:
        return QImage::Format_RGB555;
    case pf16bit:
        return QImage::Format_RGB16;
    case pf24bit:
        return QImage::Format_BGR888;
    default:
        return QImage::Format_RGB32;
    }
}

QImage TBitmap::Blank(int width, int height, TPixelFormat format, const TPalette& palette) {
    QImage image(width, height, ImageFormat(format));
    if (image.isNull()) {
        return image;
    }
    // Row padding too, which file writers copy out.
    std::memset(image.bits(), 0, static_cast<std::size_t>(image.sizeInBytes()));
    if (IsIndexed(format)) {
        TPalette table = palette.isEmpty() ? DefaultPalette(format) : palette;
        if (table.size() > MaxColors(format)) {
            table.resize(MaxColors(format));
        }
        image.setColorTable(table);
        image.fill(static_cast<uint>(NearestIndex(table, qRgb(255, 255, 255))));
    } else {
        image.fill(Qt::white);
    }
    return image;
}

void TBitmap::SetSize(int width, int height) {
    if (width == Width() && height == Height()) {
        return;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == 0 || height == 0) {
        width_ = width;
        height_ = height;
        image_ = QImage();
        NotifyChanged();
        return;
    }
    QImage grown = Blank(width, height, format_, Palette());
    if (grown.isNull()) {
        throw EInvalidGraphic(QStringLiteral("Mémoire insuffisante pour une image de %1 x %2")
                                  .arg(width)
                                  .arg(height));
    }
    if (!image_.isNull()) {
        const int rows = std::min(height, image_.height());
        const int columns = std::min(width, image_.width());
        if (image_.depth() >= 8) {
            const auto bytes = static_cast<std::size_t>(columns * image_.depth() / 8);
            for (int y = 0; y < rows; ++y) {
                std::memcpy(grown.scanLine(y), image_.constScanLine(y), bytes);
            }
        } else {
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < columns; ++x) {
                    grown.setPixel(x, y, static_cast<uint>(image_.pixelIndex(x, y)));
                }
            }
        }
    }
    image_ = grown;
    width_ = width;
    height_ = height;
    NotifyChanged();
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == format_) {
        return;
    }
    const TPalette palette = Palette();
    format_ = format;
    if (image_.isNull()) {
        if (!IsIndexed(format)) {
            palette_ = palette;
        }
        return;
    }
    // A palette that fits the new format is kept; a larger one gives way to the format's own.
    const bool paletteFits =
        IsIndexed(format) && !palette.isEmpty() && palette.size() <= MaxColors(format);
    image_ =
        Conform(image_.format() == QImage::Format_Indexed8 || image_.format() == QImage::Format_Mono
                    ? image_.convertToFormat(QImage::Format_ARGB32)
                    : image_,
                format, paletteFits ? palette : TPalette{}, ImageFormat(format));
    if (!IsIndexed(format)) {
        palette_ = palette;
    }
    NotifyChanged();
}

TPalette TBitmap::Palette() const {
    if (IsIndexed(format_) && !image_.isNull()) {
        return image_.colorTable();
    }
    if (IsIndexed(format_) && palette_.isEmpty()) {
        return DefaultPalette(format_);
    }
    return palette_;
}

void TBitmap::SetPalette(const TPalette& palette) {
    if (!IsIndexed(format_) || image_.isNull()) {
        palette_ = palette;
        if (IsIndexed(format_) && palette_.size() > MaxColors(format_)) {
            palette_.resize(MaxColors(format_));
        }
        return;
    }
    TPalette table = palette;
    if (table.size() > MaxColors(format_)) {
        table.resize(MaxColors(format_));
    }
    // Indices in use must stay valid.
    int highest = 0;
    if (image_.format() == QImage::Format_Indexed8) {
        for (int y = 0; y < image_.height(); ++y) {
            const uchar* row = image_.constScanLine(y);
            highest = std::max<int>(highest, *std::max_element(row, row + image_.width()));
        }
    } else {
        highest = 1; // one bit per pixel
    }
    while (table.size() <= highest) {
        table.append(qRgb(0, 0, 0));
    }
    image_.setColorTable(table);
    NotifyChanged();
}

void TBitmap::SetImage(const QImage& image, TPixelFormat format) {
    format_ = format;
    image_ = Conform(image, format, {}, ImageFormat(format));
    width_ = image_.width();
    height_ = image_.height();
    if (IsIndexed(format)) {
        palette_.clear();
    }
    NotifyChanged();
}

void TBitmap::SetImage(const QImage& image) {
    SetImage(image, FormatOf(image));
}

QImage TBitmap::ToImage() const {
    return image_.convertToFormat(QImage::Format_ARGB32);
}

uchar* TBitmap::ScanLine(int row) {
    return image_.scanLine(row);
}

const uchar* TBitmap::ScanLine(int row) const {
    return image_.constScanLine(row);
}

void TBitmap::DrawInto(QPainter& painter, const QRect& rect) {
    if (!image_.isNull()) {
        painter.drawImage(rect, image_);
    }
}

void TBitmap::ReadFrom(QIODevice& stream) {
    const QByteArray bytes = stream.readAll();
    // File header (14 bytes), then the info header: its size tells where the bit count lies.
    if (bytes.size() < 26 || !bytes.startsWith("BM")) {
        throw EInvalidGraphic(InvalidBitmap);
    }
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const quint32 infoSize = qFromLittleEndian<quint32>(data + 14);
    const int bitsOffset = infoSize == 12 ? 24 : 28;
    if (bytes.size() < bitsOffset + 2) {
        throw EInvalidGraphic(InvalidBitmap);
    }
    const int bits = qFromLittleEndian<quint16>(data + bitsOffset);
    QImage image;
    if (!image.loadFromData(bytes, "BMP")) {
        throw EInvalidGraphic(InvalidBitmap);
    }
    TPixelFormat format = pf32bit;
    switch (bits) {
    case 1:
        format = pf1bit;
        break;
    case 4:
        format = pf4bit;
        break;
    case 8:
        format = pf8bit;
        break;
    case 16:
        format = pf16bit;
        break;
    case 24:
        format = pf24bit;
        break;
    default:
        format = pf32bit;
        break;
    }
    SetImage(image, format);
}

void TBitmap::WriteTo(QIODevice& stream) {
    if (image_.isNull()) {
        return;
    }
    QImageWriter writer(&stream, "BMP");
    if (!writer.write(image_)) {
        throw EWriteError();
    }
}

void TBitmap::AssignFrom(const TGraphic& source) {
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
        *this = *bitmap;
        return;
    }
    TGraphic::AssignFrom(source);
}

void TBitmap::CopyTo(TGraphic& target) const {
    if (auto* bitmap = dynamic_cast<TBitmap*>(&target)) {
        *bitmap = *this;
        return;
    }
    TGraphic::CopyTo(target);
}

bool TBitmap::SameAs(const TGraphic& other) const {
    const auto* bitmap = dynamic_cast<const TBitmap*>(&other);
    return bitmap != nullptr && bitmap->format_ == format_ && bitmap->image_ == image_;
}

TCanvas::TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {
    if (bitmap_.image_.isNull()) {
        return;
    }
    indexed_ = bitmap_.image_.format() == QImage::Format_Indexed8 ||
               bitmap_.image_.format() == QImage::Format_Mono;
    if (indexed_) {
        // Qt cannot paint on indexed images.
        work_ = bitmap_.image_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        painter_.begin(&work_);
    } else {
        bitmap_.image_.detach();
        painter_.begin(&bitmap_.image_);
    }
}

TCanvas::~TCanvas() {
    End();
}

void TCanvas::End() {
    if (!painter_.isActive()) {
        return;
    }
    painter_.end();
    if (indexed_) {
        const TPalette table = bitmap_.image_.colorTable();
        bitmap_.image_ = work_.convertToFormat(bitmap_.image_.format(), table, Qt::AutoColor);
        work_ = QImage();
    }
    bitmap_.NotifyChanged();
}

void TCanvas::Draw(int x, int y, TGraphic& graphic) {
    if (painter_.isActive()) {
        graphic.Draw(painter_, x, y);
    }
}

void TCanvas::StretchDraw(const QRect& rect, TGraphic& graphic) {
    if (painter_.isActive()) {
        graphic.DrawInto(painter_, rect);
    }
}

void TCanvas::FillRect(const QRect& rect, const QColor& color) {
    if (painter_.isActive()) {
        painter_.fillRect(rect, color);
    }
}

} // namespace pelisto
