#include "picture/jpeg_image.h"

#include "framework/graphics/icon.h"
#include "framework/graphics/picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

using namespace pelisto;

namespace {

// Four flat quadrants: red, green / blue, white. Wrong byte order or row order shows at once.
TBitmap Quadrants(int width, int height, TPixelFormat format = pf24bit) {
    TBitmap bitmap(width, height, format);
    TCanvas canvas(bitmap);
    const int w = width / 2;
    const int h = height / 2;
    canvas.FillRect(QRect(0, 0, w, h), QColor(255, 0, 0));
    canvas.FillRect(QRect(w, 0, width - w, h), QColor(0, 255, 0));
    canvas.FillRect(QRect(0, h, w, height - h), QColor(0, 0, 255));
    canvas.FillRect(QRect(w, h, width - w, height - h), QColor(255, 255, 255));
    return bitmap;
}

bool Near(QRgb a, QRgb b, int tolerance = 24) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

QString SaveJpeg(const QTemporaryDir& dir, const QString& name, const TBitmap& bitmap,
                 int quality = 90, bool gray = false, bool progressive = false) {
    TJPEGImage jpeg;
    jpeg.SetQuality(static_cast<std::uint8_t>(quality));
    jpeg.SetGrayOutput(gray);
    jpeg.SetWriteProgressive(progressive);
    jpeg.AssignFrom(bitmap);
    const QString path = dir.filePath(name);
    jpeg.SaveFile(path);
    return path;
}

// Number of colour components in the frame header.
int Components(const QByteArray& jpeg) {
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = static_cast<uchar>(jpeg[i + 1]);
        if (static_cast<uchar>(jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            return static_cast<uchar>(jpeg[i + 9]);
        }
    }
    return -1;
}

TEST(JpegEncode, RoundTripsThroughAnIndependentDecoder) {
    QTemporaryDir dir;
    const QString path = SaveJpeg(dir, "q.jpg", Quadrants(64, 48));
    const QByteArray bytes = ReadAll(path);
    // Exactly one JPEG file: nothing before its start or after its end.
    ASSERT_GT(bytes.size(), 4);
    EXPECT_EQ(static_cast<uchar>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<uchar>(bytes[1]), 0xD8);
    EXPECT_EQ(static_cast<uchar>(bytes[bytes.size() - 2]), 0xFF);
    EXPECT_EQ(static_cast<uchar>(bytes[bytes.size() - 1]), 0xD9);

    QImage image;
    ASSERT_TRUE(image.loadFromData(bytes, "JPEG"));
    EXPECT_EQ(image.size(), QSize(64, 48));
    EXPECT_TRUE(Near(image.pixel(8, 8), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(56, 8), qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(image.pixel(8, 40), qRgb(0, 0, 255)));
    EXPECT_TRUE(Near(image.pixel(56, 40), qRgb(255, 255, 255)));
}

TEST(JpegEncode, EveryPixelFormatGivesAThreeComponentJpegAndTheSourceKeepsItsFormat) {
    QTemporaryDir dir;
    for (TPixelFormat format : {pfDevice, pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit}) {
        const TBitmap source = Quadrants(32, 32, format);
        const QImage before = source.Image();
        const QString path = SaveJpeg(dir, QStringLiteral("f%1.jpg").arg(format), source);
        EXPECT_EQ(source.PixelFormat(), format);
        EXPECT_EQ(source.Image(), before);
        const QByteArray bytes = ReadAll(path);
        EXPECT_EQ(Components(bytes), 3) << "format " << format;
        QImage image;
        ASSERT_TRUE(image.loadFromData(bytes, "JPEG"));
        EXPECT_TRUE(Near(image.pixel(4, 28), source.Image().pixel(4, 28), 40)) << format;
    }
}

TEST(JpegEncode, SizesAtTheEdges) {
    QTemporaryDir dir;
    // Nothing to encode: an empty file and no error.
    for (const QSize size : {QSize(0, 5), QSize(5, 0), QSize(0, 0)}) {
        TBitmap empty(size.width(), size.height(), pf24bit);
        const QString path = SaveJpeg(dir, "empty.jpg", empty);
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_EQ(QFileInfo(path).size(), 0);
    }
    TBitmap dot(1, 1, pf24bit);
    QImage image;
    ASSERT_TRUE(image.loadFromData(ReadAll(SaveJpeg(dir, "dot.jpg", dot)), "JPEG"));
    EXPECT_EQ(image.size(), QSize(1, 1));
    EXPECT_TRUE(Near(image.pixel(0, 0), qRgb(255, 255, 255), 4));
}

TEST(JpegEncode, QualityOneIsSmallerThanHundredAndBothDecode) {
    QTemporaryDir dir;
    TBitmap bitmap(96, 96, pf24bit);
    {
        TCanvas canvas(bitmap);
        for (int i = 0; i < 96; i += 6) {
            canvas.FillRect(QRect(i, 0, 3, 96), QColor(i * 2, 255 - i * 2, (i * 7) % 256));
        }
    }
    const QByteArray low = ReadAll(SaveJpeg(dir, "low.jpg", bitmap, 1));
    const QByteArray high = ReadAll(SaveJpeg(dir, "high.jpg", bitmap, 100));
    EXPECT_LT(low.size(), high.size());
    QImage image;
    EXPECT_TRUE(image.loadFromData(low, "JPEG"));
    EXPECT_TRUE(image.loadFromData(high, "JPEG"));
    // Baseline tables: 8-bit quantiser values (table precision 0 in every DQT segment).
    for (const QByteArray& bytes : {low, high}) {
        const qsizetype dqt = bytes.indexOf(QByteArray("\xFF\xDB", 2));
        ASSERT_GE(dqt, 0);
        EXPECT_EQ(static_cast<uchar>(bytes[dqt + 4]) >> 4, 0);
    }
}

TEST(JpegGray, GrayOutputWritesOneComponentAndDecodesToAGrayPalette) {
    QTemporaryDir dir;
    const QString path = SaveJpeg(dir, "gray.jpg", Quadrants(40, 40), 95, true);
    const QByteArray bytes = ReadAll(path);
    EXPECT_EQ(Components(bytes), 1);
    QImage independent;
    ASSERT_TRUE(independent.loadFromData(bytes, "JPEG"));
    EXPECT_TRUE(independent.isGrayscale());

    TJPEGImage jpeg;
    jpeg.LoadFile(path);
    EXPECT_TRUE(jpeg.Grayscale());
    const TBitmap& bitmap = jpeg.DecodeBitmap();
    EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
    // The decoded gray levels are those an independent decoder finds.
    for (const QPoint p : {QPoint(5, 5), QPoint(35, 5), QPoint(5, 35), QPoint(35, 35)}) {
        EXPECT_TRUE(Near(bitmap.Image().pixel(p), independent.pixel(p), 3))
            << p.x() << "," << p.y();
    }
    EXPECT_LT(qGray(bitmap.Image().pixel(5, 35)), qGray(bitmap.Image().pixel(35, 35)));
}

TEST(JpegDecode, SizeComesFromTheHeaderAndAPictureDecodesOnce) {
    QTemporaryDir dir;
    const QString path = SaveJpeg(dir, "q.jpg", Quadrants(50, 30));
    TJPEGImage jpeg;
    int starts = 0;
    jpeg.OnProgress = [&](TGraphic&, TProgressStage stage, int, bool, const QRect&,
                          const QString&) { starts += stage == psStarting ? 1 : 0; };
    jpeg.LoadFile(path);
    EXPECT_EQ(jpeg.Width(), 50);
    EXPECT_EQ(jpeg.Height(), 30);
    EXPECT_EQ(jpeg.Bitmap(), nullptr); // measuring did not decode
    EXPECT_FALSE(jpeg.IsEmpty());
    EXPECT_FALSE(jpeg.WriteProgressive());

    QImage canvas(100, 60, QImage::Format_RGB32);
    {
        QPainter painter(&canvas);
        jpeg.Draw(painter, QRect(0, 0, 100, 60)); // stretched
        jpeg.Draw(painter, QRect(0, 0, 100, 60));
    }
    EXPECT_EQ(starts, 1);
    ASSERT_NE(jpeg.Bitmap(), nullptr);
    EXPECT_EQ(jpeg.Bitmap()->PixelFormat(), pf24bit);
    EXPECT_EQ(jpeg.Width(), 50);
    EXPECT_TRUE(Near(canvas.pixel(90, 50), qRgb(255, 255, 255)));
    EXPECT_TRUE(Near(canvas.pixel(10, 50), qRgb(0, 0, 255)));

    // Saving a loaded picture writes its bytes unchanged, without encoding again.
    const QString copy = dir.filePath("copy.jpg");
    jpeg.SaveFile(copy);
    EXPECT_EQ(ReadAll(copy), ReadAll(path));
}

TEST(JpegDecode, ProgressiveFilesScalingAndPaletteOutput) {
    QTemporaryDir dir;
    const QString path = SaveJpeg(dir, "p.jpg", Quadrants(64, 64), 90, false, true);
    TJPEGImage jpeg;
    jpeg.LoadFile(path);
    EXPECT_TRUE(jpeg.WriteProgressive());

    TJPEGImage shown;
    shown.SetShowProgressively(true);
    shown.LoadFile(path);
    const TBitmap& full = shown.DecodeBitmap();
    EXPECT_EQ(full.Width(), 64);
    EXPECT_TRUE(Near(full.Image().pixel(48, 16), qRgb(0, 255, 0)));

    TJPEGImage half;
    half.SetScaleShift(1);
    half.LoadFile(path);
    EXPECT_EQ(half.Width(), 64); // header size until decoded
    EXPECT_EQ(half.DecodeBitmap().Width(), 32);
    EXPECT_EQ(half.Height(), 32);

    for (bool progressively : {false, true}) {
        TJPEGImage paletted;
        paletted.SetPaletteOutput(true);
        paletted.SetShowProgressively(progressively);
        paletted.LoadFile(path);
        const TBitmap& bitmap = paletted.DecodeBitmap();
        EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
        EXPECT_GT(bitmap.Palette().size(), 0);
        EXPECT_LE(bitmap.Palette().size(), 236);
        EXPECT_TRUE(paletted.PaletteModified());
        EXPECT_TRUE(Near(bitmap.Image().pixel(16, 48), qRgb(0, 0, 255), 40));
    }
}

TEST(JpegErrors, DamagedFilesGiveTheLibraryErrorAndNeverCrash) {
    QTemporaryDir dir;
    const QByteArray good = ReadAll(SaveJpeg(dir, "good.jpg", Quadrants(64, 64)));
    const QString expectedNoSoi = QStringLiteral("Erreur JPEG #%1").arg(JERR_NO_SOI);

    TJPEGImage jpeg;
    try {
        jpeg.LoadFile(Write(dir, "garbage.jpg", QByteArray(500, 'z')));
        FAIL() << "no error";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.message(), expectedNoSoi);
    }
    // Damaged inside the header.
    EXPECT_THROW(jpeg.LoadFile(Write(dir, "head.jpg", good.left(40))), EJPEG);

    // Empty: loads as 0 x 0, the first decode fails.
    jpeg.LoadFile(Write(dir, "empty.jpg", {}));
    EXPECT_EQ(jpeg.Width(), 0);
    EXPECT_TRUE(jpeg.IsEmpty());
    try {
        jpeg.DecodeBitmap();
        FAIL() << "no error";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Erreur JPEG #%1").arg(JERR_INPUT_EMPTY));
    }

    // Cut short: decoded as far as it goes, no error; the top is still there.
    const qsizetype scan = good.indexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(scan, 0);
    jpeg.LoadFile(Write(dir, "cut.jpg", good.left(scan + (good.size() - scan) / 2)));
    const TBitmap& cut = jpeg.DecodeBitmap();
    EXPECT_EQ(cut.Width(), 64);
    EXPECT_EQ(cut.Height(), 64);
    EXPECT_TRUE(Near(cut.Image().pixel(8, 8), qRgb(255, 0, 0)));

    // Corrupt scan data after a good header: an error or a picture, never a crash; a picture
    // that failed part way is kept and drawn again without decoding.
    QByteArray noisy = good;
    for (qsizetype i = scan + (noisy.size() - scan) / 3; i < noisy.size() - 2; i += 7) {
        noisy[i] = static_cast<char>(0xFF);
    }
    jpeg.LoadFile(Write(dir, "noisy.jpg", noisy));
    try {
        jpeg.DecodeBitmap();
    } catch (const EJPEG&) {
    }
    ASSERT_NE(jpeg.Bitmap(), nullptr);
    const TBitmap* kept = jpeg.Bitmap();
    EXPECT_NO_THROW(jpeg.DecodeBitmap());
    EXPECT_EQ(jpeg.Bitmap(), kept);

    // A header that claims far more picture than the file can hold fails before the picture
    // is allocated.
    TJPEGImage claim;
    claim.LoadFile(QStringLiteral(PELISTO_FIXTURES "/pictures/bombs/claim.jpg"));
    try {
        claim.DecodeBitmap();
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.message().contains("too few for a 16000 x 15000 picture"))
            << e.message().toStdString();
    }
}

TEST(JpegErrors, SizeCannotBeChanged) {
    TJPEGImage jpeg;
    jpeg.AssignFrom(Quadrants(8, 8));
    for (const auto& resize : {std::function<void()>([&] { jpeg.SetWidth(4); }),
                               std::function<void()>([&] { jpeg.SetHeight(4); })}) {
        try {
            resize();
            FAIL() << "no error";
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("Impossible de modifier la taille d'une image JPEG"));
        }
    }
    EXPECT_EQ(jpeg.Width(), 8);
}

TEST(JpegAssign, BitmapsAreCopiedAndJpegDataIsShared) {
    TBitmap source = Quadrants(16, 16);
    TJPEGImage a;
    a.AssignFrom(source);
    {
        TCanvas canvas(source);
        canvas.FillRect(QRect(0, 0, 16, 16), Qt::black);
    }
    TBitmap decoded;
    a.CopyTo(decoded);
    EXPECT_EQ(decoded.Image().pixel(2, 2), qRgb(255, 0, 0)); // the copy, not the caller's

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    a.WriteTo(buffer);
    TJPEGImage b;
    b.AssignFrom(a);
    EXPECT_TRUE(b.SameAs(a));
    EXPECT_EQ(b.Width(), 16);
    TJPEGImage c;
    EXPECT_FALSE(c.SameAs(a));

    TIcon icon;
    try {
        c.AssignFrom(icon);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Impossible d'affecter TIcon à TJPEGImage"));
    }
    EXPECT_THROW(a.CopyTo(icon), EConvertError);

    // Stored form: byte count, then the bytes.
    QByteArray stored;
    QBuffer out(&stored);
    out.open(QIODevice::WriteOnly);
    a.WriteStored(out);
    EXPECT_EQ(stored.size(), bytes.size() + 4);
    QBuffer in(&stored);
    in.open(QIODevice::ReadOnly);
    TJPEGImage d;
    d.ReadStored(in);
    EXPECT_EQ(d.Width(), 16);
    EXPECT_EQ(d.JPEGData().Data, bytes);
}

TEST(JpegRegistration, PictureHolderLoadsJpegFilesByExtension) {
    RegisterJPEGGraphic();
    RegisterJPEGGraphic(); // a second call changes nothing
    QTemporaryDir dir;
    const QString jpg = SaveJpeg(dir, "a.JPG", Quadrants(20, 10));
    QFile::copy(jpg, dir.filePath("b.jpeg"));
    EXPECT_EQ(TPicture::FileFormatDescription("jpg"), QStringLiteral("Fichier image JPEG"));
    EXPECT_EQ(TPicture::FileFormatDescription("JPEG"), QStringLiteral("Fichier image JPEG"));

    TPicture picture;
    picture.LoadFromFile(jpg);
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TJPEGImage"));
    EXPECT_EQ(picture.Width(), 20);
    picture.LoadFromFile(dir.filePath("b.jpeg"));
    EXPECT_EQ(picture.Height(), 10);

    // Not a JPEG: the error at load time, and the holder keeps its picture.
    const TGraphic* held = picture.Graphic();
    try {
        picture.LoadFromFile(Write(dir, "fake.jpg", "GIF89a and so on"));
        FAIL() << "no error";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Erreur JPEG #%1").arg(JERR_NO_SOI));
    }
    EXPECT_EQ(picture.Graphic(), held);

    UnregisterJPEGGraphic();
    EXPECT_THROW(picture.LoadFromFile(jpg), EInvalidGraphic);
    EXPECT_TRUE(TPicture::FileFormatDescription("jpg").isEmpty());
    RegisterJPEGGraphic(); // leave it as the tool has it
}

TEST(JpegPalette, GivenPaletteMapsTheDecodeAndPaletteScreensGetHalftone) {
    QTemporaryDir dir;
    const QString path = SaveJpeg(dir, "q.jpg", Quadrants(32, 32));
    const TPalette four = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};

    TJPEGImage jpeg;
    jpeg.SetPaletteOutput(true);
    jpeg.LoadFile(path);
    jpeg.DecodeBitmap();
    int changes = 0;
    jpeg.OnChange = [&](TGraphic&) { ++changes; };
    jpeg.SetPalette(four); // differs from the decoded one: decode again onto it
    EXPECT_EQ(jpeg.Bitmap(), nullptr);
    EXPECT_EQ(changes, 1);
    jpeg.SetPalette(four); // the same palette again changes nothing
    EXPECT_EQ(changes, 1);
    const TBitmap& mapped = jpeg.DecodeBitmap();
    EXPECT_EQ(mapped.Palette(), four);
    EXPECT_EQ(mapped.Image().pixel(4, 4), qRgb(255, 0, 0));
    EXPECT_EQ(mapped.Image().pixel(28, 4), qRgb(0, 255, 0));
    EXPECT_EQ(mapped.Image().pixel(4, 28), qRgb(0, 0, 255));
    EXPECT_EQ(mapped.Image().pixel(28, 28), qRgb(255, 255, 255));

    // A bitmap handed in for encoding is the only copy of the picture: it stays.
    TJPEGImage encoder;
    encoder.AssignFrom(Quadrants(8, 8));
    encoder.SetPalette(four);
    ASSERT_NE(encoder.Bitmap(), nullptr);
    EXPECT_EQ(encoder.Width(), 8);

    // Palette screens: no palette output asked for, so draw with the screen's halftone set.
    SetScreenColorDepthSource([] { return 8; });
    TJPEGImage loaded;
    loaded.SetPaletteOutput(false);
    loaded.LoadFile(path);
    EXPECT_EQ(loaded.Palette(), HalftonePalette());
    EXPECT_EQ(loaded.Bitmap(), nullptr);
    UnregisterJPEGGraphic();
    RegisterJPEGGraphic();
    EXPECT_TRUE(JPEGDefaults().PaletteOutput);
    SetScreenColorDepthSource({});
    UnregisterJPEGGraphic();
    RegisterJPEGGraphic();
    EXPECT_FALSE(JPEGDefaults().PaletteOutput);
    TJPEGImage deep;
    deep.LoadFile(path);
    EXPECT_TRUE(deep.Palette().isEmpty());
}

} // namespace
