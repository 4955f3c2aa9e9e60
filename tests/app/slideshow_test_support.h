#pragma once

// Helpers shared by the conversion, round-trip and command-line tests: fixture paths, file
// copies and a JPEG decoder that is not ours (Qt's own reader).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <cmath>
#include <gtest/gtest.h>

namespace pelisto::testing {

inline QString Fixture(const QString& relative) {
    return QStringLiteral(PELISTO_FIXTURES "/") + relative;
}

inline QString Picture(const QString& name) {
    return Fixture(QStringLiteral("pictures/") + name);
}

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return f.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Copies a fixture under a new name (and folder, made when missing); returns the new path.
inline QString CopyAs(const QString& source, const QString& target) {
    WriteAll(target, ReadAll(source));
    return target;
}

// Decodes JPEG bytes with Qt's reader; a null image when they are not a complete JPEG.
inline QImage DecodeJpeg(const QByteArray& bytes) {
    if (!bytes.startsWith("\xFF\xD8") || !bytes.endsWith("\xFF\xD9")) {
        return {};
    }
    QImage image;
    image.loadFromData(bytes, "JPEG");
    return image.convertToFormat(QImage::Format_RGB32);
}

inline QImage DecodeJpegFile(const QString& path) {
    return DecodeJpeg(ReadAll(path));
}

// Mean absolute difference per channel between two pictures of the same size.
inline double MeanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size()) {
        return 255;
    }
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            sum += std::abs(qRed(p[col]) - qRed(q[col])) +
                   std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

inline bool Near(QRgb pixel, int r, int g, int b, int tolerance = 40) {
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

} // namespace pelisto::testing
