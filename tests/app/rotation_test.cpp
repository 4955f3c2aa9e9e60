#include "framework/cursor_state.h"
#include "framework/dialogs.h"
#include "framework/graphics/bitmap.h"
#include "started_tool.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImageReader>
#include <QMenu>
#include <QScrollBar>
#include <QTransform>

#include <QColorSpace>
#include <QProcess>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <optional>
#include <sys/resource.h>

using namespace pelisto;
using pelisto::testing::FileBytes;
using pelisto::testing::QuadrantColours;
using pelisto::testing::QuadrantPattern;

namespace {

// The luminance quantisation table of a JPEG file, in the order the file stores it.
std::optional<std::array<int, 64>> LuminanceTable(const QByteArray& jpeg) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(jpeg[i]); };
    qsizetype pos = 2;
    while (pos + 4 <= jpeg.size() && byte(pos) == 0xFF) {
        const unsigned marker = byte(pos + 1);
        const qsizetype length = byte(pos + 2) * 256 + byte(pos + 3);
        if (marker == 0xDA) {
            break;
        }
        if (marker == 0xDB) {
            qsizetype at = pos + 4;
            while (at < pos + 2 + length) {
                const unsigned precision = byte(at) >> 4;
                const unsigned id = byte(at) & 15;
                std::array<int, 64> table{};
                for (int i = 0; i < 64; ++i) {
                    table[i] = precision != 0u ? byte(at + 1 + 2 * i) * 256 + byte(at + 2 + 2 * i)
                                               : byte(at + 1 + i);
                }
                if (id == 0) {
                    return table;
                }
                at += 1 + (precision != 0u ? 128 : 64);
            }
        }
        pos += 2 + length;
    }
    return std::nullopt;
}

// The quality 1..100 whose scaled standard luminance table the file carries; 0 for none.
int JpegQuality(const QByteArray& jpeg) {
    static const int standard[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                     58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                     22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                     77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                     103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
    static const int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    const auto table = LuminanceTable(jpeg);
    if (!table) {
        return 0;
    }
    for (int q = 1; q <= 100; ++q) {
        const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
        bool same = true;
        for (int i = 0; i < 64 && same; ++i) {
            const int expected = std::clamp((standard[zigzag[i]] * scale + 50) / 100, 1, 255);
            same = (*table)[i] == expected;
        }
        if (same) {
            return q;
        }
    }
    return 0;
}

// Every quantised DCT coefficient of a JPEG file, component after component, as libjpeg reads
// them; empty when the file cannot be read.
struct CoefficientReader {
    jpeg_decompress_struct d{};
    struct Errors {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
    } err{};
    ~CoefficientReader() { jpeg_destroy_decompress(&d); }
};

std::vector<JCOEF> JpegCoefficients(const QByteArray& jpeg) {
    CoefficientReader r;
    r.d.err = jpeg_std_error(&r.err.pub);
    r.err.pub.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<CoefficientReader::Errors*>(c->err)->jump, 1);
    };
    std::vector<JCOEF> all;
    if (setjmp(r.err.jump) != 0) {
        return {};
    }
    jpeg_create_decompress(&r.d);
    jpeg_mem_src(&r.d, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&r.d, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&r.d);
    for (int c = 0; c < r.d.num_components; ++c) {
        const jpeg_component_info& info = r.d.comp_info[c];
        for (JDIMENSION row = 0; row < info.height_in_blocks; ++row) {
            JBLOCKARRAY blocks = r.d.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&r.d),
                                                             arrays[c], row, 1, FALSE);
            for (JDIMENSION col = 0; col < info.width_in_blocks; ++col) {
                all.insert(all.end(), blocks[0][col], blocks[0][col] + DCTSIZE2);
            }
        }
    }
    return all;
}

// Largest channel difference of two pictures of the same size; -1 when the sizes differ.
int MaxDifference(const QImage& a, const QImage& b) {
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

// What a picture file holds, as Qt's own readers see it: every frame as stored (alpha and 16-bit
// channels kept), its text, colour profile and pixel shape.
struct FileContent {
    QList<QImage> frames;
    QMap<QString, QString> text;
    QByteArray profile;
    int dotsX = 0;
    int dotsY = 0;
};

FileContent Content(const QString& path) {
    FileContent held;
    QImageReader reader(path);
    reader.setAutoTransform(false);
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
        held.frames << frame;
        if (held.frames.size() == 1) {
            for (const QString& key : frame.textKeys()) {
                held.text[key] = frame.text(key);
            }
            held.profile = frame.colorSpace().iccProfile();
            held.dotsX = frame.dotsPerMeterX();
            held.dotsY = frame.dotsPerMeterY();
        }
        if (!reader.supportsAnimation()) {
            break;
        }
    }
    return held;
}

// A frame's pixels at 16 bits a channel with alpha, and the format it was read in.
std::pair<QImage::Format, QByteArray> Pixels(const QImage& frame) {
    const QImage wide = frame.convertToFormat(QImage::Format_RGBA64);
    QByteArray bytes;
    for (int y = 0; y < wide.height(); ++y) {
        bytes.append(reinterpret_cast<const char*>(wide.constScanLine(y)), wide.width() * 8);
    }
    return {frame.format(), bytes};
}

// An EXIF tag as exiftool reads it (empty for none).
QString ExifTag(const QString& path, const QString& tag = QStringLiteral("Orientation")) {
    QProcess exiftool;
    exiftool.start("/usr/bin/exiftool", {"-s", "-s", "-s", "-n", "-" + tag, path});
    exiftool.waitForFinished(30000);
    return QString::fromUtf8(exiftool.readAllStandardOutput()).trimmed();
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool MeasuresMemory = false; // the sanitizer's shadow memory swells it
#else
constexpr bool MeasuresMemory = true;
#endif

// A line of /proc/self/status in KiB (VmRSS now, VmHWM the peak).
long StatusKiB(const char* field) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                .trimmed()
                .split(' ')[0]
                .toLong();
        }
    }
    return -1;
}

// How far the resident memory rose above where it stood while body ran (KiB).
template <typename Body> long PeakRiseKiB(Body&& body) {
    QFile clear("/proc/self/clear_refs");
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) {
        return -1;
    }
    clear.close();
    const long before = StatusKiB("VmRSS:");
    body();
    return StatusKiB("VmHWM:") - before;
}

// Makes every write of the process fail once a file would grow beyond the limit, even for
// root; the previous soft limit and signal disposition come back at the end of the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
    bool ok_ = false;
};

// Passes every box on to the installed provider and notes the screen cursor it was shown with:
// a box that comes up under the hourglass tells the user the tool is still busy.
class CursorAtBoxes final : public DialogProvider {
public:
    CursorAtBoxes() = default;
    std::vector<ScreenCursor> cursors;
    std::unique_ptr<DialogProvider> inner;
    int messageBox(const MessageBoxRequest& request) override {
        cursors.push_back(CurrentScreenCursor());
        return inner->messageBox(request);
    }
    std::optional<QStringList> openFiles(const OpenDialogRequest& request) override {
        return inner->openFiles(request);
    }
    std::optional<QString> saveFile(const SaveDialogRequest& request) override {
        return inner->saveFile(request);
    }
};

class ScopedCursorAtBoxes {
public:
    ScopedCursorAtBoxes() {
        auto recorder = std::make_unique<CursorAtBoxes>();
        recorder_ = recorder.get();
        recorder_->inner = SetDialogProvider(std::move(recorder));
    }
    ~ScopedCursorAtBoxes() { SetDialogProvider(std::move(recorder_->inner)); }
    ScopedCursorAtBoxes(const ScopedCursorAtBoxes&) = delete;
    ScopedCursorAtBoxes& operator=(const ScopedCursorAtBoxes&) = delete;
    const std::vector<ScreenCursor>& cursors() const { return recorder_->cursors; }

private:
    CursorAtBoxes* recorder_;
};

class RotationTest : public pelisto::testing::StartedTool {
protected:
    void Turn(QAction* command) { command->trigger(); }
    void Acw() { Turn(form->N90antihoraire1); }
    void Cw() { Turn(form->N90horaire1); }
    void HalfTurn() { Turn(form->N1801); }

    // The pixels of a picture file as the codec library reads them, with a reader of our own.
    QImage Decode(const QString& path) {
        TMultiPicture reader;
        reader.Loaded();
        reader.SetImageName(path);
        TBitmap* bitmap = reader.HeldBitmap();
        return bitmap != nullptr ? bitmap->ToImage().convertToFormat(QImage::Format_RGB32)
                                 : QImage();
    }
    static QImage Turned(const QImage& image, int degrees) {
        return image.transformed(QTransform().rotate(degrees));
    }
    QStringList Leftovers() {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
};

TEST_F(RotationTest, LosslessFormatsTurnExactlyAndComeBackAfterFourQuarterTurns) {
    struct Case {
        QString path;
        QByteArray magic;
    };
    const std::vector<Case> cases{
        {Write("detail.Png", pelisto::testing::DetailPattern(37, 23), "PNG"), "\x89PNG"},
        {Write("detail.BMP", pelisto::testing::DetailPattern(41, 19), "BMP"), "BM"},
        {CopyFixture("pictures/rgb24.pcx", "rgb24.pcx"), QByteArray("\x0A", 1)},
        {CopyFixture("pictures/pal8.pcx", "pal8.PCX"), QByteArray("\x0A", 1)},
        {CopyFixture("pictures/still.gif", "still.gif"), "GIF8"},
    };
    QStringList paths;
    for (const Case& c : cases) {
        paths << c.path;
    }
    Choose(paths);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const QImage original = Decode(c.path);
        ASSERT_FALSE(original.isNull());
        Select(c.path);

        Acw(); // the top row becomes the left column, read upwards
        EXPECT_EQ(Decode(c.path), Turned(original, -90));
        EXPECT_TRUE(FileBytes(c.path).startsWith(c.magic));
        Cw();
        EXPECT_EQ(Decode(c.path), original);
        Cw();
        EXPECT_EQ(Decode(c.path), Turned(original, 90));
        Acw();
        HalfTurn();
        EXPECT_EQ(Decode(c.path), Turned(original, 180));
        HalfTurn();
        EXPECT_EQ(Decode(c.path), original);
        for (int i = 0; i < 4; ++i) {
            Acw();
        }
        EXPECT_EQ(Decode(c.path), original);
        EXPECT_TRUE(FileBytes(c.path).startsWith(c.magic));
    }
    EXPECT_TRUE(dialogs->boxes.empty());
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(RotationTest, JpegTurnsKeepTheirOrientationAndThePreviewFollows) {
    const QString acw = Write("acw.jpg", QuadrantPattern(640, 480), "JPG", 95);
    const QString cw = Write("cw.JPG", QuadrantPattern(640, 480), "JPG", 95);
    const QString thrice = Write("thrice.jpg", QuadrantPattern(640, 480), "JPG", 95);
    const QString half = Write("half.jpg", QuadrantPattern(640, 480), "JPG", 95);
    Choose({acw, cw, thrice, half});
    const std::array<int, 4> upright{0, 1, 2, 3};
    const std::array<int, 4> turnedLeft{1, 3, 0, 2};
    const std::array<int, 4> turnedRight{2, 0, 3, 1};
    const std::array<int, 4> upsideDown{3, 2, 1, 0};
    const auto look = [](const QString& path) {
        QImageReader reader(path);
        reader.setAutoTransform(false);
        EXPECT_EQ(reader.format(), "jpeg");
        return QuadrantColours(reader.read());
    };

    Select(acw);
    EXPECT_EQ(ui().Image->geometry(), QRect(26, 53, 212, 159));
    Acw();
    EXPECT_EQ(QImageReader(acw).size(), QSize(480, 640));
    EXPECT_EQ(look(acw), turnedLeft);
    EXPECT_EQ(ui().Image->geometry(), QRect(53, 26, 159, 212));
    for (int i = 0; i < 3; ++i) {
        Acw();
    }
    EXPECT_EQ(QImageReader(acw).size(), QSize(640, 480));
    EXPECT_EQ(look(acw), upright);
    EXPECT_EQ(ui().Image->geometry(), QRect(26, 53, 212, 159));

    Select(cw);
    Cw();
    EXPECT_EQ(look(cw), turnedRight);
    EXPECT_EQ(ui().Image->geometry(), QRect(53, 26, 159, 212));
    Select(thrice);
    for (int i = 0; i < 3; ++i) {
        Acw();
    }
    EXPECT_EQ(look(thrice), turnedRight);

    Select(half);
    const QByteArray before = FileBytes(half);
    HalfTurn();
    EXPECT_NE(FileBytes(half), before); // written again, not left alone
    EXPECT_EQ(QImageReader(half).size(), QSize(640, 480));
    EXPECT_EQ(look(half), upsideDown);
    HalfTurn();
    EXPECT_EQ(look(half), upright);
    EXPECT_EQ(FileBytes(half), before); // the blocks moved back, nothing was encoded again
    EXPECT_TRUE(dialogs->boxes.empty());
}

// A JPEG whose size does not let its blocks move (partial blocks at an edge) keeps them as they
// are and says the turn in its EXIF orientation: not a pixel is encoded again, whatever the
// quality bar or the latest conversion say.
TEST_F(RotationTest, JpegWhoseBlocksCannotMoveSaysTheTurnInItsOrientation) {
    const QString photo = Write("photo.jpg", pelisto::testing::DetailPattern(97, 65), "JPG", 90);
    const QString png = Write("other.png", QuadrantPattern(64, 48), "PNG");
    ASSERT_EQ(JpegQuality(FileBytes(photo)), 90); // the estimate reads Qt's encoder right too
    const auto blocks = JpegCoefficients(FileBytes(photo));
    const QImage upright = Decode(photo);
    Choose({photo});
    Select(photo);

    ui().ScrollBar1->setValue(30);
    Acw();
    QImageReader viewer(photo); // a viewer that applies the orientation itself
    viewer.setAutoTransform(true);
    EXPECT_EQ(viewer.read(), Turned(QImageReader(photo).read(), -90));
    EXPECT_EQ(Decode(photo), Turned(upright, -90));
    EXPECT_GT(ui().Image->height(), ui().Image->width()); // the preview shows it upright
    EXPECT_EQ(JpegCoefficients(FileBytes(photo)), blocks);
    EXPECT_EQ(JpegQuality(FileBytes(photo)), 90);
    ui().ScrollBar1->setValue(40);
    form->ConvertToJpeg(png);
    Cw();
    EXPECT_EQ(Decode(photo), upright);
    EXPECT_EQ(JpegCoefficients(FileBytes(photo)), blocks);
    // The work buffer keeps the quality of the latest conversion for the slideshow.
    EXPECT_EQ(ui().Tampon->JPegSaveQuality(), 40);
    EXPECT_TRUE(dialogs->boxes.empty());
}

// Camera photos (EXIF orientation 6, date, camera, GPS, ICC profile, comment) turn upright in
// every viewer and keep what they say about themselves, whether their size lets the blocks
// move as they are or the orientation says the turn.
TEST_F(RotationTest, PhotosKeepTheirMetadataAndShowUprightEverywhere) {
    const QString even = CopyFixture("pictures/camera.jpg", "camera.jpg");
    const QString odd = CopyFixture("pictures/camera_odd.jpg", "camera_odd.jpg");
    Choose({even, odd});
    for (const QString& path : {even, odd}) {
        SCOPED_TRACE(path.toStdString());
        const QImage shown = Decode(path); // upright, as the orientation says
        Select(path);
        Cw(); // with the orientation, a half turn of the stored blocks
        const QImage expected = Turned(shown, 90);
        // Moved blocks decode within rounding; blocks that stay decode as they did.
        EXPECT_LE(MaxDifference(Decode(path), expected), 2);
        QImageReader other(path); // a viewer that applies the orientation itself
        other.setAutoTransform(true);
        EXPECT_EQ(other.read().size(), expected.size());
        QProcess exiftool;
        exiftool.start("/usr/bin/exiftool",
                       {"-s", "-s", "-s", "-n", "-Orientation", "-DateTimeOriginal", "-Make",
                        "-Model", "-GPSLatitude", "-ProfileDescription", "-Comment", path});
        ASSERT_TRUE(exiftool.waitForFinished(30000));
        // The even photo's blocks turn upright; the odd one's stay and its orientation says the
        // half turn from there.
        const QString orientation = path == even ? "1" : "3";
        EXPECT_EQ(QString::fromUtf8(exiftool.readAllStandardOutput()).split('\n'),
                  (QStringList{orientation, "2024:05:17 10:11:12", "Pelisto Test", "Fixture Cam",
                               "48.8566", "sRGB built-in", "Fixture comment", ""}));
    }
    EXPECT_TRUE(dialogs->boxes.empty());
}

// Four quarter turns of a JPEG whose size allows it give back the very DCT blocks.
TEST_F(RotationTest, FourQuarterTurnsGiveBackTheSameBlocks) {
    const QString photo = Write("blocks.jpg", pelisto::testing::DetailPattern(160, 96), "JPG", 85);
    const auto before = JpegCoefficients(FileBytes(photo));
    ASSERT_FALSE(before.empty());
    Choose({photo});
    Select(photo);
    for (int i = 0; i < 4; ++i) {
        Acw();
        if (i == 0) {
            EXPECT_NE(JpegCoefficients(FileBytes(photo)), before);
        }
    }
    EXPECT_EQ(JpegCoefficients(FileBytes(photo)), before);
    for (int i = 0; i < 4; ++i) {
        Cw();
    }
    EXPECT_EQ(JpegCoefficients(FileBytes(photo)), before);
    EXPECT_TRUE(dialogs->boxes.empty());
}

// Turning writes back everything the file holds, not a flattened copy: every frame of an
// animation, transparency per pixel and per palette entry, 16 bits a channel, text, colour
// profile and pixel shape (whose sides swap with the picture's).
TEST_F(RotationTest, TurnsKeepEverythingTheFileHolds) {
    struct Case {
        const char* fixture;
        int frames;
    };
    const Case cases[] = {{"frames.gif", 3},
                          {"rgba.png", 1},
                          {"trns_pal.png", 1},
                          {"deep16.png", 1},
                          {"chunks.png", 1}};
    QStringList paths;
    for (const Case& c : cases) {
        paths << CopyFixture(QStringLiteral("pictures/") + c.fixture, c.fixture);
    }
    Choose(paths);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const QString& path = paths[static_cast<qsizetype>(i)];
        SCOPED_TRACE(path.toStdString());
        const FileContent before = Content(path);
        ASSERT_EQ(before.frames.size(), cases[i].frames);
        Select(path);
        Acw();
        const FileContent after = Content(path);
        EXPECT_EQ(after.frames.size(), before.frames.size());
        for (qsizetype f = 0; f < std::min(before.frames.size(), after.frames.size()); ++f) {
            EXPECT_EQ(Pixels(after.frames[f]), Pixels(Turned(before.frames[f], -90)))
                << "frame " << f;
        }
        EXPECT_EQ(after.text, before.text);
        EXPECT_EQ(after.profile, before.profile);
        EXPECT_EQ(after.dotsX, before.dotsY);
        EXPECT_EQ(after.dotsY, before.dotsX);
        Cw();
        const FileContent back = Content(path);
        EXPECT_EQ(back.frames.size(), before.frames.size());
        for (qsizetype f = 0; f < std::min(before.frames.size(), back.frames.size()); ++f) {
            EXPECT_EQ(Pixels(back.frames[f]), Pixels(before.frames[f])) << "frame " << f;
        }
    }
    EXPECT_TRUE(dialogs->boxes.empty());
}

// The most common camera size, 4000 x 3000 in 4:2:0, has a half block row at its foot: turned
// clockwise four times, its blocks stay while the orientation says the turn and move only when
// the turn lets them, so they come back exactly.
TEST_F(RotationTest, TwelveMegapixelPhotoTurnsFourTimesWithoutEncoding) {
    const QString photo = CopyFixture("pictures/photo12mp.jpg", "photo12mp.jpg");
    const QByteArray original = FileBytes(photo);
    const auto blocks = JpegCoefficients(original);
    ASSERT_FALSE(blocks.empty());
    ASSERT_EQ(ExifTag(photo), "");
    Choose({photo});
    Select(photo);
    QImage expected = QImageReader(photo).read();
    const char* orientations[] = {"6", "3", "1", "1"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        Cw();
        expected = Turned(expected, 90);
        EXPECT_EQ(ExifTag(photo), orientations[i]);
        EXPECT_EQ(ExifTag(photo, "DateTimeOriginal"), "2024:05:17 10:11:12");
        if (i < 2) {
            EXPECT_EQ(JpegCoefficients(FileBytes(photo)), blocks);
        }
        QImageReader viewer(photo);
        viewer.setAutoTransform(true);
        // Moved blocks decode within the rounding of their colour's upsampling.
        EXPECT_LE(MaxDifference(viewer.read(), expected), 4);
    }
    EXPECT_EQ(JpegCoefficients(FileBytes(photo)), blocks);
    EXPECT_EQ(QImageReader(photo).size(), QSize(4000, 3000));
    EXPECT_TRUE(dialogs->boxes.empty());
}

// A turn that cannot be made says why and writes nothing: a picture over the limit or whose
// file cannot hold its claimed size (refused before the transform allocates for it), and a
// photo whose blocks cannot move and whose EXIF block has no room left for an orientation.
TEST_F(RotationTest, ATurnThatCannotBeMadeSaysWhyAndWritesNothing) {
    struct Case {
        const char* fixture;
        const char* cause;
    };
    const Case cases[] = {
        {"pictures/bombs/baseline.jpg", "Picture too large: 40000 x 40000 pixels"},
        {"pictures/bombs/claim.jpg", "too few for a 16000 x 15000 picture"},
        {"pictures/bombs/text_chunk.png", "the tEXt chunk claims 2147483648 bytes"},
        {"pictures/full_exif.jpg", "no room for the orientation"},
        // Formats that can only be written again by encoding them anew (lossless WebP too:
        // the tool does not write WebP at all).
        {"pictures/heic_turn.heic", "cannot be written again without losing picture quality"},
        {"pictures/avif_land.avif", "cannot be written again without losing picture quality"},
        {"pictures/webp_lossless.webp", "cannot be written again without losing picture quality"},
        {"pictures/jxl_turn.jxl", "cannot be written again without losing picture quality"},
    };
    // Listed while they were ordinary pictures (the bombs are refused when added), then
    // replaced.
    QStringList paths;
    for (const Case& c : cases) {
        const QString name = QFileInfo(c.fixture).fileName();
        const bool bomb = name.endsWith(".png") || name.endsWith(".jpg");
        paths << CopyFixture(!bomb                   ? c.fixture
                             : name.endsWith(".png") ? "pictures/rgb24.png"
                                                     : "pictures/baseline.jpg",
                             name);
    }
    Choose(paths);
    for (const Case& c : cases) {
        CopyFixture(c.fixture, QFileInfo(c.fixture).fileName());
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const QString& path = paths[static_cast<qsizetype>(i)];
        SCOPED_TRACE(path.toStdString());
        const QByteArray before = FileBytes(path);
        Select(path);
        const QStringList files = Leftovers();
        dialogs->boxes.clear();
        const long rise = PeakRiseKiB([&] { Cw(); });
        ASSERT_EQ(dialogs->boxes.size(), 1u);
        EXPECT_EQ(dialogs->boxes[0].icon, MsgBoxIcon::Error);
        EXPECT_TRUE(dialogs->boxes[0].text.contains(QLatin1String(cases[i].cause)))
            << dialogs->boxes[0].text.toStdString();
        EXPECT_EQ(FileBytes(path), before);
        EXPECT_EQ(Leftovers(), files);
        EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
        if (MeasuresMemory) {
            EXPECT_GE(rise, 0);
            EXPECT_LE(rise, 100 * 1024);
        }
    }
}

TEST_F(RotationTest, AVanishedFileIsReportedAndNothingChanges) {
    const QString photo = Write("vanished.jpg", QuadrantPattern(300, 400), "JPG");
    const QString other = Write("stays.png", QuadrantPattern(20, 10), "PNG");
    Choose({other, photo});
    Select(photo);
    const QRect shown = ui().Image->geometry();
    ASSERT_TRUE(QFile::remove(photo));
    const QStringList before = Leftovers();

    const ScopedCursorAtBoxes watch;
    Cw();
    EXPECT_EQ(watch.cursors(), std::vector<ScreenCursor>{ScreenCursor::Default});
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].title, "Avertissement");
    EXPECT_EQ(dialogs->boxes[0].text, photo + " missing.");
    EXPECT_EQ(dialogs->boxes[0].icon, MsgBoxIcon::Warning);
    ASSERT_EQ(dialogs->boxes[0].buttons.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].buttons[0].caption, "OK");
    EXPECT_FALSE(QFile::exists(photo));
    EXPECT_EQ(Leftovers(), before);
    EXPECT_EQ(form->Pictures(), (QStringList{other, photo}));
    // The preview is not refreshed.
    EXPECT_EQ(ui().Image->ImageName(), photo);
    EXPECT_EQ(ui().Image->geometry(), shown);
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(RotationTest, AFailedWriteIsReportedAndLeavesTheFileAsItWas) {
    const QString photo = Write("big.jpg", pelisto::testing::DetailPattern(640, 480), "JPG", 95);
    const QString bitmap = Write("big.bmp", pelisto::testing::DetailPattern(200, 100), "BMP");
    const QString png = Write("big.png", pelisto::testing::DetailPattern(200, 100), "PNG");
    Choose({photo, bitmap, png});
    const QStringList files = Leftovers();

    for (const QString& path : {photo, bitmap, png}) {
        SCOPED_TRACE(path.toStdString());
        dialogs->boxes.clear();
        const QByteArray before = FileBytes(path);
        ASSERT_GT(before.size(), 4096);
        Select(path);
        const QRect shown = ui().Image->geometry();
        {
            FileSizeLimit limit(2048);
            ASSERT_TRUE(limit.ok());
            // The limit really bites: a plain write past it fails.
            QFile probe(Path("probe.bin"));
            ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
            const bool probeWritten = probe.write(QByteArray(4096, 'x')) == 4096 && probe.flush();
            probe.close();
            QFile::remove(Path("probe.bin"));
            ASSERT_FALSE(probeWritten);

            const ScopedCursorAtBoxes watch;
            Acw();
            EXPECT_EQ(watch.cursors(), std::vector<ScreenCursor>{ScreenCursor::Default});
        }
        ASSERT_EQ(dialogs->boxes.size(), 1u);
        EXPECT_EQ(dialogs->boxes[0].title, "Erreur");
        EXPECT_EQ(dialogs->boxes[0].text, "Impossible to save the modified picture.");
        EXPECT_EQ(FileBytes(path), before);
        EXPECT_EQ(Leftovers(), files);
        // The preview shows what the file holds: the picture as it was.
        EXPECT_EQ(ui().Image->geometry(), shown);
        EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
    }
}

TEST_F(RotationTest, TheContextMenuOffersRotationOnlyForFormatsThatCanBeWrittenBack) {
    const QString jpg = Write("menu.jpg", QuadrantPattern(64, 48), "JPG");
    const QString tif = Path("menu.tif");
    // Offered so that the turn can say why it is refused.
    const QString heic = CopyFixture("pictures/heic_land.heic", "menu.HEIC");
    Choose({tif, jpg, heic});
    const auto openMenu = [&](int row) {
        const QPoint at = List().visualItemRect(List().item(row)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, List().viewport()->mapToGlobal(at));
        QApplication::sendEvent(List().viewport(), &event);
        EXPECT_TRUE(form->PopupMenu1->isVisible());
        const bool offered = form->Rotation1->menuAction()->isEnabled();
        form->PopupMenu1->hide();
        return offered;
    };
    Select(heic);
    EXPECT_TRUE(openMenu(RowOf(heic)));
    Select(jpg);
    EXPECT_TRUE(openMenu(RowOf(jpg)));
    Select(tif);
    EXPECT_FALSE(openMenu(RowOf(tif)));
}

TEST_F(RotationTest, APictureThatCannotBeReadIsReportedAndNotWritten) {
    // Listed while it was a picture, then spoiled: it is no longer refused when added.
    const QString noise = Write("noise.jpg", pelisto::testing::QuadrantPattern(40, 30), "JPG");
    Choose({noise});
    {
        QFile f(noise);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("not a picture ").repeated(100));
    }
    const QByteArray before = FileBytes(noise);
    Select(noise);
    Acw();
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].icon, MsgBoxIcon::Error);
    EXPECT_EQ(FileBytes(noise), before);
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

} // namespace
