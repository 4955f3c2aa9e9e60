#include "picture_test_support.h"

#include "../support/fake_dialogs.h"
#include "codeclib/codec_api.h"
#include "codeclib/exif_orientation.h"
#include "picture/call_guard.h"
#include "picture/codec_library.h"
#include "picture/jpeg_turn.h"

#include <QFile>
#include <QProcess>
#include <csignal>
#include <sys/mman.h>
#include <sys/stat.h>

using namespace pelisto;
using namespace pelisto::testing;

namespace {

QByteArray Contents(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Pillow's reading of a file, through a PNG it writes.
QImage ReadWithPillow(const QString& name, const QString& scratch) {
    const int rc = QProcess::execute("/usr/bin/python3",
                                     {"-c",
                                      "import sys; from PIL import Image; "
                                      "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2])",
                                      name, scratch});
    return rc == 0 ? QImage(scratch).convertToFormat(QImage::Format_RGB32) : QImage();
}

TEST(Saving, EveryWriterReadsBackInAnIndependentDecoder) {
    QTemporaryDir dir;
    TMultiPicture picture;
    picture.SetImageName(Fixture("still.gif")); // 200 colours: exact even at 8 bits
    const QImage original = Shown(picture);
    ASSERT_FALSE(original.isNull());
    struct Case {
        const char* file;
        bool (PictureWork::*save)(const QString&);
        int tolerance;
    };
    for (const Case& c :
         {Case{"out.bmp", &PictureWork::SaveAsBmp, 0}, Case{"out.png", &PictureWork::SaveAsPng, 0},
          Case{"out.gif", &PictureWork::SaveAsGif, 0}, Case{"out.pcx", &PictureWork::SaveAsPcx, 0},
          Case{"out.jpg", &PictureWork::SaveAsJpeg, 10}}) {
        const QString target = dir.filePath(c.file);
        picture.SetJPegSaveQuality(95);
        EXPECT_TRUE((picture.*c.save)(target)) << c.file;
        EXPECT_EQ(picture.DefSaveFilename(), target);
        const QImage back = ReadWithPillow(target, dir.filePath("check.png"));
        if (c.tolerance == 0) {
            EXPECT_EQ(MaxDifference(back, original), 0) << c.file;
        } else {
            EXPECT_LE(MeanDifference(back, original), c.tolerance) << c.file;
        }
        EXPECT_GE(MaxDifference(back, original), 0) << c.file;
    }
    // The picture itself is untouched by saving.
    EXPECT_EQ(Shown(picture), original);
}

TEST(Saving, InterlacedPngAndJpegQualityAreHonoured) {
    QTemporaryDir dir;
    TMultiPicture picture;
    picture.SetImageName(Fixture("rgb24.png"));
    picture.SetPNGInterLaced(true);
    ASSERT_TRUE(picture.SaveAsPng(dir.filePath("i.png")));
    // The interlace method is the last byte of the header chunk.
    EXPECT_EQ(Contents(dir.filePath("i.png")).at(28), 1);
    picture.SetJPegSaveQuality(10);
    ASSERT_TRUE(picture.SaveAsJpeg(dir.filePath("low.jpg")));
    picture.SetJPegSaveQuality(100);
    ASSERT_TRUE(picture.SaveAsJpeg(dir.filePath("high.jpg")));
    const QImage original = Shown(picture);
    EXPECT_LT(Contents(dir.filePath("low.jpg")).size(), Contents(dir.filePath("high.jpg")).size());
    EXPECT_LT(MeanDifference(QImage(dir.filePath("high.jpg")).convertToFormat(QImage::Format_RGB32),
                             original),
              MeanDifference(QImage(dir.filePath("low.jpg")).convertToFormat(QImage::Format_RGB32),
                             original));
    picture.SetImageWriteRes(sJpegGray);
    ASSERT_TRUE(picture.SaveAsJpeg(dir.filePath("gray.jpg")));
    EXPECT_TRUE(QImage(dir.filePath("gray.jpg")).isGrayscale());
}

TEST(Saving, QualityAndSmoothingClamps) {
    TMultiPicture picture;
    EXPECT_EQ(picture.JPegSaveQuality(), 25);
    EXPECT_EQ(picture.JPegSaveSmooth(), 0);
    const std::pair<int, int> quality[] = {{0, 25}, {101, 25}, {255, 25}, {1, 1}, {100, 100}};
    for (auto [in, out] : quality) {
        picture.SetJPegSaveQuality(in);
        EXPECT_EQ(picture.JPegSaveQuality(), out) << in;
    }
    const std::pair<int, int> smooth[] = {{0, 5}, {101, 5}, {255, 5}, {1, 1}, {100, 100}};
    for (auto [in, out] : smooth) {
        picture.SetJPegSaveSmooth(in);
        EXPECT_EQ(picture.JPegSaveSmooth(), out) << in;
    }
}

// A failed save answers false and leaves what was there before.
TEST(Saving, FailuresAnswerFalseAndLeaveTheOldFile) {
    QTemporaryDir dir;
    TMultiPicture picture;
    EXPECT_FALSE(picture.SaveAsJpeg(dir.filePath("empty.jpg"))) << "empty picture";
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.jpg")));
    picture.SetImageName(Fixture("rgb24.png"));
    TMultiPicture fresh;
    fresh.SetImageName(Fixture("rgb24.png"));
    EXPECT_FALSE(fresh.SaveAsJpeg("")) << "no previous target";

    const QString locked = dir.filePath("locked.png");
    ASSERT_TRUE(QFile::copy(Fixture("pal8.png"), locked));
    const QByteArray before = Contents(locked);
    ::chmod(QFile::encodeName(locked).constData(), 0444);
    if (::geteuid() != 0) {
        EXPECT_FALSE(picture.SaveAsPng(locked));
        EXPECT_EQ(Contents(locked), before);
    }
    EXPECT_FALSE(picture.SaveAsPng("/dev/full"));
    EXPECT_FALSE(picture.SaveAsJpeg("/dev/full"));
    EXPECT_FALSE(picture.SaveAsBmp(dir.filePath("no/such/folder/x.bmp")));
    // Nothing half-written is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(Saving, ExistingFileIsReplacedWholeKeepingItsPermissions) {
    QTemporaryDir dir;
    const QString target = dir.filePath("keep.bmp");
    ASSERT_TRUE(QFile::copy(Fixture("pal8.bmp"), target));
    ::chmod(QFile::encodeName(target).constData(), 0640);
    TMultiPicture picture;
    picture.SetImageName(Fixture("rgb24.bmp"));
    ASSERT_TRUE(picture.SaveAsBmp(target));
    struct stat st {};
    ::stat(QFile::encodeName(target).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(MaxDifference(QImage(target).convertToFormat(QImage::Format_RGB32), Shown(picture)),
              0);
}

TEST(Rotation, QuarterTurnsMoveCornersAndComeBack) {
    for (const char* file : {"rgb24.png", "mono1.bmp", "pal4.bmp", "pal8.png"}) {
        TMultiPicture picture;
        picture.SetImageReadRes(lColorTrue);
        picture.SetImageName(Fixture(file));
        const QImage original = Shown(picture);
        ASSERT_EQ(original.size(), QSize(64, 48)) << file;
        picture.RotateQuarter();
        const QImage turned = Shown(picture);
        ASSERT_EQ(turned.size(), QSize(48, 64)) << file;
        EXPECT_EQ(turned.pixel(0, 0), original.pixel(63, 0)) << file;
        EXPECT_EQ(turned.pixel(47, 63), original.pixel(0, 47)) << file;
        EXPECT_EQ(turned.pixel(10, 20), original.pixel(63 - 20, 10)) << file;
        picture.RotateQuarter();
        picture.RotateQuarter();
        picture.RotateQuarter();
        EXPECT_EQ(Shown(picture), original) << file;
    }
}

// A turn that cannot be made raises, so no caller goes on with the unturned picture: an empty
// picture, and a processing library without its turn.
TEST(Rotation, TurnsThatCannotBeMadeRaiseAndLeaveThePicture) {
    TMultiPicture empty;
    EXPECT_THROW(empty.RotateQuarter(), ErrorInvalid);
    TMultiPicture picture;
    picture.SetImageName(Fixture("rgb24.png"));
    const QImage before = Shown(picture);
    // A library that loads but lacks the entry: the other codec library.
    CodecLibrary::Get(CodecLibrary::Processing)
        .SetFileName(CodecLibrary::Get(CodecLibrary::Main).FileName());
    EXPECT_THROW(picture.RotateQuarter(), ErrorInvalid);
    CodecLibrary::Get(CodecLibrary::Processing).SetFileName({});
    EXPECT_EQ(Shown(picture), before);
}

TEST(Guard, FaultInsideALibraryCallIsShownAndTheCallFails) {
    pelisto::testing::ScopedFakeDialogs dialogs;
    EXPECT_FALSE(CallGuarded([] { std::raise(SIGSEGV); }));
    EXPECT_FALSE(CallGuarded([] { std::raise(SIGFPE); }));
    ASSERT_EQ(dialogs->boxes.size(), 2u);
    EXPECT_EQ(dialogs->boxes[0].text, QString::fromLatin1(LibraryFaultText));
    EXPECT_TRUE(CallGuarded([] {}));

    // A real fault inside the processing library: a picture block that cannot be read.
    const long page = sysconf(_SC_PAGESIZE);
    void* bad = mmap(nullptr, static_cast<std::size_t>(page), PROT_NONE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(bad, MAP_FAILED);
    auto rotate =
        reinterpret_cast<PLRotate_t>(CodecLibrary::Get(CodecLibrary::Processing).Entry("PLRotate"));
    ASSERT_NE(rotate, nullptr);
    void* result = reinterpret_cast<void*>(1);
    EXPECT_FALSE(CallGuarded([&] { result = rotate(bad, 90.0, 0, 0, 1, 1, 0); }));
    EXPECT_EQ(dialogs->boxes.size(), 3u);
    munmap(bad, static_cast<std::size_t>(page));
    // The tool goes on: the library still works afterwards.
    TMultiPicture picture;
    picture.SetImageName(Fixture("rgb24.png"));
    picture.RotateQuarter();
    EXPECT_EQ(Shown(picture).size(), QSize(48, 64));
}

// A damaged photo never makes the turn read or write outside its bytes: it fails with a reason,
// or gives a JPEG whose orientation says how the turned picture is shown. One photo's blocks
// can move, the other's EXIF block gets the orientation added.
TEST(Rotation, LosslessTurnsOfDamagedPhotosFailOrGiveSoundFiles) {
    for (const char* name : {"camera.jpg", "exif_date.jpg"}) {
        SCOPED_TRACE(name);
        QFile file(Fixture(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray photo = file.readAll();
        ASSERT_FALSE(TurnJpeg(photo, 2).data.isEmpty());
        std::uint32_t seed = 977;
        int turned = 0;
        for (int copy = 0; copy < 300; ++copy) {
            QByteArray damaged = copy % 3 == 0 ? photo.left(copy * 7) : photo;
            for (int change = 0; copy % 3 != 0 && change < 1 + copy % 5; ++change) {
                seed = seed * 1664525u + 1013904223u;
                damaged[static_cast<qsizetype>((seed >> 8) % 700)] = static_cast<char>(seed >> 24);
            }
            // The date is read from the same damaged bytes: a cut copy gives the photo's or none.
            const std::string date =
                exif::JpegDateTaken(reinterpret_cast<const std::uint8_t*>(damaged.data()),
                                    static_cast<std::size_t>(damaged.size()));
            EXPECT_TRUE(copy % 3 != 0 || date.empty() || date == "2024:05:17 10:11:12") << date;
            const TurnedJpeg result = TurnJpeg(damaged, 1 + copy % 3);
            if (result.data.isEmpty()) {
                EXPECT_FALSE(result.error.isEmpty());
                continue;
            }
            ++turned;
            ASSERT_TRUE(result.data.startsWith("\xFF\xD8"));
            const auto orientation = [](const QByteArray& jpeg) {
                return exif::JpegOrientation(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                             static_cast<std::size_t>(jpeg.size()));
            };
            EXPECT_EQ(orientation(result.data),
                      result.blocksMoved
                          ? exif::Upright
                          : exif::TurnedOrientation(orientation(damaged), 1 + copy % 3));
        }
        EXPECT_GT(turned, 20);
    }
}

// The date taken lies in the Exif directory the first directory points to, in either byte
// order; a date cut short, blank or pointing outside the block is no date.
TEST(ExifDate, ComesFromTheExifDirectoryOrIsNone) {
    const auto ofFile = [](const char* name) {
        QFile file(Fixture(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        return exif::JpegDateTaken(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   static_cast<std::size_t>(bytes.size()));
    };
    EXPECT_EQ(ofFile("camera.jpg"), "2024:05:17 10:11:12");    // beside other tags
    EXPECT_EQ(ofFile("exif_date.jpg"), "2024:05:17 10:11:12"); // alone
    for (const char* none : {"baseline.jpg", "orient6_le.jpg", "full_exif.jpg", "rgb24.png"}) {
        EXPECT_EQ(ofFile(none), "") << none;
    }
    // A little-endian block: the first directory's pointer to the Exif directory, then the date.
    const auto block = [](std::uint32_t exifAt, std::uint32_t count, std::uint32_t dateAt,
                          const char* date, std::size_t keep) {
        std::string b("Exif\0\0II*\0", 10);
        const auto u16 = [&](std::uint32_t v) { b += char(v & 0xFF), b += char(v >> 8); };
        const auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
        u32(8);
        u16(1), u16(0x8769), u16(4), u32(1), u32(exifAt), u32(0);
        u16(1), u16(0x9003), u16(2), u32(count), u32(dateAt), u32(0);
        b.append(date, 20);
        b.resize(std::min(b.size(), keep));
        return exif::DateTakenOfApp1(reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
    };
    const char* date = "2023:12:31 23:59:58";
    EXPECT_EQ(block(26, 20, 44, date, 100), date);
    EXPECT_EQ(block(26, 20, 44, "0000:00:00 00:00:00", 100), "");
    EXPECT_EQ(block(26, 20, 44, "    :  :     :  :  ", 100), "");
    EXPECT_EQ(block(26, 4, 44, date, 100), "");           // too short to be a date
    EXPECT_EQ(block(26, 20, 44, date, 6 + 44 + 18), "");  // cut inside the date
    EXPECT_EQ(block(26, 20, 0xFFFFFFF0u, date, 100), ""); // the date's offset past the block
    EXPECT_EQ(block(0xFFFFFFF0u, 20, 44, date, 100), ""); // the Exif directory past the block
}

} // namespace
