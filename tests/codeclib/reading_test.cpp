// The readers: argument order, DIB layout and pixels against independent decoders.

#include "codec_test_support.h"

using namespace pelisto;
using namespace pelisto::codectest;

namespace {

enum class Reader { Bmp, Png, Pcx, Gif, Jpeg, Tiff, Tga, Pcd, Heif, Webp, Jxl };

struct Progress {
    int calls = 0;
    int last = -1;
    int cancelAt = -1; // answer 0 (cancel) from the call with this percentage on
    static int Proc(int percent, void* data) {
        auto* p = static_cast<Progress*>(data);
        ++p->calls;
        p->last = percent;
        return p->cancelAt >= 0 && percent >= p->cancelAt ? 0 : 1;
    }
};

// Calls a reader with the argument order of its entry.
std::int16_t Read(Reader reader, const std::string& file, int bits, Dib& out,
                  Progress* progress = nullptr, int page = 0) {
    PLDib dib = nullptr;
    void* data = progress;
    const PLProgressProc proc = progress ? &Progress::Proc : nullptr;
    const char* name = file.c_str();
    const auto b = static_cast<std::int16_t>(bits);
    const auto p = static_cast<std::int16_t>(page);
    std::int16_t status = -999;
    const auto simple = [&](const char* entry) {
        if (auto fn = MainEntry<rdfiledib_t>(entry)) {
            status = fn(name, b, 0, &dib, nullptr, data, proc, 0);
        }
    };
    switch (reader) {
    case Reader::Bmp:
        simple("rdbmpfiledib");
        break;
    case Reader::Png:
        simple("rdpngfiledib");
        break;
    case Reader::Pcx:
        simple("rdpcxfiledib");
        break;
    case Reader::Gif:
        simple("rdgiffiledib");
        break;
    case Reader::Heif:
        simple("rdheiffiledib");
        break;
    case Reader::Webp:
        simple("rdwebpfiledib");
        break;
    case Reader::Jxl:
        simple("rdjxlfiledib");
        break;
    case Reader::Jpeg:
        if (auto fn = MainEntry<rdjpgfiledib_t>("rdjpgfiledib")) {
            status = fn(name, b, 1, 0, &dib, nullptr, data, proc, 0);
        }
        break;
    case Reader::Tiff:
        if (auto fn = MainEntry<readpagedib_t>("readtiffiledib")) {
            status = fn(name, b, 0, p, &dib, data, proc, 0);
        }
        break;
    case Reader::Pcd:
        if (auto fn = MainEntry<readpagedib_t>("readpcdfiledib")) {
            status = fn(name, b, 0, p, &dib, data, proc, 0);
        }
        break;
    case Reader::Tga:
        if (auto fn = MainEntry<readtgafiledib_t>("readtgafiledib")) {
            status = fn(name, b, 0, &dib, data, proc, 0);
        }
        break;
    }
    out.reset(dib);
    return status;
}

struct Sample {
    const char* file;
    Reader reader;
    int bits;      // depth of the DIB that comes back
    int tolerance; // largest channel difference from the independent decoder
    bool qtReads;  // Qt decodes the file itself; else Pillow's decoding in ref/ is the oracle
};

class ReaderTest : public ::testing::TestWithParam<Sample> {};

TEST_P(ReaderTest, GivesAWellFormedDibWithTheIndependentDecodersPixels) {
    const Sample s = GetParam();
    Dib dib;
    Progress progress;
    const std::int16_t status = Read(s.reader, FixturePath(s.file), 24, dib, &progress, 1);
    ASSERT_GT(status, 0) << s.file << ": " << StatusText(status);
    ASSERT_EQ(LayoutProblem(dib.get()), "") << s.file;
    EXPECT_EQ(ReadHeader(dib.get()).bits, s.bits) << s.file;
    EXPECT_GT(progress.calls, 0) << s.file << ": the progress callback never came";
    const QImage expected =
        s.qtReads ? QImage(Fixture(QString::fromLatin1(s.file)))
                  : QImage(Fixture(QStringLiteral("ref/") + QString::fromLatin1(s.file) +
                                   QStringLiteral(".png")));
    ASSERT_FALSE(expected.isNull()) << s.file;
    const int difference = MaxDifference(DibImage(dib.get()), expected);
    EXPECT_GE(difference, 0) << s.file << ": sizes differ";
    EXPECT_LE(difference, s.tolerance) << s.file;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReaderTest,
                         ::testing::Values(Sample{"rgb24.bmp", Reader::Bmp, 24, 0, true},
                                           Sample{"pal8.bmp", Reader::Bmp, 8, 0, true},
                                           Sample{"pal4.bmp", Reader::Bmp, 4, 0, true},
                                           Sample{"mono1.bmp", Reader::Bmp, 1, 0, true},
                                           Sample{"rle8.bmp", Reader::Bmp, 8, 0, true},
                                           Sample{"rgb24.png", Reader::Png, 24, 0, true},
                                           Sample{"pal8.png", Reader::Png, 8, 0, true},
                                           Sample{"gray8.png", Reader::Png, 8, 0, true},
                                           Sample{"mono1.png", Reader::Png, 1, 0, true},
                                           Sample{"interlaced.png", Reader::Png, 24, 0, true},
                                           Sample{"rgba.png", Reader::Png, 24, 1, false},
                                           Sample{"trns_pal.png", Reader::Png, 8, 1, false},
                                           Sample{"still.gif", Reader::Gif, 8, 0, true},
                                           Sample{"animated.gif", Reader::Gif, 8, 0, true},
                                           Sample{"lzw.tif", Reader::Tiff, 24, 0, true},
                                           Sample{"rgb24.tga", Reader::Tga, 24, 0, true},
                                           Sample{"rle24.tga", Reader::Tga, 24, 0, false},
                                           Sample{"pal8.tga", Reader::Tga, 8, 0, false},
                                           Sample{"rgb24.pcx", Reader::Pcx, 24, 0, false},
                                           Sample{"pal8.pcx", Reader::Pcx, 8, 0, false},
                                           Sample{"baseline.jpg", Reader::Jpeg, 24, 2, true},
                                           Sample{"progressive.jpg", Reader::Jpeg, 24, 2, true},
                                           Sample{"gray.jpg", Reader::Jpeg, 8, 2, true},
                                           // BMP variants of other tools: an unused fourth
                                           // byte, a newer header, 16-bit channels (decoders
                                           // widen those by rounding or by repeating bits: 1
                                           // apart at most)
                                           Sample{"bgrx32.bmp", Reader::Bmp, 24, 0, false},
                                           Sample{"v5_24.bmp", Reader::Bmp, 24, 0, false},
                                           Sample{"rgb555.bmp", Reader::Bmp, 24, 1, false},
                                           Sample{"rgb565.bmp", Reader::Bmp, 24, 1, false},
                                           Sample{"cmyk_adobe.jpg", Reader::Jpeg, 24, 3, false},
                                           Sample{"cmyk_plain.jpg", Reader::Jpeg, 24, 10, false},
                                           // camera photos come back upright
                                           Sample{"orient7.jpg", Reader::Jpeg, 24, 3, false},
                                           Sample{"orient6_le.jpg", Reader::Jpeg, 24, 3, false},
                                           Sample{"orient6.tif", Reader::Tiff, 24, 0, false},
                                           // today's formats against their own decoders: the
                                           // HEIF turn is the container's, never EXIF's on top;
                                           // WebP's is EXIF's, JPEG XL's its header's; deeper
                                           // samples are rounded by one and cut by the other
                                           Sample{"heic_land.heic", Reader::Heif, 24, 0, false},
                                           Sample{"heic_turn.heic", Reader::Heif, 24, 0, false},
                                           Sample{"heic_alpha.heic", Reader::Heif, 24, 1, false},
                                           Sample{"heic_deep.heic", Reader::Heif, 24, 1, false},
                                           Sample{"avif_land.avif", Reader::Heif, 24, 0, false},
                                           Sample{"avif_turn.avif", Reader::Heif, 24, 0, false},
                                           Sample{"avif_alpha.avif", Reader::Heif, 24, 1, false},
                                           Sample{"avif_deep.avif", Reader::Heif, 24, 1, false},
                                           Sample{"webp_lossy.webp", Reader::Webp, 24, 0, false},
                                           Sample{"webp_lossless.webp", Reader::Webp, 24, 0, false},
                                           Sample{"webp_turn.webp", Reader::Webp, 24, 0, false},
                                           Sample{"webp_alpha.webp", Reader::Webp, 24, 1, false},
                                           Sample{"webp_anim.webp", Reader::Webp, 24, 0, false},
                                           Sample{"jxl_lossy.jxl", Reader::Jxl, 24, 1, false},
                                           Sample{"jxl_lossless.jxl", Reader::Jxl, 24, 0, false},
                                           Sample{"jxl_turn.jxl", Reader::Jxl, 24, 1, false},
                                           Sample{"jxl_alpha.jxl", Reader::Jxl, 24, 1, false},
                                           Sample{"jxl_16bit.jxl", Reader::Jxl, 24, 1, false}),
                         [](const ::testing::TestParamInfo<Sample>& info) {
                             std::string name = info.param.file;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(Reading, TiffPageArgumentPicksThePage) {
    const std::string file = FixturePath("pages3.tif");
    Dib dib;
    ASSERT_GT(Read(Reader::Tiff, file, 24, dib, nullptr, 3), 0);
    ASSERT_EQ(LayoutProblem(dib.get()), "");
    QImage third = DibImage(dib.get());
    ASSERT_EQ(third.size(), QSize(20, 10));
    EXPECT_EQ(third.pixel(7, 3), qRgb(10, 200, 30));
    ASSERT_GT(Read(Reader::Tiff, file, 24, dib, nullptr, 2), 0);
    EXPECT_EQ(DibImage(dib.get()).size(), QSize(30, 40));
    ASSERT_GT(Read(Reader::Tiff, file, 24, dib, nullptr, 1), 0);
    EXPECT_EQ(MaxDifference(DibImage(dib.get()), QImage(Fixture("rgb24.png"))), 0);
    EXPECT_LE(Read(Reader::Tiff, file, 24, dib, nullptr, 4), 0);
    EXPECT_EQ(dib, nullptr);
}

TEST(Reading, PhotoCdResolutionsAreSixteenthQuarterAndWhole) {
    const std::string file = FixturePath("photo.pcd");
    const QImage reference(Fixture("ref/photo.pcd.png"));
    const QSize sizes[] = {{192, 128}, {384, 256}, {768, 512}};
    for (int resolution = 0; resolution <= 2; ++resolution) {
        Dib dib;
        ASSERT_GT(Read(Reader::Pcd, file, 24, dib, nullptr, resolution), 0) << resolution;
        ASSERT_EQ(LayoutProblem(dib.get()), "");
        const QImage image = DibImage(dib.get());
        ASSERT_EQ(image.size(), sizes[resolution]);
        // Photo CD decoders differ in their colour conversion; the picture must still match
        // at a glance (mean error), scaled to the same size.
        const QImage scaled =
            reference.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
        double sum = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                sum += std::abs(qGray(image.pixel(x, y)) - qGray(scaled.pixel(x, y)));
            }
        }
        EXPECT_LT(sum / (image.width() * image.height()), 12.0) << resolution;
    }
    Dib dib;
    EXPECT_EQ(Read(Reader::Pcd, file, 24, dib, nullptr, 3), codec::ErrArgument);
    EXPECT_EQ(Read(Reader::Pcd, file, 24, dib, nullptr, -1), codec::ErrArgument);
}

// The data and callback come back to the caller in their places, and a 0 answer cancels with a
// status of its own and no block left behind.
TEST(Reading, ProgressReachesTheCallerAndCanCancel) {
    const std::pair<Reader, const char*> readers[] = {
        {Reader::Bmp, "rgb24.bmp"},       {Reader::Png, "rgb24.png"},
        {Reader::Pcx, "rgb24.pcx"},       {Reader::Gif, "still.gif"},
        {Reader::Jpeg, "baseline.jpg"},   {Reader::Tiff, "lzw.tif"},
        {Reader::Tga, "rgb24.tga"},       {Reader::Pcd, "photo.pcd"},
        {Reader::Heif, "heic_land.heic"}, {Reader::Webp, "webp_lossy.webp"},
        {Reader::Jxl, "jxl_lossy.jxl"}};
    for (const auto& [reader, file] : readers) {
        Progress complete;
        Dib dib;
        ASSERT_GT(Read(reader, FixturePath(file), 24, dib, &complete), 0) << file;
        EXPECT_EQ(complete.last, 100) << file << ": a finished read ends at 100 percent";
        Progress cancel;
        cancel.cancelAt = 0;
        EXPECT_EQ(Read(reader, FixturePath(file), 24, dib, &cancel), codec::ErrCancelled) << file;
        EXPECT_EQ(dib, nullptr) << file;
    }
}

// Each reader reads its own format only: a file of another format under its name fails.
TEST(Reading, ReadersRefuseOtherFormats) {
    const std::pair<Reader, const char*> mismatched[] = {{Reader::Bmp, "damaged/png_named.bmp"},
                                                         {Reader::Gif, "damaged/jpeg_named.gif"},
                                                         {Reader::Png, "rgb24.bmp"},
                                                         {Reader::Jpeg, "rgb24.png"},
                                                         {Reader::Tiff, "rgb24.pcx"},
                                                         {Reader::Pcx, "still.gif"},
                                                         {Reader::Pcd, "rgb24.tga"},
                                                         {Reader::Tga, "baseline.jpg"},
                                                         {Reader::Heif, "webp_lossy.webp"},
                                                         {Reader::Webp, "jxl_lossy.jxl"},
                                                         {Reader::Jxl, "avif_land.avif"}};
    for (const auto& [reader, file] : mismatched) {
        Dib dib;
        const std::int16_t status = Read(reader, FixturePath(file), 24, dib);
        EXPECT_LE(status, 0) << file;
        EXPECT_EQ(dib, nullptr) << file;
        EXPECT_FALSE(StatusText(status).empty());
    }
}

} // namespace
