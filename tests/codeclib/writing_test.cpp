// The writers: argument order, the depth asked for, and files that independent decoders read.

#include "codec_test_support.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

using namespace pelisto;
using namespace pelisto::codectest;

namespace {

// 13 x 7 (rows need padding at every depth) with 91 distinct colours, so every palette format
// can hold it exactly.
std::uint32_t Colourful(int x, int y) {
    return static_cast<std::uint32_t>(((x * 19) & 0xFF) << 16 | ((y * 37) & 0xFF) << 8 |
                                      ((x * y * 5) & 0xFF));
}

Dib Picture24() {
    return MakeDib(13, 7, 24, {}, Colourful);
}

enum class Writer { Bmp, Pcx, Gif, Png, Jpeg };

std::int16_t Write(Writer writer, const QString& file, int bits, void* dib, int quality = 90,
                   int smooth = 1, bool interlaced = false) {
    const QByteArray name = QFile::encodeName(file);
    const auto b = static_cast<std::int16_t>(bits);
    switch (writer) {
    case Writer::Bmp:
    case Writer::Pcx:
    case Writer::Gif: {
        const char* entry = writer == Writer::Bmp   ? "wrbmpfiledib"
                            : writer == Writer::Pcx ? "wrpcxfiledib"
                                                    : "wrgiffiledib";
        auto fn = MainEntry<wrfiledib_t>(entry);
        return fn ? fn(name.constData(), b, dib, nullptr, nullptr, 0) : -999;
    }
    case Writer::Png: {
        auto fn = MainEntry<wrpngfiledib_t>("wrpngfiledib");
        return fn ? fn(name.constData(), b, interlaced ? 1 : 0, dib, nullptr, nullptr, 0) : -999;
    }
    case Writer::Jpeg: {
        auto fn = MainEntry<wrjpgfiledib_t>("wrjpgfiledib");
        return fn ? fn(name.constData(), static_cast<std::int16_t>(quality),
                       static_cast<std::int16_t>(smooth), b, dib, nullptr, nullptr, 0)
                  : -999;
    }
    }
    return -999;
}

// PCX is read back through the library's own reader; Qt has no PCX decoder.
QImage ReadBack(Writer writer, const QString& file) {
    if (writer != Writer::Pcx) {
        return QImage(file);
    }
    auto fn = MainEntry<rdfiledib_t>("rdpcxfiledib");
    PLDib dib = nullptr;
    if (fn == nullptr ||
        fn(QFile::encodeName(file).constData(), 24, 0, &dib, nullptr, nullptr, nullptr, 0) <= 0) {
        return {};
    }
    Dib owned(dib);
    return DibImage(owned.get());
}

TEST(Writing, LosslessWritersKeepEveryPixelAtEveryInputDepth) {
    QTemporaryDir dir;
    const std::vector<QRgb> sixteen = {
        qRgb(0, 0, 0),     qRgb(255, 0, 0),     qRgb(0, 255, 0),   qRgb(0, 0, 255),
        qRgb(255, 255, 0), qRgb(0, 255, 255),   qRgb(255, 0, 255), qRgb(255, 255, 255),
        qRgb(9, 8, 7),     qRgb(100, 50, 25),   qRgb(1, 2, 3),     qRgb(200, 100, 0),
        qRgb(33, 66, 99),  qRgb(128, 128, 128), qRgb(7, 77, 177),  qRgb(250, 240, 230)};
    std::vector<QRgb> ramp;
    for (int i = 0; i < 256; ++i) {
        ramp.push_back(qRgb(i, 255 - i, (i * 7) & 0xFF));
    }
    struct Input {
        const char* what;
        Dib dib;
    };
    Input inputs[] = {
        {"24-bit", Picture24()},
        {"8-bit", MakeDib(13, 7, 8, ramp, [](int x, int y) { return (x * 7 + y * 31) & 0xFFu; })},
        {"4-bit", MakeDib(13, 7, 4, sixteen, [](int x, int y) { return (x + 3 * y) & 15u; })},
        {"1-bit", MakeDib(13, 7, 1, {qRgb(10, 20, 30), qRgb(240, 230, 220)},
                          [](int x, int y) { return (x ^ y) & 1u; })},
    };
    for (const Input& input : inputs) {
        const QImage expected = DibImage(input.dib.get());
        ASSERT_FALSE(expected.isNull());
        const bool indexed = ReadHeader(input.dib.get()).bits <= 8;
        for (Writer writer : {Writer::Bmp, Writer::Png, Writer::Pcx, Writer::Gif}) {
            // GIF holds at most 256 colours; the 91-colour 24-bit picture fits.
            const int bits = writer == Writer::Gif || indexed ? 8 : 24;
            const QString file = dir.filePath(QStringLiteral("out%1").arg(int(writer)));
            const std::int16_t status = Write(writer, file, bits, input.dib.get());
            ASSERT_GT(status, 0) << input.what << " writer " << int(writer) << ": "
                                 << StatusText(status);
            EXPECT_EQ(MaxDifference(ReadBack(writer, file), expected), 0)
                << input.what << " writer " << int(writer);
        }
    }
}

TEST(Writing, BmpAndPngFilesHaveTheDepthAsked) {
    QTemporaryDir dir;
    Dib dib = Picture24();
    const QString bmp = dir.filePath("depth.bmp");
    for (int bits : {1, 4, 8, 24}) {
        ASSERT_GT(Write(Writer::Bmp, bmp, bits, dib.get()), 0) << bits;
        QFile file(bmp);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GT(bytes.size(), 54);
        EXPECT_EQ(U16(bytes.constData(), 28), bits) << "BMP asked for " << bits;
        const QImage image(bmp);
        ASSERT_FALSE(image.isNull());
        if (bits <= 8) {
            EXPECT_LE(image.colorCount(), 1 << bits);
        } else {
            EXPECT_EQ(MaxDifference(image, DibImage(dib.get())), 0);
        }
    }
    // 0 asks for the 16-colour picture.
    ASSERT_GT(Write(Writer::Bmp, bmp, 0, dib.get()), 0);
    EXPECT_LE(QImage(bmp).colorCount(), 16);
    EXPECT_GT(QImage(bmp).colorCount(), 0);

    const QString png = dir.filePath("depth.png");
    ASSERT_GT(Write(Writer::Png, png, 8, dib.get()), 0);
    EXPECT_EQ(QImage(png).format(), QImage::Format_Indexed8);
    ASSERT_GT(Write(Writer::Png, png, 24, dib.get()), 0);
    EXPECT_NE(QImage(png).format(), QImage::Format_Indexed8);
}

TEST(Writing, PngInterlaceFlagIsItsThirdArgument) {
    QTemporaryDir dir;
    Dib dib = Picture24();
    for (bool interlaced : {false, true}) {
        const QString png = dir.filePath(interlaced ? "i.png" : "p.png");
        ASSERT_GT(Write(Writer::Png, png, 24, dib.get(), 0, 0, interlaced), 0);
        QFile file(png);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.read(33);
        // The interlace method is the last byte of the header chunk.
        EXPECT_EQ(bytes.at(28), interlaced ? 1 : 0);
        EXPECT_EQ(MaxDifference(QImage(png), DibImage(dib.get())), 0);
    }
}

TEST(Writing, JpegTakesQualityThenSmoothingThenDepth) {
    QTemporaryDir dir;
    // A larger noisy picture, so that quality and smoothing show in the bytes.
    Dib dib = MakeDib(96, 64, 24, {}, [](int x, int y) {
        const std::uint32_t n = (static_cast<std::uint32_t>(x * 7919 + y * 104729) * 2654435761u);
        return n >> 8 & 0xFFFFFFu;
    });
    const auto size = [&](const QString& name, int quality, int smooth, int bits) {
        const QString path = dir.filePath(name);
        EXPECT_GT(Write(Writer::Jpeg, path, bits, dib.get(), quality, smooth), 0)
            << name.toStdString();
        return QFile(path).size();
    };
    const qint64 high = size("high.jpg", 95, 1, 24);
    const qint64 low = size("low.jpg", 20, 1, 24);
    const qint64 smoothed = size("smooth.jpg", 95, 100, 24);
    EXPECT_GT(high, low);
    EXPECT_LT(smoothed, high) << "smoothing makes a noisy picture cheaper";
    QImageReader reader(dir.filePath("high.jpg"));
    EXPECT_EQ(reader.imageFormat(), QImage::Format_RGB32);
    size("gray.jpg", 95, 1, 1);
    EXPECT_EQ(QImage(dir.filePath("gray.jpg")).format(), QImage::Format_Grayscale8);
    const QImage back(dir.filePath("high.jpg"));
    ASSERT_EQ(back.size(), QSize(96, 64));
    // A flat picture comes back within JPEG's rounding.
    Dib flat = MakeDib(17, 9, 24, {}, [](int, int) { return 0x4080C0u; });
    ASSERT_GT(Write(Writer::Jpeg, dir.filePath("flat.jpg"), 24, flat.get(), 90, 1), 0);
    EXPECT_LE(MaxDifference(QImage(dir.filePath("flat.jpg")), DibImage(flat.get())), 2);
}

TEST(Writing, ExistingFilesAreReplacedAndUnwritablePlacesFail) {
    QTemporaryDir dir;
    Dib dib = Picture24();
    const QString path = dir.filePath("old.bmp");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    ASSERT_GT(Write(Writer::Bmp, path, 24, dib.get()), 0);
    EXPECT_LT(QFile(path).size(), 1000) << "the old file's tail must not remain";
    EXPECT_EQ(MaxDifference(QImage(path), DibImage(dib.get())), 0);
    for (Writer writer : {Writer::Bmp, Writer::Pcx, Writer::Gif, Writer::Png, Writer::Jpeg}) {
        EXPECT_EQ(Write(writer, dir.filePath("missing/x"), 24, dib.get()), codec::ErrCreate)
            << int(writer);
        EXPECT_EQ(Write(writer, QString(), 24, dib.get()), codec::ErrCreate) << int(writer);
        EXPECT_EQ(Write(writer, dir.filePath("null"), 24, nullptr), codec::ErrArgument)
            << int(writer);
    }
}

} // namespace
