#include "app/captions.h"
#include "app/slideshow_builder.h"
#include "framework/exceptions.h"
#include "slideshow/slideshow_format.h"
#include "web/web_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace pelisto;

namespace {

QByteArray Pattern(qsizetype size, char seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + i * 7);
    }
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

// Pictures are "converted" by handing back prepared files, so the byte layout can be checked
// exactly.
class BuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        stub = dir.filePath("TheExe.exe");
        WriteFile(stub, Pattern(51200, 1));
        WriteFile(dir.filePath("a.jpg.out"), Pattern(10000, 2));
        WriteFile(dir.filePath("b.jpg.out"), Pattern(20000, 3));
    }
    PictureConverter Converter() {
        return [this](const QString& picture) {
            converted << picture;
            return picture + ".out";
        };
    }
    QStringList Entries(Qt::SortOrder order = Qt::AscendingOrder) {
        QStringList e{dir.filePath("a.jpg"), dir.filePath("b.jpg")};
        if (order == Qt::DescendingOrder) {
            std::reverse(e.begin(), e.end());
        }
        return e;
    }
    QStringList LeftoverNames() {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeIf([](const QString& n) { return !n.startsWith('.'); });
        return names;
    }

    QTemporaryDir dir;
    QString stub;
    QStringList converted;
};

TEST_F(BuilderTest, LaysOutStubPicturesAndTrailerByteForByte) {
    const QString out = dir.filePath("show.exe");
    BuildSlideshowFile(out, stub, Entries(), {true, 10}, Converter());
    const QByteArray bytes = ReadFile(out);
    ASSERT_EQ(bytes.size(), 81224);
    EXPECT_EQ(bytes.left(51200), Pattern(51200, 1));
    EXPECT_EQ(bytes.mid(51200, 10000), Pattern(10000, 2));
    EXPECT_EQ(bytes.mid(61200, 20000), Pattern(20000, 3));
    const QByteArray trailer = QByteArray::fromHex("00C80000"
                                                   "01"
                                                   "0A00"
                                                   "10270000"
                                                   "204E0000"
                                                   "02000000"
                                                   "5741474F4E");
    EXPECT_EQ(bytes.right(24), trailer);
    EXPECT_EQ(converted, Entries());
    EXPECT_TRUE(QFileInfo(out).isExecutable());
    EXPECT_TRUE(LeftoverNames().isEmpty());
}

TEST_F(BuilderTest, DelayBoundsFlagOffAndListOrder) {
    const QString out = dir.filePath("show.exe");
    BuildSlideshowFile(out, stub, Entries(Qt::DescendingOrder), {false, 65535}, Converter());
    QByteArray bytes = ReadFile(out);
    EXPECT_EQ(bytes.mid(51200, 20000), Pattern(20000, 3)); // b first, as listed
    EXPECT_EQ(bytes.right(24).left(11), QByteArray::fromHex("00C80000"
                                                            "00"
                                                            "FFFF"
                                                            "204E0000"));

    BuildSlideshowFile(out, stub, Entries(), {false, 1}, Converter());
    bytes = ReadFile(out);
    EXPECT_EQ(bytes.right(24).mid(4, 3), QByteArray::fromHex("000100"));
}

TEST_F(BuilderTest, SavingOverALongerFileLeavesNoOldBytes) {
    const QString out = dir.filePath("show.exe");
    WriteFile(out, QByteArray(200000, 'x'));
    BuildSlideshowFile(out, stub, Entries(), {true, 10}, Converter());
    EXPECT_EQ(QFileInfo(out).size(), 81224);
    EXPECT_TRUE(ReadFile(out).endsWith("WAGON"));
}

TEST_F(BuilderTest, AFailedBuildKeepsTheOldFileAndLeavesNoPartialOutput) {
    const QString out = dir.filePath("show.exe");
    WriteFile(out, QByteArray("previous slideshow"));
    auto failing = [this](const QString& picture) -> QString {
        if (picture.endsWith("b.jpg")) {
            throw Exception("Unable to convert " + picture + " to JPEG");
        }
        return picture + ".out";
    };
    EXPECT_THROW(BuildSlideshowFile(out, stub, Entries(), {true, 10}, failing), Exception);
    EXPECT_EQ(ReadFile(out), QByteArray("previous slideshow"));
    EXPECT_TRUE(LeftoverNames().isEmpty()) << LeftoverNames().join(",").toStdString();

    // A converted file that vanished before it was copied: the framework's open error.
    auto vanishing = [](const QString& picture) { return picture + ".gone"; };
    try {
        BuildSlideshowFile(out, stub, Entries(), {true, 10}, vanishing);
        FAIL() << "built from a missing JPEG";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(e.message().startsWith("Impossible d'ouvrir le fichier "));
    }
    EXPECT_EQ(ReadFile(out), QByteArray("previous slideshow"));
}

TEST_F(BuilderTest, UnwritableFolderRaisesTheCreateErrorNamingTheTarget) {
    const QString out = dir.filePath("missing-folder/show.exe");
    try {
        BuildSlideshowFile(out, stub, Entries(), {true, 10}, Converter());
        FAIL() << "wrote into a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("Impossible de créer le fichier ") + out + " : " +
                                   QString::fromLocal8Bit(std::strerror(ENOENT)));
    }
    EXPECT_TRUE(converted.isEmpty());
}

// A worker that writes a picture's "JPEG" (bytes made from its name) row by row; one picture
// may stand for the user pressing Cancel half way through it, and one may fail.
class FakeWorker final : public PictureWorker {
public:
    struct Plan {
        QString cancelsAt; // picture whose tenth row sets the flag below
        std::atomic<bool>* flag = nullptr;
        QString fails; // picture whose conversion raises its own error
        std::atomic<int>* rowsAfterCancel = nullptr;
    };
    explicit FakeWorker(const Plan& plan) : plan_(plan) {}
    void SetCancelFlag(const std::atomic<bool>* cancel) override { cancel_ = cancel; }
    QString Convert(const QString& picture, const QString& folder) override {
        QByteArray bytes;
        for (int row = 0; row < 200; ++row) {
            // Read before the worker's own look at its flag: set here, it is seen there.
            const bool pressed = plan_.flag != nullptr && plan_.flag->load();
            if (cancel_ != nullptr && cancel_->load()) {
                throw Exception(picture + ": cancelled at row " + QString::number(row));
            }
            if (pressed) {
                ++*plan_.rowsAfterCancel;
            }
            if (row == 10 && picture == plan_.cancelsAt) {
                *plan_.flag = true;
            }
            bytes += picture.toUtf8().right(1 + row % 7);
        }
        if (picture == plan_.fails) {
            throw Exception("Unable to convert " + picture + " to JPEG: damaged");
        }
        const QString jpeg = folder + QFileInfo(picture).fileName() + ".jpg";
        WriteFile(jpeg, bytes);
        return jpeg;
    }

private:
    Plan plan_;
    const std::atomic<bool>* cancel_ = nullptr;
};

// Pictures converted on several threads reach the file in list order, the same bytes as one by
// one; a failing picture raises its own error in its turn; Cancel stops the picture in progress
// at its next row, keeps the old file and reports no error. Run under ThreadSanitizer too
// (scripts/tsan.sh): the JPEGs change hands between threads here.
TEST_F(BuilderTest, ConversionOnSeveralThreadsHandsEachJpegOverInTurn) {
    QStringList pictures;
    for (int i = 0; i < 23; ++i) {
        pictures << dir.filePath(QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0')));
    }
    const QString out = dir.filePath("show.exe");
    QByteArray single;
    for (const int workers : {1, 2, 3, 8}) {
        std::atomic<bool> cancel{false};
        QTemporaryDir scratch;
        BuildSlideshowFile(
            out, stub, pictures, {true, 10}, workers, scratch.path(),
            [] { return std::make_unique<FakeWorker>(FakeWorker::Plan{}); }, {}, &cancel);
        const QByteArray bytes = ReadFile(out);
        if (single.isEmpty()) {
            single = bytes;
            EXPECT_EQ(ReadSlideshowFile(out.toStdString()).pictures.size(), 23u);
        }
        EXPECT_TRUE(bytes == single) << workers << " workers wrote another file";
        EXPECT_TRUE(QDir(scratch.path()).isEmpty()) << workers << " workers left JPEGs behind";
    }

    struct Row {
        int workers;
        int cancelsAt; // -1: never
        int fails;     // -1: none
    };
    for (const Row row : {Row{2, -1, 7}, Row{4, -1, 0}, Row{1, 5, -1}, Row{3, 9, -1},
                          Row{2, 22, -1}, Row{3, 4, 4}}) {
        SCOPED_TRACE(::testing::Message() << row.workers << " workers, cancel at " << row.cancelsAt
                                          << ", failing " << row.fails);
        WriteFile(out, "previous slideshow");
        std::atomic<bool> cancel{false};
        std::atomic<int> rowsAfterCancel{0};
        FakeWorker::Plan plan;
        plan.flag = &cancel;
        plan.rowsAfterCancel = &rowsAfterCancel;
        if (row.cancelsAt >= 0) {
            plan.cancelsAt = pictures[row.cancelsAt];
        }
        if (row.fails >= 0) {
            plan.fails = pictures[row.fails];
        }
        QTemporaryDir scratch;
        try {
            BuildSlideshowFile(
                out, stub, pictures, {true, 10}, row.workers, scratch.path(),
                [plan] { return std::make_unique<FakeWorker>(plan); }, {}, &cancel);
            ADD_FAILURE() << "the build went through";
        } catch (const EAbort&) {
            EXPECT_GE(row.cancelsAt, 0) << "aborted without a cancel";
        } catch (const Exception& e) {
            EXPECT_LT(row.cancelsAt, 0)
                << "a cancelled build reported " << e.message().toStdString();
            EXPECT_EQ(e.message(),
                      "Unable to convert " + pictures[row.fails] + " to JPEG: damaged");
        }
        // The picture in progress stopped at its next row; no other picture started after.
        EXPECT_EQ(rowsAfterCancel.load(), 0);
        EXPECT_EQ(ReadFile(out), QByteArray("previous slideshow"));
        EXPECT_TRUE(LeftoverNames().isEmpty()) << LeftoverNames().join(",").toStdString();
        EXPECT_TRUE(QDir(scratch.path()).isEmpty());
    }
}

// Hands back the prepared file of a picture, as the one-by-one converter above does.
class PreparedFile final : public PictureWorker {
public:
    QString Convert(const QString& picture, const QString& folder) override {
        const QString jpeg = folder + QFileInfo(picture).fileName();
        QFile::copy(picture + ".out", jpeg);
        return jpeg;
    }
};

TEST_F(BuilderTest, WhatItWritesReadsBackThroughTheSlideshowReader) {
    const QString out = dir.filePath("show.exe");
    BuildSlideshowFile(out, stub, Entries(), {true, 7}, Converter());
    const SlideshowLayout layout = ReadSlideshowFile(out.toStdString());
    EXPECT_EQ(layout.stubLength, 51200u);
    EXPECT_TRUE(layout.automatic);
    EXPECT_EQ(layout.delaySeconds, 7);
    ASSERT_EQ(layout.pictures.size(), 2u);
    EXPECT_EQ(layout.pictures[1].offset, 61200u);
    EXPECT_EQ(layout.pictures[1].length, 20000u);

    // With playback options each picture carries them, and a caption only the one that has it;
    // the reader that knows only the trailer still finds pictures that decode, both in the
    // program and in the page.
    for (const char* name : {"a.jpg.out", "b.jpg.out"}) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(name[0] == 'a' ? Qt::red : Qt::blue);
        ASSERT_TRUE(image.save(dir.filePath(name), "JPG"));
    }
    const SlideshowSettings options{false, 3, {true, true, 1500}, {"", "Été à Nice"}};
    BuildSlideshowFile(out, stub, Entries(), options, Converter());
    const SlideshowLayout withOptions = ReadSlideshowFile(out.toStdString());
    ASSERT_EQ(withOptions.pictures.size(), 2u);
    const QByteArray bytes = ReadFile(out);
    const auto jpegAt = [&](const auto& picture) {
        return bytes.mid(static_cast<qsizetype>(picture.offset),
                         static_cast<qsizetype>(picture.length));
    };
    const auto span = [](const QByteArray& b) {
        return std::span(reinterpret_cast<const std::uint8_t*>(b.constData()),
                         static_cast<std::size_t>(b.size()));
    };
    const QStringList pictures = Entries();
    QTemporaryDir scratch;
    const QString page = dir.filePath("show.html");
    BuildSlideshowFile(page, WebPageWords{"en", {}, {}}, pictures, options, 2, scratch.path(),
                       [] { return std::make_unique<PreparedFile>(); });
    const auto read = ReadWebPage(ReadFile(page));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->play, options.play);
    for (std::size_t i = 0; i < 2; ++i) {
        const QByteArray jpeg = jpegAt(withOptions.pictures[i]);
        EXPECT_EQ(read->pictures[i], jpeg) << i;
        EXPECT_EQ(ReadPlayOptions(span(jpeg)), (PictureOptions{options.play, options.captions[i]}))
            << i;
        EXPECT_EQ(QImage::fromData(jpeg).pixelColor(20, 15).red() > 200, i == 0) << i;
        EXPECT_EQ(jpeg.size(), ReadFile(pictures[i] + ".out").size() + 2 + 20 +
                                   static_cast<qsizetype>(options.captions[i].size()))
            << i;
    }
    EXPECT_TRUE(ReadFile(page).contains("data-caption=\"Été à Nice\"")) << "only the second";
    EXPECT_EQ(ReadFile(page).count("data-caption="), 1);
}

// A photo's EXIF block as a camera writes it: the first directory points at the EXIF
// directory, which holds DateTimeOriginal (ASCII, 20 bytes) at `dateAt` from the block's start.
QByteArray ExifTiff(bool little, const QByteArray& date, quint32 dateAt = 44, quint16 type = 2,
                    quint32 count = 20) {
    QByteArray t;
    const auto put = [&](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = little ? 8 * i : 8 * (bytes - 1 - i);
            t += static_cast<char>((v >> shift) & 0xFF);
        }
    };
    t += little ? "II" : "MM";
    put(42, 2);
    put(8, 4);
    put(1, 2); // the first directory: the EXIF directory's place
    put(0x8769, 2), put(4, 2), put(1, 4), put(26, 4), put(0, 4);
    put(1, 2); // the EXIF directory: the date
    put(0x9003, 2), put(type, 2), put(count, 4), put(dateAt, 4), put(0, 4);
    return t + date + QByteArray(1, '\0');
}

QByteArray JpegWithExif(const QByteArray& tiff) {
    const QByteArray payload = "Exif" + QByteArray(2, '\0') + tiff;
    QByteArray jpeg = QByteArray::fromHex("FFD8FFE1");
    jpeg += static_cast<char>((payload.size() + 2) >> 8);
    jpeg += static_cast<char>((payload.size() + 2) & 0xFF);
    return jpeg + payload + QByteArray::fromHex("FFDA0002");
}

// The date taken is read from the EXIF directory of a JPEG or a TIFF, in either byte order; a
// blank or zero date, a directory entry of the wrong type or too short, or a date that lies past
// the end, gives no caption rather than a wrong one or a read out of bounds.
TEST(Captions, TheDateTakenIsReadFromTheExifBlockWhenItIsSound) {
    const QByteArray date = "2024:07:14 18:32:05";
    struct Case {
        QByteArray file;
        std::string caption;
    };
    const Case cases[] = {
        {JpegWithExif(ExifTiff(false, date)), "2024-07-14 18:32"},
        {JpegWithExif(ExifTiff(true, date)), "2024-07-14 18:32"},
        {ExifTiff(true, date), "2024-07-14 18:32"},
        {JpegWithExif(ExifTiff(false, "    :  :     :  :  ")), ""},
        {JpegWithExif(ExifTiff(false, "0000:00:00 00:00:00")), ""},
        {JpegWithExif(ExifTiff(false, "2024:07:1A 18:32:05")), ""},
        {JpegWithExif(ExifTiff(false, date, 50)), ""},
        {JpegWithExif(ExifTiff(false, date, 0xFFFFFFF0u)), ""},
        {JpegWithExif(ExifTiff(false, date, 44, 7)), ""},
        {JpegWithExif(ExifTiff(false, date, 44, 2, 10)), ""},
        {JpegWithExif(ExifTiff(false, date).left(40)), ""},
        {QByteArray::fromHex("FFD8FFE000104A46494600"), ""},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.jpg");
    for (const Case& c : cases) {
        WriteFile(path, c.file);
        EXPECT_EQ(CaptionText(CaptionKind::DateTaken, path, path, {}), c.caption)
            << c.file.toHex().toStdString();
    }
    EXPECT_EQ(CaptionText(CaptionKind::FileName, path, "/trip/Été.jpg", "own"), "Été.jpg");
    EXPECT_EQ(CaptionText(CaptionKind::OwnText, path, path, " At the port "), "At the port");
    EXPECT_EQ(CaptionText(CaptionKind::None, path, path, "own"), "");
}

} // namespace
