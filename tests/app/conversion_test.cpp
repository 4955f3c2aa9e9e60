#include "app/main_window.h"
#include "app/picture_sizes.h"
#include "codeclib/exif_orientation.h"
#include "framework/exceptions.h"
#include "framework/graphics/graphic.h"
#include "picture/jpeg_image.h"
#include "picture/multi_picture.h"
#include "slideshow/screen_fit.h"
#include "slideshow_test_support.h"
#include "support/fake_dialogs.h"
#include "ui_main_window.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace pelisto;
using namespace pelisto::testing;

namespace {

// A photo-like picture: smooth colour everywhere, and in its left quarter black lines one pixel
// wide every third pixel, both ways. No screen size can show those lines; a scaler that skips
// pixels (nearest, or bilinear over a large factor) turns them into stripes and checks.
QImage PhotoWithFineLines(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const bool line = x < width / 4 && (x % 3 == 0 || y % 3 == 0);
            row[x] = line ? qRgb(0, 0, 0)
                          : qRgb(40 + 180 * x / width, 60 + 150 * y / height,
                                 static_cast<int>(128 + 100 * std::sin(x / 150.0 + y / 230.0)));
        }
    }
    return image;
}

// Peak signal-to-noise ratio of b against a, over the rectangle (the whole picture when empty).
double Psnr(const QImage& a, const QImage& b, QRect area = {}) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size()) {
        return 0;
    }
    area = area.isEmpty() ? x.rect() : area.intersected(x.rect());
    double sum = 0;
    for (int row = area.top(); row <= area.bottom(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = area.left(); col <= area.right(); ++col) {
            const int d[] = {qRed(p[col]) - qRed(q[col]), qGreen(p[col]) - qGreen(q[col]),
                             qBlue(p[col]) - qBlue(q[col])};
            sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        }
    }
    const double mse = sum / (3.0 * area.width() * area.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// ImageMagick's Lanczos resize of the picture, shown upright, to exactly the size.
QImage LanczosReference(const QString& picture, QSize size, const QString& folder) {
    const QString out = folder + QStringLiteral("/reference.png");
    QProcess im;
    im.start(QStringLiteral("/usr/bin/convert"),
             {picture, QStringLiteral("-auto-orient"), QStringLiteral("-filter"),
              QStringLiteral("Lanczos"), QStringLiteral("-resize"),
              QStringLiteral("%1x%2!").arg(size.width()).arg(size.height()), out});
    EXPECT_TRUE(im.waitForFinished(300000)) << "convert did not finish";
    EXPECT_EQ(im.exitCode(), 0) << im.readAllStandardError().toStdString();
    return QImage(out);
}

// Conversions through the real window: its work buffer, its quality and its private scratch
// folder, where temp.jpg can be watched; the tool folder is one of our own that nothing may
// write into.
class ConversionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterJPEGGraphic(); }

    void SetUp() override {
        // Metafile sizes follow the screen resolution; the fixtures are drawn for 96 dpi.
        SetScreenPixelsPerInchSource([] { return 96; });
        ASSERT_TRUE(tool.isValid());
        ASSERT_TRUE(work.isValid());
        form = std::make_unique<TForm1>();
        form->SetToolFolder(tool.path());
        QFile::setPermissions(tool.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        scratch = form->ScratchPath();
        ASSERT_TRUE(scratch.startsWith(form->ScratchFolder()));
        ASSERT_FALSE(form->ScratchFolder().isEmpty());
    }
    void TearDown() override {
        form.reset();
        // Conversions never write into the tool folder (its permissions do not stop root).
        EXPECT_EQ(
            QDir(tool.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{});
        QFile::setPermissions(tool.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner);
        SetScreenPixelsPerInchSource({});
    }

    QString Copy(const QString& source, const QString& name) {
        return CopyAs(source, work.filePath(name));
    }
    TMultiPicture& Tampon() { return *form->ui().Tampon; }
    void SetQuality(int quality) { form->ui().ScrollBar1->setValue(quality); }

    // Converts and checks the returned path; the decoded scratch file.
    QImage Convert(const QString& picture) {
        EXPECT_EQ(form->ConvertToJpeg(picture), scratch);
        return DecodeJpegFile(scratch);
    }

    // Converts a picture that must fail: the error names it and says why (with cause in it),
    // and no scratch file stays behind.
    void ExpectFailureNaming(const QString& picture, const QString& cause = {}) {
        WriteAll(scratch, "an older conversion");
        try {
            form->ConvertToJpeg(picture);
            ADD_FAILURE() << "converted " << picture.toStdString();
        } catch (const Exception& e) {
            EXPECT_TRUE(e.message().contains(picture))
                << e.message().toStdString() << " does not name " << picture.toStdString();
            EXPECT_NE(e.message(), "Unable to convert " + picture + " to JPEG")
                << "no reason given";
            EXPECT_TRUE(e.message().contains(cause)) << e.message().toStdString();
        }
        EXPECT_FALSE(QFile::exists(scratch)) << picture.toStdString();
    }

    ScopedFakeDialogs dialogs;
    QTemporaryDir tool;
    QTemporaryDir work;
    std::unique_ptr<TForm1> form;
    QString scratch;
};

TEST_F(ConversionTest, MetafilesAndIconsAreRenderedWhateverTheCaseOfTheirExtension) {
    // The work buffer holds this picture throughout: the rendering route never touches it.
    const QString held = Copy(Picture("rgb24.png"), "held.png");
    ASSERT_EQ(Convert(held).size(), QSize(64, 48));
    ASSERT_EQ(Tampon().ImageName(), held);

    for (const char* name : {"a.wmf", "b.WMF", "c.wMf"}) {
        const QString picture = Copy(Fixture("wmf/shapes.wmf"), name);
        EXPECT_EQ(Convert(picture).size(), QSize(300, 200)) << name;
        EXPECT_EQ(Tampon().ImageName(), held) << name;
    }
    for (const char* name : {"d.ico", "e.ICO", "f.IcO"}) {
        const QString picture = Copy(Picture("multi.ico"), name);
        EXPECT_EQ(Convert(picture).size(), QSize(48, 48)) << name; // the largest image
        EXPECT_EQ(Tampon().ImageName(), held) << name;
    }
}

TEST_F(ConversionTest, OtherNamesGoThroughTheWorkBufferEvenWithoutAnExtension) {
    // A dot in a folder name is not an extension: "shots.wmf/picture" has none.
    for (const char* name : {"picture", "shots.wmf/picture", "picture.wmf.png", "PICTURE.PNG"}) {
        const QString picture = Copy(Picture("rgb24.png"), name);
        const QImage jpeg = Convert(picture);
        EXPECT_EQ(jpeg.size(), QSize(64, 48)) << name;
        EXPECT_EQ(Tampon().ImageName(), picture) << name;
        EXPECT_LT(MeanDifference(jpeg, QImage(Picture("ref/rgb24.png.png"))), 14.0) << name;
    }
}

// The viewers show the scratch JPEG's pixels as they lie, so a camera photo must lie upright in
// it, in every orientation its tag can give.
TEST_F(ConversionTest, CameraPhotosConvertUpright) {
    SetQuality(100);
    for (const char* name :
         {"orient1.jpg", "orient2.jpg", "orient3.jpg", "orient4.jpg", "orient5.jpg", "orient6.jpg",
          "orient7.jpg", "orient8.jpg", "orient6.tif", "heic_turn.heic", "avif_turn.avif",
          "webp_turn.webp", "jxl_turn.jxl"}) {
        const QString picture = Copy(Picture(name), name);
        ASSERT_EQ(form->ConvertToJpeg(picture), scratch);
        QImageReader stored(scratch);
        stored.setAutoTransform(false);
        const QImage upright(Picture(QStringLiteral("ref/%1.png").arg(name)));
        EXPECT_LT(MeanDifference(stored.read(), upright), 8.0) << name;
    }
}

TEST_F(ConversionTest, EachConversionReplacesTheScratchJpeg) {
    const QString png = Copy(Picture("rgb24.png"), "a.png");
    const QString wmf = Copy(Fixture("wmf/shapes.wmf"), "b.wmf");
    const QString pcd = Copy(Picture("photo.pcd"), "c.pcd");

    EXPECT_EQ(Convert(png).size(), QSize(64, 48));
    EXPECT_EQ(Convert(wmf).size(), QSize(300, 200));
    EXPECT_EQ(Convert(pcd).size(), QSize(384, 256)); // the work buffer reads Photo CD at base/4
    const QByteArray photo = ReadAll(scratch);
    EXPECT_EQ(Convert(png).size(), QSize(64, 48));
    // Nothing of the larger picture is left behind the smaller one.
    EXPECT_LT(ReadAll(scratch).size(), photo.size() / 4);
    EXPECT_EQ(QDir(form->ScratchFolder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"temp.jpg"});
}

TEST_F(ConversionTest, MetafileKeepsItsSizeAndTransparentPartsComeOutWhite) {
    const QImage shapes = Convert(Copy(Fixture("wmf/shapes.wmf"), "shapes.wmf"));
    ASSERT_EQ(shapes.size(), QSize(300, 200));
    for (const QPoint p : {QPoint(3, 3), QPoint(296, 196), QPoint(140, 150), QPoint(290, 110)}) {
        EXPECT_TRUE(Near(shapes.pixel(p), 255, 255, 255, 12)) << p.x() << "," << p.y();
    }
    EXPECT_TRUE(Near(shapes.pixel(60, 50), 255, 0, 0));
    EXPECT_TRUE(Near(shapes.pixel(215, 60), 0, 0, 255));
    EXPECT_TRUE(Near(shapes.pixel(70, 170), 0, 160, 0));

    const QImage offset = Convert(Copy(Fixture("wmf/offset_origin.wmf"), "offset.wmf"));
    ASSERT_EQ(offset.size(), QSize(160, 120));
    EXPECT_TRUE(Near(offset.pixel(40, 60), 255, 255, 0));
    EXPECT_TRUE(Near(offset.pixel(120, 60), 255, 255, 255, 12));
}

TEST_F(ConversionTest, QualityGovernsBothRoutesAndStaysOnTheWorkBuffer) {
    const QString wmf = Copy(Fixture("wmf/shapes.wmf"), "shapes.wmf");
    const QString pcd = Copy(Picture("photo.pcd"), "photo.pcd");
    EXPECT_EQ(Tampon().JPegSaveQuality(), 75);

    for (const QString& picture : {wmf, pcd}) {
        SetQuality(1);
        form->ConvertToJpeg(picture);
        const qint64 low = QFileInfo(scratch).size();
        SetQuality(100);
        form->ConvertToJpeg(picture);
        const qint64 high = QFileInfo(scratch).size();
        EXPECT_LT(low * 2, high) << picture.toStdString();
    }

    // The work buffer keeps the quality of its latest conversion, not the scroll bar's.
    SetQuality(40);
    EXPECT_EQ(Tampon().JPegSaveQuality(), 100);
    form->ConvertToJpeg(pcd);
    EXPECT_EQ(Tampon().JPegSaveQuality(), 40);
    EXPECT_EQ(Tampon().JPegSaveSmooth(), 5);
    SetQuality(90);
    EXPECT_EQ(Tampon().JPegSaveQuality(), 40);
}

TEST_F(ConversionTest, FailuresNameThePictureAndLeaveNoScratchFile) {
    ExpectFailureNaming(work.filePath("vanished.png"), "File not found");
    ExpectFailureNaming(work.filePath("vanished.wmf"));
    ExpectFailureNaming(work.filePath("vanished.ico"));
    const std::pair<const char*, const char*> damaged[] = {
        {"damaged/text.jpg", "Unknown file format"},
        {"damaged/empty_bmp.bmp", "File too short"},
        {"damaged/short_bmp.bmp", "File too short"},
        {"damaged/rgb24_png_cut10.png", "The file is damaged"},
        {"damaged/baseline_jpg_cut50.jpg", "The file is damaged"},
        {"damaged/still_gif_header.gif", ""},
        {"damaged/photo_pcd_cut10.pcd", "The file is damaged"},
        {"bombs/sides.png", "Picture too large: 40000 x 100 pixels"},
        {"bombs/progressive.jpg", "Picture too large: 32767 x 32767 pixels"},
    };
    for (const auto& [name, cause] : damaged) {
        ExpectFailureNaming(Picture(name), cause);
    }
    ExpectFailureNaming(Fixture("wmf/bomb.wmf"), "Picture too large: ");
    WriteAll(work.filePath("words.wmf"), "not a metafile at all");
    ExpectFailureNaming(work.filePath("words.wmf"));
    WriteAll(work.filePath("words.ico"), "not an icon at all");
    ExpectFailureNaming(work.filePath("words.ico"));

    // A good picture afterwards converts as usual.
    EXPECT_EQ(Convert(Copy(Picture("rgb24.bmp"), "fine.bmp")).size(), QSize(64, 48));
}

TEST_F(ConversionTest, AVanishedOrBlockedScratchFolderIsReportedForEitherRoute) {
    const QString png = Copy(Picture("rgb24.png"), "a.png");
    const QString wmf = Copy(Fixture("wmf/shapes.wmf"), "b.wmf");
    const QString folder = form->ScratchFolder().chopped(1);
    auto expectScratchBlamed = [&](const char* how) {
        for (const QString& picture : {png, wmf}) {
            try {
                form->ConvertToJpeg(picture);
                ADD_FAILURE() << how << ": converted " << picture.toStdString();
            } catch (const Exception& e) {
                EXPECT_TRUE(e.message().startsWith("Unable to convert " + picture + " to JPEG: "))
                    << how << ": " << e.message().toStdString();
                // The cause is the scratch file, not the picture.
                EXPECT_TRUE(e.message().contains(scratch))
                    << how << ": " << e.message().toStdString();
            }
        }
    };
    ASSERT_TRUE(QDir(folder).removeRecursively());
    expectScratchBlamed("vanished");
    // A plain file stands where the folder was: nothing can be created inside it.
    WriteAll(folder, "a file, not a folder");
    expectScratchBlamed("blocked");
    QFile::remove(folder);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(Convert(png).size(), QSize(64, 48));

    // A window that could make no scratch folder at all starts, and says so when it converts.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    WriteAll(work.filePath("not a folder"), "a file");
    qputenv("TMPDIR", work.filePath("not a folder").toUtf8());
    TForm1 homeless;
    runtime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", runtime);
    temp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", temp);
    EXPECT_TRUE(homeless.ScratchFolder().isEmpty());
    try {
        homeless.ConvertToJpeg(png);
        ADD_FAILURE() << "converted without a scratch folder";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.message().startsWith("Unable to convert " + png +
                                           " to JPEG: no private scratch folder could be made"))
            << e.message().toStdString();
    }
}

// Pictures larger than the chosen screen come out at exactly the size the viewer would fit them
// to (the portrait photo lies on its side in the file, as cameras store it), scaled as a
// Lanczos filter scales them, fine lines included; smaller ones are never enlarged.
TEST_F(ConversionTest, PicturesLargerThanTheChosenScreenAreFittedToIt) {
    SetQuality(100);
    const QString landscape = work.filePath("landscape.jpg");
    ASSERT_TRUE(PhotoWithFineLines(6000, 4000).save(landscape, "JPG", 95));
    const QString portrait = work.filePath("portrait.jpg");
    {
        const QString stored = work.filePath("stored.jpg");
        ASSERT_TRUE(PhotoWithFineLines(4000, 3000).save(stored, "JPG", 95));
        const QByteArray bytes = ReadAll(stored);
        const std::vector<std::uint8_t> turned =
            exif::WithJpegOrientation(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size()), 6);
        ASSERT_FALSE(turned.empty());
        WriteAll(portrait, QByteArray(reinterpret_cast<const char*>(turned.data()),
                                      static_cast<qsizetype>(turned.size())));
    }
    const QString small = work.filePath("small.jpg");
    ASSERT_TRUE(PhotoWithFineLines(1200, 700).save(small, "JPG", 95));
    const QString png = work.filePath("large.png"); // the route of every other format
    ASSERT_TRUE(PhotoWithFineLines(2700, 1800).save(png, "PNG"));
    // Gray, palette and two-colour pictures are scaled as gray or colour samples, never as the
    // indexes that their files store.
    const QString gray = work.filePath("gray.png");
    ASSERT_TRUE(
        PhotoWithFineLines(2700, 1800).convertToFormat(QImage::Format_Grayscale8).save(gray));
    const QString palette = work.filePath("palette.png");
    ASSERT_TRUE(PhotoWithFineLines(2700, 1800)
                    .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
                    .save(palette));
    const QString twoColour = work.filePath("two.png");
    ASSERT_TRUE(PhotoWithFineLines(2700, 1800)
                    .convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
                    .save(twoColour));
    // A tall strip is reduced more than the scaler takes in one pass.
    const QString tall = work.filePath("tall.png");
    ASSERT_TRUE(PhotoWithFineLines(240, 16000).save(tall));

    struct Case {
        QString picture;
        QSize upright;
    };
    const Case cases[] = {{landscape, {6000, 4000}}, {portrait, {3000, 4000}},
                          {small, {1200, 700}},      {png, {2700, 1800}},
                          {gray, {2700, 1800}},      {palette, {2700, 1800}},
                          {twoColour, {2700, 1800}}, {tall, {240, 16000}}};
    for (int choice = 1; choice < kPictureSizeCount; ++choice) {
        form->ui().PictureSize->setCurrentIndex(choice);
        const PictureSizeChoice box = kPictureSizes[choice];
        for (const Case& c : cases) {
            const std::string what = c.picture.toStdString() + " in " + box.name;
            const PictureSize fit =
                FitToScreen(c.upright.width(), c.upright.height(), box.width, box.height);
            const QImage converted = Convert(c.picture);
            ASSERT_EQ(converted.size(), QSize(fit.width, fit.height)) << what;
            if (converted.size() == c.upright) {
                // Converted as at its own size, to the byte.
                const QByteArray fitted = ReadAll(scratch);
                form->ui().PictureSize->setCurrentIndex(0);
                Convert(c.picture);
                EXPECT_TRUE(ReadAll(scratch) == fitted) << what;
                form->ui().PictureSize->setCurrentIndex(choice);
                continue;
            }
            // The scaled decode's own filtering differs a little from Lanczos at full size (26 to
            // 28 dB on the lines); one that skips pixels lands near 6 dB there.
            const QImage reference = LanczosReference(c.picture, converted.size(), work.path());
            EXPECT_GT(Psnr(reference, converted), 31.0) << what;
            // The lines' quarter, as the picture lies upright.
            const QRect lines = c.picture == portrait ? QRect(0, 0, fit.width, fit.height / 4 - 2)
                                                      : QRect(0, 0, fit.width / 4 - 2, fit.height);
            EXPECT_GT(Psnr(reference, converted, lines), 25.0) << what;
        }
    }
    // Back to the pictures' own size: the work buffer converts them as it always has.
    form->ui().PictureSize->setCurrentIndex(0);
    EXPECT_EQ(Convert(landscape).size(), QSize(6000, 4000));
}

// Every output shows a picture's colours in sRGB: one in another colour space is converted as
// LittleCMS converts it (its patches, away from the edges that chroma subsampling blurs), while
// an sRGB profile or one that cannot be used gives the very bytes of the picture without it.
TEST_F(ConversionTest, ProfilesOtherThanSrgbAreConvertedAndOnlyThey) {
    SetQuality(100);
    const auto converted = [&](const char* name) {
        Convert(Copy(Picture(name), name));
        return ReadAll(scratch);
    };
    const std::pair<const char*, const char*> same[] = {{"srgb_tagged.jpg", "patches.jpg"},
                                                        {"broken_icc.jpg", "patches.jpg"},
                                                        {"chunks.png", "rgb24.png"}};
    for (const auto& [tagged, plain] : same) {
        EXPECT_TRUE(converted(tagged) == converted(plain)) << tagged;
    }
    // The largest channel difference at the centres of the 8 x 8 patches.
    const auto worst = [](const QImage& a, const QImage& b) {
        int most = 0;
        for (int y = 4; y < a.height(); y += 8) {
            for (int x = 4; x < a.width(); x += 8) {
                const QRgb p = a.pixel(x, y);
                const QRgb q = b.pixel(x, y);
                most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                 std::abs(qBlue(p) - qBlue(q))});
            }
        }
        return most;
    };
    for (const char* name : {"display_p3.jpg", "adobe_rgb.jpg", "adobe_rgb.tif"}) {
        const QImage jpeg = Convert(Copy(Picture(name), name));
        const QImage lcms(Picture(QStringLiteral("ref/%1.png").arg(name)));
        const QImage stored(Picture(QStringLiteral("ref/%1.untagged.png").arg(name)));
        ASSERT_EQ(jpeg.size(), lcms.size()) << name;
        EXPECT_LE(worst(jpeg, lcms), 3) << name;
        EXPECT_GE(worst(jpeg, stored), 16) << name;
    }
}

// Two running tools each convert through their own scratch file: neither replaces nor removes
// the other's.
TEST_F(ConversionTest, TwoWindowsConvertingInTurnKeepTheirOwnPictures) {
    TForm1 other;
    other.SetToolFolder(tool.path());
    ASSERT_NE(other.ScratchPath(), scratch);
    const QString small = Copy(Picture("rgb24.png"), "small.png");
    const QString shapes = Copy(Fixture("wmf/shapes.wmf"), "shapes.wmf");
    const QString photo = Copy(Picture("photo.pcd"), "photo.pcd");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(form->ConvertToJpeg(round == 0 ? small : photo), scratch);
        EXPECT_EQ(other.ConvertToJpeg(shapes), other.ScratchPath());
        EXPECT_EQ(DecodeJpegFile(scratch).size(), round == 0 ? QSize(64, 48) : QSize(384, 256));
        EXPECT_EQ(DecodeJpegFile(other.ScratchPath()).size(), QSize(300, 200));
    }
    const QString otherFolder = other.ScratchFolder();
    EXPECT_TRUE(QFileInfo(otherFolder).isDir());
    other.FormDestroy();
    EXPECT_FALSE(QFileInfo::exists(otherFolder)); // closing removes its own folder only
    EXPECT_TRUE(QFile::exists(scratch));
}

} // namespace
