#include "framework/graphics/icon.h"

#include "slideshow/picture_limit.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace pelisto {

namespace {

const QString InvalidIcon = QStringLiteral("Icône non valide");

// The size that the image of a directory entry claims in its own header (a PNG's, or a DIB's
// whose height counts the mask too), which may differ from the entry's; empty when unknown.
QSize ClaimedSize(const QByteArray& bytes, const uchar* entry) {
    const quint32 size = qFromLittleEndian<quint32>(entry + 8);
    const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
    if (offset >= static_cast<quint32>(bytes.size()) || bytes.size() - offset < 24 || size < 24) {
        return {};
    }
    const auto* image = reinterpret_cast<const uchar*>(bytes.constData()) + offset;
    if (std::memcmp(image, "\x89PNG", 4) == 0) {
        return QSize(
            static_cast<int>(std::min<quint32>(qFromBigEndian<quint32>(image + 16), INT_MAX)),
            static_cast<int>(std::min<quint32>(qFromBigEndian<quint32>(image + 20), INT_MAX)));
    }
    const qint32 width = qFromLittleEndian<qint32>(image + 4);
    const qint32 height = qFromLittleEndian<qint32>(image + 8);
    return QSize(std::abs(width), std::abs(height / 2));
}

} // namespace

void TIcon::SetWidth(int /*width*/) {
    throw EInvalidGraphicOperation(QStringLiteral("Impossible de modifier la taille d'une icône"));
}

void TIcon::SetHeight(int /*height*/) {
    throw EInvalidGraphicOperation(QStringLiteral("Impossible de modifier la taille d'une icône"));
}

void TIcon::ReadFrom(QIODevice& stream) {
    QByteArray bytes = stream.readAll();
    // Directory: reserved 0, type 1 (icon) or 2 (cursor), count, then 16 bytes per image.
    if (bytes.size() < 6) {
        throw EInvalidGraphic(InvalidIcon);
    }
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const int reserved = qFromLittleEndian<quint16>(data);
    const int type = qFromLittleEndian<quint16>(data + 2);
    const int count = qFromLittleEndian<quint16>(data + 4);
    if (reserved != 0 || (type != 1 && type != 2) || count == 0 || bytes.size() < 6 + 16 * count) {
        throw EInvalidGraphic(InvalidIcon);
    }
    // The largest image, then the deepest; the first of equals.
    int chosen = 0;
    long bestArea = -1;
    int bestBits = -1;
    for (int i = 0; i < count; ++i) {
        const uchar* entry = data + 6 + 16 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        const int height = entry[1] == 0 ? 256 : entry[1];
        const int bits = type == 1 ? qFromLittleEndian<quint16>(entry + 6) : 0;
        const long area = static_cast<long>(width) * height;
        if (area > bestArea || (area == bestArea && bits > bestBits)) {
            chosen = i;
            bestArea = area;
            bestBits = bits;
        }
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // An icon's image may be a PNG that claims any size: a claimed size over the limit fails
    // at once, before anything is decoded.
    const QSize claimed = ClaimedSize(bytes, data + 6 + 16 * chosen);
    if (PictureTooLarge(claimed.width(), claimed.height())) {
        throw EInvalidGraphic(QString::fromStdString(
            "Picture too large: " + PictureTooLargeText(claimed.width(), claimed.height())));
    }
    QImageReader reader(&buffer, "ico");
    reader.setAllocationLimit(static_cast<int>(MaxPicturePixels * 4 / (1024 * 1024)) + 1);
    QImage image;
    if (reader.jumpToImage(chosen)) {
        image = reader.read();
    }
    if (image.isNull()) {
        throw EInvalidGraphic(InvalidIcon);
    }
    data_ = bytes;
    image_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    imageCount_ = count;
    NotifyChanged();
}

void TIcon::WriteTo(QIODevice& stream) {
    if (!data_.isEmpty() && stream.write(data_) != data_.size()) {
        throw EWriteError();
    }
}

void TIcon::DrawInto(QPainter& painter, const QRect& rect) {
    if (!image_.isNull()) {
        painter.drawImage(rect, image_);
    }
}

void TIcon::AssignFrom(const TGraphic& source) {
    if (const auto* icon = dynamic_cast<const TIcon*>(&source)) {
        data_ = icon->data_;
        image_ = icon->image_;
        imageCount_ = icon->imageCount_;
        NotifyChanged();
        return;
    }
    TGraphic::AssignFrom(source);
}

} // namespace pelisto
