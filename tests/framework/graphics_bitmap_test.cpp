#include "framework/graphics/bitmap.h"
#include "framework/graphics/icon.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>

using namespace pelisto;

namespace {

bool AllPixels(const QImage& image, QRgb color) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) | 0xFF000000u) != (color | 0xFF000000u)) {
                return false;
            }
        }
    }
    return true;
}

// A 4-bit BMP written byte by byte: Qt only writes 1-, 8-, 24- and 32-bit ones.
QByteArray FourBitBmp(int width, int height, const TPalette& palette,
                      const std::function<int(int, int)>& indexAt) {
    const int rowBytes = ((width * 4 + 31) / 32) * 4;
    const int offset = 14 + 40 + 16 * 4;
    QByteArray bytes(offset + rowBytes * height, '\0');
    auto* d = reinterpret_cast<uchar*>(bytes.data());
    d[0] = 'B';
    d[1] = 'M';
    qToLittleEndian<quint32>(static_cast<quint32>(bytes.size()), d + 2);
    qToLittleEndian<quint32>(offset, d + 10);
    qToLittleEndian<quint32>(40, d + 14);
    qToLittleEndian<qint32>(width, d + 18);
    qToLittleEndian<qint32>(height, d + 22);
    qToLittleEndian<quint16>(1, d + 26);
    qToLittleEndian<quint16>(4, d + 28);
    qToLittleEndian<quint32>(16, d + 46);
    for (int i = 0; i < 16; ++i) {
        uchar* entry = d + 54 + 4 * i;
        entry[0] = static_cast<uchar>(qBlue(palette[i]));
        entry[1] = static_cast<uchar>(qGreen(palette[i]));
        entry[2] = static_cast<uchar>(qRed(palette[i]));
    }
    for (int y = 0; y < height; ++y) {
        uchar* row = d + offset + (height - 1 - y) * rowBytes; // bottom-up
        for (int x = 0; x < width; ++x) {
            const int index = indexAt(x, y);
            row[x / 2] |= static_cast<uchar>(x % 2 == 0 ? index << 4 : index);
        }
    }
    return bytes;
}

TEST(Bitmap, NewBitmapIsWhiteInEveryFormat) {
    for (TPixelFormat format :
         {pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(format);
        // Width first, then height, as conversion sizes its bitmap.
        bitmap.SetWidth(13);
        EXPECT_TRUE(bitmap.IsEmpty());
        bitmap.SetHeight(7);
        ASSERT_EQ(bitmap.Width(), 13);
        ASSERT_EQ(bitmap.Height(), 7);
        EXPECT_EQ(bitmap.PixelFormat(), format);
        EXPECT_TRUE(AllPixels(bitmap.Image(), qRgb(255, 255, 255))) << "format " << format;
    }
}

TEST(Bitmap, GrowingKeepsPixelsAndAddsWhite) {
    TBitmap bitmap(4, 4, pf24bit);
    const TBitmap before(bitmap); // must not see later changes
    {
        TCanvas canvas(bitmap);
        canvas.FillRect(QRect(0, 0, 4, 4), Qt::red);
    }
    bitmap.SetSize(8, 6);
    EXPECT_EQ(bitmap.Image().pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.Image().pixel(4, 3), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.Image().pixel(3, 4), qRgb(255, 255, 255));
    EXPECT_TRUE(AllPixels(before.Image(), qRgb(255, 255, 255)));
    bitmap.SetSize(2, 2);
    EXPECT_EQ(bitmap.Image().pixel(1, 1), qRgb(255, 0, 0));
    bitmap.SetWidth(0);
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
}

TEST(Bitmap, TwentyFourBitRowsAreBlueFirst) {
    TBitmap bitmap(3, 2, pf24bit);
    {
        TCanvas canvas(bitmap);
        canvas.FillRect(QRect(0, 0, 1, 1), QColor(10, 20, 30));
    }
    const uchar* row = bitmap.ScanLine(0);
    EXPECT_EQ(row[0], 30);
    EXPECT_EQ(row[1], 20);
    EXPECT_EQ(row[2], 10);
}

TEST(Bitmap, IndexedFormatsKeepFormatAndPalette) {
    TBitmap bitmap(10, 10, pf32bit);
    {
        TCanvas canvas(bitmap);
        canvas.FillRect(QRect(0, 0, 5, 10), QColor(0, 0, 255));
        canvas.FillRect(QRect(5, 0, 5, 10), QColor(255, 255, 0));
    }
    TBitmap eight(bitmap);
    eight.SetPixelFormat(pf8bit);
    EXPECT_EQ(eight.Image().format(), QImage::Format_Indexed8);
    // Few colours: the conversion is exact.
    EXPECT_EQ(eight.Image().pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(eight.Image().pixel(8, 1), qRgb(255, 255, 0));
    EXPECT_EQ(bitmap.PixelFormat(), pf32bit);

    TBitmap four(bitmap);
    four.SetPixelFormat(pf4bit);
    EXPECT_EQ(four.PixelFormat(), pf4bit);
    EXPECT_LE(four.Palette().size(), 16);
    EXPECT_EQ(four.Image().pixel(1, 1), qRgb(0, 0, 255)); // both are VGA colours
    four.SetSize(12, 12);
    EXPECT_EQ(four.PixelFormat(), pf4bit);
    EXPECT_LE(four.Palette().size(), 16);
    EXPECT_EQ(four.Image().pixel(11, 11), qRgb(255, 255, 255));

    // A palette set on an indexed bitmap recolours, keeping indices.
    TPalette palette = four.Palette();
    const int blueIndex = four.Image().pixelIndex(1, 1);
    palette[blueIndex] = qRgb(1, 2, 3);
    four.SetPalette(palette);
    EXPECT_EQ(four.Image().pixelIndex(1, 1), blueIndex);
    EXPECT_EQ(four.Image().pixel(1, 1), qRgb(1, 2, 3));

    TBitmap mono(bitmap);
    mono.SetPixelFormat(pf1bit);
    EXPECT_EQ(mono.Palette().size(), 2);
    EXPECT_EQ(mono.Image().depth(), 1);
}

TEST(Bitmap, CanvasOnIndexedBitmapStaysOnItsPalette) {
    TBitmap bitmap(8, 8, pf4bit);
    {
        TCanvas canvas(bitmap);
        canvas.FillRect(QRect(0, 0, 4, 8), QColor(250, 2, 3)); // nearest VGA colour: red
    }
    EXPECT_EQ(bitmap.PixelFormat(), pf4bit);
    EXPECT_EQ(bitmap.Palette(), Vga16Palette());
    EXPECT_EQ(bitmap.Image().pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.Image().pixel(6, 1), qRgb(255, 255, 255));
}

TEST(Bitmap, BmpFilesKeepBitDepthAndPalette) {
    TPalette palette;
    for (int i = 0; i < 16; ++i) {
        palette.append(qRgb(i * 16, 255 - i * 16, (i * 37) % 256));
    }
    const QByteArray file =
        FourBitBmp(5, 3, palette, [](int x, int y) { return (x + y * 5) % 16; });
    QTemporaryDir dir;
    const QString path = dir.filePath("four.bmp");
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(file);
    }
    TBitmap four;
    four.LoadFromFile(path);
    EXPECT_EQ(four.PixelFormat(), pf4bit);
    ASSERT_EQ(four.Width(), 5);
    ASSERT_EQ(four.Height(), 3);
    EXPECT_EQ(four.Image().pixel(0, 0), palette[0]);
    EXPECT_EQ(four.Image().pixel(4, 2), palette[14]); // top-down after the bottom-up file
    EXPECT_EQ(four.Palette().mid(0, 16), palette);

    for (TPixelFormat format : {pf1bit, pf8bit, pf24bit}) {
        TBitmap bitmap(6, 4, format);
        {
            TCanvas canvas(bitmap);
            canvas.FillRect(QRect(0, 0, 3, 4), Qt::black);
        }
        const QString name = dir.filePath(QStringLiteral("f%1.bmp").arg(format));
        bitmap.SaveToFile(name);
        TBitmap back;
        back.LoadFromFile(name);
        EXPECT_EQ(back.PixelFormat(), format);
        EXPECT_EQ(back.Image().pixel(1, 1), qRgb(0, 0, 0));
        EXPECT_EQ(back.Image().pixel(4, 1), qRgb(255, 255, 255));
    }
}

TEST(Bitmap, BadInputGivesClearErrors) {
    QTemporaryDir dir;
    TBitmap bitmap;
    EXPECT_THROW(bitmap.LoadFromFile(dir.filePath("missing.bmp")), EFOpenError);
    EXPECT_THROW(bitmap.LoadFromFile(dir.path()), EFOpenError);
    const QString bad = dir.filePath("bad.bmp");
    {
        QFile out(bad);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("BM this is not a bitmap at all, just words");
    }
    try {
        bitmap.LoadFromFile(bad);
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Image bitmap non valide"));
    }
}

TEST(Bitmap, CopiesAreIndependentAndForeignAssignIsRefused) {
    TBitmap a(4, 4, pf24bit);
    TBitmap b;
    b.Assign(a);
    {
        TCanvas canvas(b);
        canvas.FillRect(QRect(0, 0, 4, 4), Qt::green);
    }
    EXPECT_EQ(a.Image().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(b.Image().pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(b.PixelFormat(), pf24bit);

    TIcon icon;
    try {
        a.Assign(icon);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Impossible d'affecter TIcon à TBitmap"));
    }
}

} // namespace
