#include "framework/cursor_state.h"
#include "framework/exceptions.h"
#include "framework/file_stream.h"
#include "framework/nearest.h"
#include "framework/profile.h"

#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace pelisto;

namespace {

TEST(Nearest, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(Nearest(0.5L), 0);
    EXPECT_EQ(Nearest(1.5L), 2);
    EXPECT_EQ(Nearest(2.5L), 2);
    EXPECT_EQ(Nearest(-0.5L), 0);
    EXPECT_EQ(Nearest(-1.5L), -2);
    EXPECT_EQ(Nearest(204.8L), 205);
    EXPECT_EQ(Nearest(131.4999L), 131);
}

TEST(FileStream, OpenAndCreateErrorsNameTheFile) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("nope.jpg");
    try {
        FileStream s(missing, FileStream::Mode::OpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.message(), "Impossible d'ouvrir le fichier " + missing);
    }
    // A folder is not a file to read, even where the system lets it be opened.
    try {
        FileStream s(dir.path(), FileStream::Mode::OpenRead);
        FAIL() << "opened a folder as a file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.message(), "Impossible d'ouvrir le fichier " + dir.path());
    }
    const QString badFolder = dir.filePath("no/such/folder/out.exe");
    try {
        FileStream s(badFolder, FileStream::Mode::Create);
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& e) {
        // The system's reason follows the name.
        EXPECT_EQ(e.message(), QString::fromUtf8("Impossible de créer le fichier ") + badFolder +
                                   " : " + QString::fromLocal8Bit(std::strerror(ENOENT)));
    }
}

TEST(FileStream, CopiesAndReportsShortReadsAndFullDisks) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.bin");
    {
        FileStream out(a, FileStream::Mode::Create);
        out.WriteBuffer("hello world", 11);
        out.Close();
    }
    FileStream in(a, FileStream::Mode::OpenRead);
    EXPECT_EQ(in.Size(), 11);
    const QString b = dir.filePath("b.bin");
    FileStream out(b, FileStream::Mode::Create);
    EXPECT_EQ(out.CopyFrom(in, 0), 11);
    out.Close();
    QFile check(b);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("hello world"));

    char buf[4];
    in.Seek(9);
    EXPECT_THROW(in.ReadBuffer(buf, 4), EReadError);

    if (QFile::exists("/dev/full")) {
        FileStream full("/dev/full", FileStream::Mode::Create);
        std::vector<char> big(1 << 20, 'x');
        EXPECT_THROW(
            {
                full.WriteBuffer(big.data(), big.size());
                full.Close();
            },
            EWriteError);
    }
}

TEST(Profile, WritesAndReplacesOneEntryKeepingTheRest) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("sub/pl.ini");
    ASSERT_TRUE(WritePrivateProfileString("PictureLib Twain", "App Name", "one", ini));
    ASSERT_TRUE(WritePrivateProfileString("Other", "k", "v", ini));
    ASSERT_TRUE(WritePrivateProfileString("PictureLib Twain", "App Name", "two", ini));
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), "[PictureLib Twain]\nApp Name=two\n[Other]\nk=v\n");
}

TEST(CursorState, PointerHiddenWhileCounterBelowZeroAndHourglassRestored) {
    const int start = PointerDisplayCount();
    EXPECT_EQ(ShowPointer(false), start - 1);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    {
        HourglassCursor busy;
        // Still hidden: the counter wins over the hourglass.
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        EXPECT_EQ(ShowPointer(true), start);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

} // namespace
