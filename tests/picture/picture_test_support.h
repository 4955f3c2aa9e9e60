#pragma once

#include "framework/graphics/bitmap.h"
#include "picture/multi_picture.h"

#include <QDir>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pelisto::testing {

inline QString Fixture(const QString& name) {
    return QStringLiteral(PELISTO_FIXTURES "/pictures/") + name;
}

// Pillow's decoding of a fixture, written by the fixture script.
inline QImage Reference(const QString& name) {
    return QImage(Fixture(QStringLiteral("ref/") + name + QStringLiteral(".png")))
        .convertToFormat(QImage::Format_RGB32);
}

inline QImage Shown(const TMultiPicture& picture) {
    TBitmap* bitmap = picture.HeldBitmap();
    if (bitmap == nullptr || bitmap->IsEmpty()) {
        return {};
    }
    return bitmap->Image().convertToFormat(QImage::Format_RGB32);
}

// Largest difference of one colour channel between two pictures of the same size; -1 when the
// sizes differ.
inline int MaxDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) {
        return -1;
    }
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

// Mean absolute channel difference.
inline double MeanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) {
        return 1e9;
    }
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace pelisto::testing
