#include "picture_test_support.h"

#include "../support/fake_dialogs.h"
#include "framework/graphics/graphic.h"
#include "picture/codec_library.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>

using namespace pelisto;
using namespace pelisto::testing;

namespace {

struct Sample {
    const char* file;
    int tolerance;     // largest channel difference; 0 for lossless formats
    double mean = 0.0; // when set, the mean difference bounds instead (decoders that differ
                       // in chroma filtering)
    // A colour profile other than sRGB's: the reference is LittleCMS's own conversion to sRGB,
    // and the colours as stored (ref/NAME.untagged) must lie visibly apart from it.
    bool converted = false;
};

class ReadingTest : public ::testing::TestWithParam<Sample> {};

// Every reader gives what an independent decoder gives for the same file.
TEST_P(ReadingTest, MatchesIndependentDecoder) {
    const Sample sample = GetParam();
    TMultiPicture picture;
    picture.SetImageReadRes(lColorTrue);
    picture.SetPCDMode(pcd_BASE);
    picture.SetImageName(Fixture(QString::fromLatin1(sample.file)));
    const QImage shown = Shown(picture);
    const QImage expected = Reference(QString::fromLatin1(sample.file));
    ASSERT_FALSE(expected.isNull());
    ASSERT_FALSE(shown.isNull()) << sample.file;
    EXPECT_EQ(picture.ImageWidth(), expected.width());
    EXPECT_EQ(picture.ImageHeight(), expected.height());
    const int difference = MaxDifference(shown, expected);
    EXPECT_GE(difference, 0) << sample.file << " size " << shown.width() << "x" << shown.height();
    if (sample.mean > 0) {
        EXPECT_LE(MeanDifference(shown, expected), sample.mean) << sample.file;
    } else {
        EXPECT_LE(difference, sample.tolerance) << sample.file;
    }
    if (sample.converted) {
        const QImage stored = Reference(QString::fromLatin1(sample.file) + ".untagged");
        EXPECT_GE(MaxDifference(shown, stored), 16) << sample.file << ": colours left as stored";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ReadingTest,
    ::testing::Values(Sample{"rgb24.bmp", 0}, Sample{"pal8.bmp", 0}, Sample{"pal4.bmp", 0},
                      Sample{"gray8.bmp", 0}, Sample{"mono1.bmp", 0}, Sample{"rle8.bmp", 0},
                      Sample{"rgb24.png", 0}, Sample{"pal8.png", 0}, Sample{"gray8.png", 0},
                      Sample{"mono1.png", 0}, Sample{"interlaced.png", 0}, Sample{"still.gif", 0},
                      Sample{"animated.gif", 0}, Sample{"pages3.tif", 0}, Sample{"lzw.tif", 0},
                      Sample{"rgb24.tga", 0}, Sample{"rle24.tga", 0}, Sample{"pal8.tga", 0},
                      Sample{"rgb24.pcx", 0}, Sample{"pal8.pcx", 0}, Sample{"baseline.jpg", 3},
                      Sample{"progressive.jpg", 3}, Sample{"gray.jpg", 3},
                      Sample{"photo.pcd", 255, 8.0},
                      // as other tools write them
                      Sample{"bgrx32.bmp", 0}, Sample{"v5_24.bmp", 0}, Sample{"rgb555.bmp", 1},
                      Sample{"rgb565.bmp", 1}, Sample{"four2.png", 0}, Sample{"cmyk_adobe.jpg", 3},
                      Sample{"cmyk_plain.jpg", 10},
                      // camera photos: upright, with the upright size, whatever the orientation
                      Sample{"orient1.jpg", 3}, Sample{"orient2.jpg", 3}, Sample{"orient3.jpg", 3},
                      Sample{"orient4.jpg", 3}, Sample{"orient5.jpg", 3}, Sample{"orient6.jpg", 3},
                      Sample{"orient7.jpg", 3}, Sample{"orient8.jpg", 3},
                      Sample{"orient6_le.jpg", 3}, Sample{"orient6.tif", 0},
                      Sample{"orient8.tif", 0},
                      // transparency laid on white, per pixel and per palette entry
                      Sample{"rgba.png", 1}, Sample{"trns_pal.png", 1},
                      // colour profiles: converted to sRGB, or left alone when sRGB or broken
                      Sample{"display_p3.jpg", 3, 0.0, true}, Sample{"adobe_rgb.jpg", 3, 0.0, true},
                      Sample{"adobe_rgb.tif", 1, 0.0, true}, Sample{"gray_g18.png", 1, 0.0, true},
                      Sample{"srgb_tagged.jpg", 3}, Sample{"broken_icc.jpg", 3},
                      // a CMYK profile: shown as before
                      Sample{"cmyk_icc.jpg", 3}));

TEST(Loading, FormatComesFromTheExtensionWhateverItsCase) {
    QTemporaryDir dir;
    TMultiPicture picture;
    const QString jpeg = dir.filePath("Photo.JpEg");
    const QString tiff = dir.filePath("scan.tIFf");
    ASSERT_TRUE(QFile::copy(Fixture("baseline.jpg"), jpeg));
    ASSERT_TRUE(QFile::copy(Fixture("lzw.tif"), tiff));
    picture.SetImageName(jpeg);
    EXPECT_EQ(picture.ImageFormat(), "JPEG");
    EXPECT_FALSE(Shown(picture).isNull());
    picture.SetImageName(tiff);
    EXPECT_EQ(picture.ImageFormat(), "TIF");
    EXPECT_EQ(Shown(picture).size(), QSize(64, 48));
}

TEST(Loading, EmptyOrMissingNameClearsWithoutTouchingTheLibrary) {
    TMultiPicture picture;
    picture.SetImageName(Fixture("rgb24.png"));
    ASSERT_FALSE(Shown(picture).isNull());
    // With the library unloadable, a library call would raise.
    CodecLibrary::Get(CodecLibrary::Main).SetFileName("libnot-there-at-all.so");
    EXPECT_NO_THROW(picture.SetImageName(Fixture("no such file.png")));
    EXPECT_EQ(picture.Picture().Graphic(), nullptr);
    picture.SetImageName("file not found");
    EXPECT_EQ(picture.Picture().Graphic(), nullptr);
    EXPECT_NO_THROW(picture.SetImageName(""));
    EXPECT_EQ(picture.ImageName(), "");
    CodecLibrary::Get(CodecLibrary::Main).SetFileName({});
}

TEST(Loading, MissingLibraryRaisesItsTextFromLoaded) {
    CodecLibrary::Get(CodecLibrary::Main).SetFileName("libnot-there-at-all.so");
    TMultiPicture picture;
    try {
        picture.Loaded();
        ADD_FAILURE() << "no error";
    } catch (const ErrorInvalid& e) {
        EXPECT_EQ(e.message(), "Can't load libnot-there-at-all.so. Make sure its located in the "
                               "application's searchpath.");
    }
    CodecLibrary::Get(CodecLibrary::Main).SetFileName({});
    EXPECT_NO_THROW(picture.Loaded());
}

TEST(Loading, LibraryWithoutTheAnnotationEntryRaisesNamingIt) {
    TMultiPicture picture;
    picture.SetImageName(Fixture("rgb24.png"));
    // A library that loads but lacks the entry: the other codec library.
    CodecLibrary::Get(CodecLibrary::Main)
        .SetFileName(CodecLibrary::Get(CodecLibrary::Processing).FileName());
    try {
        picture.SetImageName(Fixture("pal8.png"));
        ADD_FAILURE() << "no error";
    } catch (const ErrorInvalid& e) {
        EXPECT_TRUE(e.message().contains("ClearAnnotation")) << e.message().toStdString();
    }
    CodecLibrary::Get(CodecLibrary::Main).SetFileName({});
}

TEST(Loading, UnidentifiableFileRaisesAndKeepsTheOldPicture) {
    TMultiPicture picture;
    picture.SetImageName(Fixture("rgb24.png"));
    const QImage before = Shown(picture);
    for (const char* name : {"damaged/short_bmp.bmp", "damaged/text.jpg"}) {
        try {
            picture.SetImageName(Fixture(name));
            ADD_FAILURE() << name << " loaded";
        } catch (const ErrorInvalid& e) {
            EXPECT_FALSE(e.message().isEmpty()) << name;
        }
        EXPECT_EQ(Shown(picture), before) << name;
        EXPECT_TRUE(picture.Loading()) << "an escaping error leaves the flag set";
    }
}

TEST(Loading, LowDepthFilesLoadMonochromeExceptThreeBitGifs) {
    TMultiPicture picture;
    picture.SetImageName(Fixture("mono1.png"));
    ASSERT_NE(picture.HeldBitmap(), nullptr);
    EXPECT_EQ(picture.ImageBits(), 1);
    EXPECT_EQ(picture.HeldBitmap()->PixelFormat(), pf1bit);

    // An 8-colour GIF reports 3 bits and still loads in colour.
    QTemporaryDir dir;
    QImage eight(16, 8, QImage::Format_RGB32);
    for (int x = 0; x < 16; ++x) {
        for (int y = 0; y < 8; ++y) {
            eight.setPixel(x, y, qRgb((x % 2) * 255, (x / 2 % 2) * 255, (x / 4 % 2) * 255));
        }
    }
    const QString gif = dir.filePath("eight.gif");
    const QString png = dir.filePath("eight.png");
    ASSERT_TRUE(eight.save(png));
    ASSERT_EQ(QProcess::execute("/usr/bin/gm", {"convert", png, "-colors", "8", gif}), 0);
    picture.SetImageName(gif);
    EXPECT_EQ(picture.ImageBits(), 3);
    EXPECT_NE(picture.HeldBitmap()->PixelFormat(), pf1bit);
    EXPECT_EQ(MaxDifference(Shown(picture), eight.convertToFormat(QImage::Format_RGB32)), 0);
}

TEST(Loading, DisplayDepthChoosesTheReadDepth) {
    SetScreenColorDepthSource([] { return 8; });
    TMultiPicture tampon;
    tampon.SetImageName(Fixture("rgb24.png"));
    ASSERT_NE(tampon.HeldBitmap(), nullptr);
    EXPECT_EQ(tampon.HeldBitmap()->PixelFormat(), pf8bit);
    EXPECT_LE(tampon.HeldBitmap()->Image().colorCount(), 256);
    SetScreenColorDepthSource([] { return 32; });
    tampon.SetImageName(Fixture("pal8.png"));
    EXPECT_EQ(tampon.HeldBitmap()->PixelFormat(), pf24bit);
    SetScreenColorDepthSource({});
}

TEST(Loading, TiffPageBeyondTheCountIsLoweredAndKept) {
    TMultiPicture picture;
    picture.SetTiffPage(7);
    picture.SetImageName(Fixture("pages3.tif"));
    EXPECT_EQ(picture.TifPageCount(), 3);
    EXPECT_EQ(picture.TiffPage(), 3);
    EXPECT_EQ(Shown(picture).size(), QSize(20, 10));
    picture.SetTiffPage(2);
    picture.SetImageName(Fixture("pages3.tif"));
    EXPECT_EQ(Shown(picture).size(), QSize(30, 40));
    // Pages count from 1; 0 means the first as well.
    picture.SetTiffPage(0);
    picture.SetImageName(Fixture("pages3.tif"));
    EXPECT_EQ(Shown(picture).size(), QSize(64, 48));
}

TEST(Loading, ProgressHandlerCanCancelARead) {
    TMultiPicture picture;
    std::vector<int> seen;
    QString message;
    picture.OnProgress = [&](TMultiPicture&, std::int16_t percent, const QString& text,
                             bool& cancel) {
        seen.push_back(percent);
        message = text;
        cancel = seen.size() > 1;
    };
    picture.SetImageName(Fixture("baseline.jpg"));
    EXPECT_GE(seen.size(), 2u);
    EXPECT_TRUE(message.startsWith("reading ")) << message.toStdString();
    EXPECT_EQ(picture.Picture().Graphic(), nullptr);
}

// Damaged files end in the library's error or an empty picture, never a crash or a hang.
TEST(Robustness, DamagedFilesNeverCrash) {
    pelisto::testing::ScopedFakeDialogs dialogs;
    QDirIterator it(Fixture("damaged"), QDir::Files);
    int count = 0;
    while (it.hasNext()) {
        const QString file = it.next();
        ++count;
        TMultiPicture picture;
        try {
            picture.SetImageName(file);
        } catch (const ErrorInvalid&) {
            continue;
        } catch (const EStreamError&) {
            continue;
        }
        if (TBitmap* bitmap = picture.HeldBitmap()) {
            EXPECT_GT(bitmap->Width(), 0) << file.toStdString();
        }
    }
    EXPECT_GT(count, 40);
    EXPECT_TRUE(dialogs->boxes.empty()) << "a damaged file faulted inside the library";
}

} // namespace
