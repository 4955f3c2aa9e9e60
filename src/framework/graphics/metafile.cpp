#include "framework/graphics/metafile.h"

#include "framework/graphics/metafile_renderer.h"
#include "slideshow/picture_limit.h"

#include <QIODevice>
#include <QPainter>
#include <QtEndian>

namespace pelisto {

namespace {

const QString InvalidMetafile = QStringLiteral("Métafichier non valide");
constexpr quint32 PlaceableKey = 0x9AC6CDD7;
constexpr int PlaceableSize = 22;

quint16 Word(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

qint16 SignedWord(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<qint16>(bytes.constData() + offset);
}

quint32 DoubleWord(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

// The standard metafile header: memory or disk metafile, 9 words long, version 1 or 3.
bool HasMetaHeader(const QByteArray& bytes, int offset) {
    if (bytes.size() < offset + 18) {
        return false;
    }
    const quint16 type = Word(bytes, offset);
    const quint16 headerWords = Word(bytes, offset + 2);
    const quint16 version = Word(bytes, offset + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x100 || version == 0x300);
}

// Integer a * b / c rounded to nearest, as metafile sizes are scaled.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

// A picture over the limit is refused before anything is rendered.
void CheckSize(qint64 width, qint64 height) {
    if (PictureTooLarge(width, height)) {
        throw EInvalidGraphic(
            QString::fromStdString("Picture too large: " + PictureTooLargeText(width, height)));
    }
}

} // namespace

void TMetafile::ReadFrom(QIODevice& stream) {
    const QByteArray bytes = stream.readAll();
    if (bytes.size() >= 44 && DoubleWord(bytes, 0) == 1 && DoubleWord(bytes, 40) == 0x464D4520) {
        throw EInvalidGraphic(
            QStringLiteral("Les métafichiers améliorés (EMF) ne sont pas pris en charge"));
    }
    QRect bounds;
    int unitsPerInch = 0;
    if (bytes.size() >= PlaceableSize && DoubleWord(bytes, 0) == PlaceableKey) {
        const int left = SignedWord(bytes, 6);
        const int top = SignedWord(bytes, 8);
        const int right = SignedWord(bytes, 10);
        const int bottom = SignedWord(bytes, 12);
        unitsPerInch = Word(bytes, 14);
        if (right <= left || bottom <= top || !HasMetaHeader(bytes, PlaceableSize)) {
            throw EInvalidGraphic(InvalidMetafile);
        }
        // A header without its resolution is taken as the usual twips.
        if (unitsPerInch == 0) {
            unitsPerInch = 1440;
        }
        bounds = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    } else if (!HasMetaHeader(bytes, 0)) {
        throw EInvalidGraphic(InvalidMetafile);
    }

    const int dpi = ScreenPixelsPerInch();
    QString error;
    QImage rendered;
    if (unitsPerInch > 0) {
        const int width = MulDiv(bounds.width(), dpi, unitsPerInch);
        const int height = MulDiv(bounds.height(), dpi, unitsPerInch);
        if (width <= 0 || height <= 0) {
            throw EInvalidGraphic(InvalidMetafile);
        }
        CheckSize(width, height);
        rendered = RenderWindowsMetafile(
            bytes, static_cast<double>(width) * unitsPerInch / bounds.width(),
            static_cast<double>(height) * unitsPerInch / bounds.height(), error);
        if (!rendered.isNull() && rendered.size() != QSize(width, height)) {
            rendered =
                rendered.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
    } else {
        // No placeable header: the renderer's own idea of its extent at the screen resolution.
        rendered = RenderWindowsMetafile(bytes, dpi, dpi, error);
    }
    if (rendered.isNull()) {
        throw EInvalidGraphic(error.isEmpty() ? InvalidMetafile
                                              : InvalidMetafile + QStringLiteral(" : ") + error);
    }
    data_ = bytes;
    bounds_ = bounds;
    unitsPerInch_ = unitsPerInch;
    width_ = rendered.width();
    height_ = rendered.height();
    cache_ = rendered;
    NotifyChanged();
}

void TMetafile::WriteTo(QIODevice& stream) {
    if (!data_.isEmpty() && stream.write(data_) != data_.size()) {
        throw EWriteError();
    }
}

void TMetafile::SetWidth(int width) {
    if (width != width_) {
        width_ = width;
        NotifyChanged();
    }
}

void TMetafile::SetHeight(int height) {
    if (height != height_) {
        height_ = height;
        NotifyChanged();
    }
}

QImage TMetafile::Render(int width, int height) const {
    if (data_.isEmpty() || width <= 0 || height <= 0) {
        return {};
    }
    if (cache_.size() == QSize(width, height)) {
        return cache_;
    }
    CheckSize(width, height);
    QString error;
    QImage rendered;
    if (unitsPerInch_ > 0) {
        rendered = RenderWindowsMetafile(
            data_, static_cast<double>(width) * unitsPerInch_ / bounds_.width(),
            static_cast<double>(height) * unitsPerInch_ / bounds_.height(), error);
    } else {
        const int dpi = ScreenPixelsPerInch();
        rendered = RenderWindowsMetafile(data_, dpi, dpi, error);
    }
    if (rendered.isNull()) {
        throw EInvalidGraphic(InvalidMetafile + QStringLiteral(" : ") + error);
    }
    if (rendered.size() != QSize(width, height)) {
        rendered = rendered.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    cache_ = rendered;
    return rendered;
}

void TMetafile::DrawInto(QPainter& painter, const QRect& rect) {
    const QRect target = rect.normalized();
    const QImage image = Render(target.width(), target.height());
    if (!image.isNull()) {
        painter.drawImage(target.topLeft(), image);
    }
}

void TMetafile::AssignFrom(const TGraphic& source) {
    if (const auto* metafile = dynamic_cast<const TMetafile*>(&source)) {
        data_ = metafile->data_;
        bounds_ = metafile->bounds_;
        unitsPerInch_ = metafile->unitsPerInch_;
        width_ = metafile->width_;
        height_ = metafile->height_;
        cache_ = metafile->cache_;
        NotifyChanged();
        return;
    }
    TGraphic::AssignFrom(source);
}

} // namespace pelisto
