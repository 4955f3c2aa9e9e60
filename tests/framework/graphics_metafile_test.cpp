#include "framework/graphics/bitmap.h"
#include "framework/graphics/metafile.h"
#include "framework/graphics/picture.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pelisto;

namespace {

const QString Shapes = QStringLiteral(PELISTO_FIXTURES "/wmf/shapes.wmf");
const QString OffsetOrigin = QStringLiteral(PELISTO_FIXTURES "/wmf/offset_origin.wmf");

bool Near(QRgb a, QRgb b, int tolerance = 40) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Text is black; the shapes are pure colours.
int DarkPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            count += qRed(c) < 96 && qGreen(c) < 96 && qBlue(c) < 96 ? 1 : 0;
        }
    }
    return count;
}

struct ScreenDpi {
    explicit ScreenDpi(int dpi) {
        SetScreenPixelsPerInchSource([dpi] { return dpi; });
    }
    ~ScreenDpi() { SetScreenPixelsPerInchSource({}); }
};

TEST(Metafile, PixelSizeComesFromPlaceableHeaderAndScreenResolution) {
    TMetafile shapes;
    shapes.LoadFromFile(Shapes);
    EXPECT_EQ(shapes.Width(), 300);
    EXPECT_EQ(shapes.Height(), 200);
    EXPECT_EQ(shapes.UnitsPerInch(), 1440);

    TMetafile offset;
    offset.LoadFromFile(OffsetOrigin);
    EXPECT_EQ(offset.Width(), 160);
    EXPECT_EQ(offset.Height(), 120);

    ScreenDpi dpi(120);
    TMetafile large;
    large.LoadFromFile(Shapes);
    EXPECT_EQ(large.Width(), 375);
    EXPECT_EQ(large.Height(), 250);
}

// What conversion does: a new white bitmap of the metafile's size with it drawn at (0, 0).
TEST(Metafile, RendersFilledShapesAndTextOnAWhiteBitmap) {
    TPicture picture;
    picture.LoadFromFile(Shapes);
    TBitmap bitmap;
    bitmap.SetWidth(picture.Width());
    bitmap.SetHeight(picture.Height());
    {
        TCanvas canvas(bitmap);
        canvas.Draw(0, 0, *picture.Graphic());
    }
    const QImage& image = bitmap.Image();
    ASSERT_EQ(image.size(), QSize(300, 200));
    EXPECT_TRUE(Near(image.pixel(60, 50), qRgb(255, 0, 0)));      // rectangle
    EXPECT_TRUE(Near(image.pixel(215, 60), qRgb(0, 0, 255)));     // ellipse centre: filled
    EXPECT_TRUE(Near(image.pixel(160, 60), qRgb(0, 0, 255)));     // ... near its left end
    EXPECT_TRUE(Near(image.pixel(153, 23), qRgb(255, 255, 255))); // outside its curve
    EXPECT_TRUE(Near(image.pixel(70, 170), qRgb(0, 160, 0)));     // triangle
    EXPECT_TRUE(Near(image.pixel(25, 115), qRgb(255, 255, 255))); // beside its apex
    EXPECT_TRUE(Near(image.pixel(5, 5), qRgb(255, 255, 255)));    // unpainted stays white
    EXPECT_TRUE(Near(image.pixel(295, 195), qRgb(255, 255, 255)));
    // The text lies right of the triangle and below the ellipse, not elsewhere.
    EXPECT_GT(DarkPixels(image, QRect(155, 125, 140, 70)), 150);
    EXPECT_EQ(DarkPixels(image, QRect(0, 0, 300, 110)), 0);
}

TEST(Metafile, UnpaintedPartsStayTransparentAndStretchFollowsTheRectangle) {
    TMetafile metafile;
    metafile.LoadFromFile(OffsetOrigin);
    QImage target(320, 240, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    {
        QPainter painter(&target);
        metafile.Draw(painter, QRect(0, 0, 320, 240));
    }
    EXPECT_TRUE(Near(target.pixel(100, 120), qRgb(255, 255, 0)));
    EXPECT_EQ(qAlpha(target.pixel(100, 120)), 255);
    EXPECT_EQ(qAlpha(target.pixel(250, 120)), 0); // right half: nothing painted
}

TEST(Metafile, BadFilesRaiseInvalidGraphic) {
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    TMetafile metafile;
    try {
        metafile.LoadFromFile(write("garbage.wmf", QByteArray(200, 'x')));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Métafichier non valide"));
    }
    QFile original(Shapes);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray good = original.readAll();
    EXPECT_THROW(metafile.LoadFromFile(write("cut.wmf", good.left(30))), EInvalidGraphic);
    EXPECT_THROW(metafile.LoadFromFile(write("empty.wmf", {})), EInvalidGraphic);

    QByteArray emf(88, '\0');
    emf[0] = 1;
    emf[40] = ' ';
    emf[41] = 'E';
    emf[42] = 'M';
    emf[43] = 'F';
    EXPECT_THROW(metafile.LoadFromFile(write("enhanced.emf", emf)), EInvalidGraphic);
    EXPECT_TRUE(metafile.IsEmpty());

    // A good file still loads, and saving writes its bytes back unchanged.
    metafile.LoadFromFile(Shapes);
    const QString copy = dir.filePath("copy.wmf");
    metafile.SaveToFile(copy);
    QFile saved(copy);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), good);
}

TEST(Metafile, WithoutPlaceableHeaderItStillRenders) {
    QFile original(Shapes);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bare = original.readAll().mid(22);
    QBuffer buffer(&bare);
    buffer.open(QIODevice::ReadOnly);
    TMetafile metafile;
    metafile.ReadFrom(buffer);
    EXPECT_FALSE(metafile.IsEmpty());
    EXPECT_GT(metafile.Width(), 0);
    EXPECT_GT(metafile.Height(), 0);
    EXPECT_EQ(metafile.UnitsPerInch(), 0);
}

} // namespace
