#include "app/slideshow_builder.h"
#include "framework/exceptions.h"
#include "slideshow/slideshow_format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

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
}

} // namespace
