#include "framework/graphics/icon.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>

namespace pelisto {

namespace {

const QString InvalidIcon = QStringLiteral("Icône non valide");

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
    QImageReader reader(&buffer, "ico");
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
