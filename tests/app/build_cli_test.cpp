#include "app/main_window.h"
#include "controls/num_spin_edit.h"
#include "framework/graphics/graphic.h"
#include "picture/jpeg_image.h"
#include "slideshow/slideshow_format.h"
#include "slideshow_test_support.h"
#include "support/fake_dialogs.h"
#include "ui_main_window.h"

#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pelisto;
using namespace pelisto::testing;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the real pelisto-build from the build's bin folder.
class BuildCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterJPEGGraphic(); }

    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    Outcome Build(const QStringList& args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(QStringLiteral(PELISTO_BIN_DIR "/pelisto-build"), args);
        EXPECT_TRUE(p.waitForFinished(120000)) << "pelisto-build did not finish";
        Outcome r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    // Files other than those named: what a failed build may have left behind.
    QStringList Leftovers(const QStringList& expected = {}) {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString& e : expected) {
            names.removeAll(e);
        }
        return names;
    }

    void ExpectRefused(const QStringList& args, const QString& said) {
        const Outcome r = Build(args);
        EXPECT_NE(r.exitCode, 0) << args.join(' ').toStdString();
        EXPECT_NE(r.exitCode, -1) << "crashed: " << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(said)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath("out.exe"))) << args.join(' ').toStdString();
        EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(',').toStdString();
    }

    QTemporaryDir dir;
};

TEST_F(BuildCommandTest, WritesTheSameBytesAsTheWindowsSaveCommand) {
    const QStringList pictures{Fixture("wmf/shapes.wmf"), Picture("multi.ico"),
                               Picture("rgb24.tga"),      Picture("lzw.tif"),
                               Picture("still.gif"),      Picture("progressive.jpg")};
    const QString cli = dir.filePath("cli.exe");
    const Outcome r =
        Build(QStringList{"-q", "40", "--auto", "--delay", "7", "-o", cli} << pictures);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    // A progress line per picture, in order, and nothing on the error channel.
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), pictures.size() + 1) << r.out.toStdString();
    for (int i = 0; i < pictures.size(); ++i) {
        EXPECT_TRUE(lines[i].startsWith(QString("[%1/%2]").arg(i + 1).arg(pictures.size())));
        EXPECT_TRUE(lines[i].endsWith(pictures[i])) << lines[i].toStdString();
    }
    EXPECT_TRUE(lines.last().contains(cli));
    EXPECT_FALSE(r.err.contains("pelisto-build")) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo(cli).isExecutable());

    // The window, with the same list and settings and the same stub.
    ScopedFakeDialogs dialogs;
    QTemporaryDir tool;
    TForm1 form;
    form.SetToolFolder(tool.path());
    WriteAll(form.StubPath(), ReadAll(QStringLiteral(PELISTO_BIN_DIR "/TheExe.exe")));
    QStringList reversed = pictures;
    std::reverse(reversed.begin(), reversed.end());
    dialogs->openAnswers.push_back(reversed);
    form.Button1Click();
    ASSERT_EQ(form.Pictures(), pictures);
    form.ui().ScrollBar1->setValue(40);
    form.ui().CheckBox1->setChecked(true);
    form.ui().NumSpinEdit1->SetValue(7);
    const QString window = dir.filePath("window.exe");
    dialogs->saveAnswers.push_back(window);
    form.Button2Click();

    const QByteArray a = ReadAll(cli);
    const QByteArray b = ReadAll(window);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b) << "the command line and the window wrote different slideshows";
    const SlideshowLayout layout = ReadSlideshowFile(cli.toStdString());
    EXPECT_TRUE(layout.automatic);
    EXPECT_EQ(layout.delaySeconds, 7);
    EXPECT_EQ(layout.pictures.size(), 6u);
}

// The stub follows --target, else the output name; the window's file type picks the same stub
// and writes the same bytes.
TEST_F(BuildCommandTest, TheTargetPicksTheStubAsTheWindowsFileTypeDoes) {
    const QByteArray windowsStub = ReadAll(QStringLiteral(PELISTO_BIN_DIR "/TheExe.exe"));
    const QByteArray linuxStub = ReadAll(QStringLiteral(PELISTO_BIN_DIR "/TheExe.run"));
    ASSERT_TRUE(windowsStub.startsWith("MZ"));
    ASSERT_TRUE(linuxStub.startsWith("\x7F"
                                     "ELF"));
    const QString picture = Picture("rgb24.png");

    ScopedFakeDialogs dialogs;
    QTemporaryDir tool;
    TForm1 form;
    form.SetToolFolder(tool.path());
    WriteAll(form.StubPath(SlideshowTarget::Windows), windowsStub);
    WriteAll(form.StubPath(SlideshowTarget::Linux), linuxStub);
    dialogs->openAnswers.push_back(QStringList{picture});
    form.Button1Click();
    // Saved as typed, saved as "show" (the type's extension is added) and as "other.exe" with
    // the Linux type (the type decides the stub, whatever the name).
    struct Save {
        QString answer;
        int type;
        QString written;
    };
    for (const Save& save : {Save{"window.exe", 1, "window.exe"}, Save{"show", 2, "show.run"},
                             Save{"other.exe", 2, "other.exe"}}) {
        dialogs->saveAnswers.push_back(dir.filePath(save.answer));
        dialogs->saveTypes.push_back(save.type);
        form.Button2Click();
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(save.written))) << save.written.toStdString();
    }
    EXPECT_EQ(dialogs->saves.back().filter, "Program (*.exe)|*.exe|Linux program (*.run)|*.run");
    EXPECT_EQ(dialogs->saves.back().filterIndex, 2) << "the dialog opens on the last type chosen";
    const QByteArray windows = ReadAll(dir.filePath("window.exe"));
    const QByteArray linux = ReadAll(dir.filePath("show.run"));
    EXPECT_TRUE(windows.startsWith(windowsStub));
    EXPECT_TRUE(linux.startsWith(linuxStub));
    EXPECT_EQ(ReadAll(dir.filePath("other.exe")), linux);

    struct Case {
        QStringList args;
        QString output;
        const QByteArray* same;
    };
    for (const Case& c : {Case{{}, "cli.exe", &windows}, Case{{}, "UPPER.EXE", &windows},
                          Case{{}, "cli.run", &linux}, Case{{}, "noext", &linux},
                          Case{{"--target", "windows"}, "forced.bin", &windows},
                          Case{{"--target", "linux"}, "forced.exe", &linux}}) {
        const QString out = dir.filePath(c.output);
        const Outcome r = Build(QStringList(c.args) << "-o" << out << picture);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(ReadAll(out) == *c.same) << c.output.toStdString();
    }
}

TEST_F(BuildCommandTest, DefaultsAreTheWindowsStartingSettings) {
    const QString out = dir.filePath("out.exe");
    const Outcome r = Build({"-o", out, Picture("rgb24.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const SlideshowLayout layout = ReadSlideshowFile(out.toStdString());
    EXPECT_FALSE(layout.automatic);
    EXPECT_EQ(layout.delaySeconds, 10);

    // Relative picture and output names are taken from the working folder.
    CopyAs(Picture("rgb24.bmp"), dir.filePath("here.bmp"));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(PELISTO_BIN_DIR "/pelisto-build"), {"-o", "rel.exe", "here.bmp"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(ReadSlideshowFile(dir.filePath("rel.exe").toStdString()).pictures.size(), 1u);
}

TEST_F(BuildCommandTest, BadArgumentsAreRefusedWithAMessage) {
    const QString out = dir.filePath("out.exe");
    const QString png = Picture("rgb24.png");
    ExpectRefused({}, "usage:");
    ExpectRefused({"-o", out}, "usage:");
    ExpectRefused({png}, "usage:");
    ExpectRefused({png, "-o"}, "-o needs a file name");
    ExpectRefused({"-o", out, "-q", "0", png}, "-q needs a quality from 1 to 100");
    ExpectRefused({"-o", out, "-q", "101", png}, "-q needs a quality");
    ExpectRefused({"-o", out, "-q", "high", png}, "-q needs a quality");
    ExpectRefused({"-o", out, png, "-q"}, "-q needs a quality");
    ExpectRefused({"-o", out, "--delay", "0", png}, "--delay needs a whole number");
    ExpectRefused({"-o", out, "--delay", "65536", png}, "--delay needs a whole number");
    ExpectRefused({"-o", out, "--delay", "2.5", png}, "--delay needs a whole number");
    ExpectRefused({"-o", out, "--fast", png}, "unknown option --fast");
    ExpectRefused({"-o", out, "--target", "mac", png}, "--target needs windows or linux");
    ExpectRefused({"-o", out, png, "--target"}, "--target needs windows or linux");
}

TEST_F(BuildCommandTest, MissingOrBrokenPicturesStopTheBuildAndLeaveNoOutput) {
    const QString out = dir.filePath("out.exe");
    const QString missing = dir.filePath("nowhere.png");
    ExpectRefused({"-o", out, Picture("rgb24.png"), missing}, missing + ": no such file");

    for (const char* name : {"damaged/rgb24_png_cut10.png", "damaged/text.jpg"}) {
        const QString broken = Picture(name);
        ExpectRefused({"-o", out, Picture("rgb24.png"), broken}, broken);
    }
    QTemporaryDir pictures;
    const QString wmf = CopyAs(Picture("rgb24.png"), pictures.filePath("fake.wmf"));
    ExpectRefused({"-o", out, wmf}, wmf);

    // An existing slideshow stays as it was.
    WriteAll(out, "older slideshow");
    const Outcome r = Build({"-o", out, Picture("damaged/text.jpg")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(ReadAll(out), QByteArray("older slideshow"));
    EXPECT_EQ(Leftovers({"out.exe"}), QStringList{});

    // An output folder that does not exist.
    const QString nowhere = dir.filePath("no/such/folder/out.exe");
    const Outcome bad = Build({"-o", nowhere, Picture("rgb24.png")});
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_TRUE(bad.err.contains(nowhere)) << bad.err.toStdString();
}

} // namespace
