#include "app/main_window.h"
#include "controls/num_spin_edit.h"
#include "framework/graphics/graphic.h"
#include "picture/jpeg_image.h"
#include "slideshow/play_options.h"
#include "slideshow/slideshow_format.h"
#include "slideshow_test_support.h"
#include "support/fake_dialogs.h"
#include "ui_main_window.h"
#include "web/web_page.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

using namespace pelisto;
using namespace pelisto::testing;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray rawOut;
    QByteArray rawErr;
};

const QString BuildProgram = QStringLiteral(PELISTO_BIN_DIR "/pelisto-build");

// A shell word that gives these bytes whatever they are (QProcess passes only text).
QString ShellBytes(const QByteArray& bytes) {
    QString word = QStringLiteral("\"$(printf '");
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '/' || c == '.' || c == '_') {
            word += QLatin1Char(c);
        } else {
            word += QStringLiteral("\\%1").arg(u, 3, 8, QLatin1Char('0'));
        }
    }
    return word + QStringLiteral("')\"");
}

// How many entries a folder named in any bytes holds (Qt cannot open it by name).
int EntriesOf(const QByteArray& folder) {
    DIR* d = ::opendir(folder.constData());
    if (d == nullptr) {
        return -1;
    }
    int n = 0;
    while (const dirent* e = ::readdir(d)) {
        n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
    }
    ::closedir(d);
    return n;
}

// Removes what a test made under names Qt cannot hold (QTemporaryDir cannot remove them).
struct RemovedByBytes {
    QByteArray path;
    ~RemovedByBytes() {
        ::nftw(
            path.constData(),
            [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
};

bool IsFileNamed(const QByteArray& bytes) {
    struct stat st {};
    return ::stat(bytes.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Runs the real pelisto-build from the build's bin folder.
class BuildCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterJPEGGraphic(); }

    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Qt makes its runtime folder in TMPDIR when none is set (and says so): one of its own.
    QProcessEnvironment Environment() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        return env;
    }

    Outcome Build(const QStringList& args) { return Build(args, Environment()); }

    Outcome Build(const QStringList& args, const QProcessEnvironment& env) {
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.setProcessEnvironment(env);
        p.start(BuildProgram, args);
        return Finish(p);
    }

    // Runs pelisto-build with arguments given as bytes, from the test's folder.
    Outcome BuildBytes(const std::vector<QByteArray>& args) {
        QString command = QStringLiteral("exec ") + ShellBytes(QFile::encodeName(BuildProgram));
        for (const QByteArray& a : args) {
            command += QLatin1Char(' ') + ShellBytes(a);
        }
        QProcess p;
        p.setProcessEnvironment(Environment());
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        return Finish(p);
    }

    static Outcome Finish(QProcess& p) {
        EXPECT_TRUE(p.waitForFinished(120000)) << "pelisto-build did not finish";
        Outcome r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.rawOut = p.readAllStandardOutput();
        r.rawErr = p.readAllStandardError();
        r.out = QString::fromLocal8Bit(r.rawOut);
        r.err = QString::fromLocal8Bit(r.rawErr);
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
    QTemporaryDir runtime;
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
    // Chosen one at a time, so the list keeps the command line's order.
    for (const QString& picture : pictures) {
        dialogs->openAnswers.push_back(QStringList{picture});
        form.Button1Click();
    }
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

// However many pictures are converted at once, the slideshow is the same, byte for byte: every
// format, pictures of different sizes finishing out of turn, a list longer than the pictures in
// flight.
TEST_F(BuildCommandTest, ConvertingAtOnceWritesTheSameBytesAsOneByOne) {
    QStringList pictures;
    for (const char* name :
         {"camera.jpg", "multi.ico", "rgb24.bmp", "pal8.png", "interlaced.png", "rgb24.pcx",
          "rle24.tga", "pages3.tif", "orient6.tif", "animated.gif", "photo.pcd", "gray.jpg",
          "mono1.bmp", "cmyk_adobe.jpg", "orient6.jpg", "pal4.bmp"}) {
        pictures << Picture(QString::fromLatin1(name));
    }
    pictures.insert(3, Fixture("wmf/shapes.wmf"));
    pictures << Picture("camera.jpg") << Fixture("wmf/shapes.wmf");
    QByteArray first;
    // Every picture fits a 4K screen, so choosing that size converts them as their own size does.
    for (const QStringList& options :
         {QStringList{"-j", "1"}, QStringList{"-j", "4", "--fit", "original"},
          QStringList{"-j", "3", "--fit", "4k"}, QStringList{"-j", "2"}}) {
        const QString jobs = options[1];
        const QString out = dir.filePath(QStringLiteral("j%1.run").arg(jobs));
        const Outcome r = Build(QStringList(options) << "-o" << out << pictures);
        ASSERT_EQ(r.exitCode, 0) << jobs.toStdString() << ": " << r.err.toStdString();
        // The progress lines keep the list's order.
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), pictures.size() + 1) << r.out.toStdString();
        EXPECT_TRUE(lines[5].endsWith(pictures[5])) << lines[5].toStdString();
        const QByteArray bytes = ReadAll(out);
        if (first.isEmpty()) {
            first = bytes;
            EXPECT_EQ(ReadSlideshowFile(out.toStdString()).pictures.size(),
                      static_cast<std::size_t>(pictures.size()));
        } else {
            EXPECT_TRUE(bytes == first)
                << options.join(' ').toStdString() << " wrote another slideshow than -j 1";
        }
    }
    EXPECT_TRUE(Leftovers({"j1.run", "j2.run", "j3.run", "j4.run"}).isEmpty())
        << Leftovers({"j1.run", "j2.run", "j3.run", "j4.run"}).join(',').toStdString();
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
    // the Linux type (the typed extension decides, as it does here).
    struct Save {
        QString answer;
        int type;
        QString written;
    };
    for (const Save& save : {Save{"window.exe", 1, "window.exe"}, Save{"show", 2, "show.run"},
                             Save{"other.exe", 2, "other.exe"}, Save{"page", 3, "page.html"}}) {
        dialogs->saveAnswers.push_back(dir.filePath(save.answer));
        dialogs->saveTypes.push_back(save.type);
        form.Button2Click();
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(save.written))) << save.written.toStdString();
    }
    EXPECT_EQ(dialogs->saves.back().filter, "Program (*.exe)|*.exe|Linux program (*.run)|*.run|"
                                            "Web page (*.html)|*.html|"
                                            "Signed program (*.exe)|*.exe");
    EXPECT_EQ(dialogs->saves.back().filterIndex, 1) << "the dialog opens on the last type saved";
    const QByteArray windows = ReadAll(dir.filePath("window.exe"));
    const QByteArray linux = ReadAll(dir.filePath("show.run"));
    EXPECT_TRUE(windows.startsWith(windowsStub));
    EXPECT_TRUE(linux.startsWith(linuxStub));
    EXPECT_EQ(ReadAll(dir.filePath("other.exe")), windows);

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

    // A web page holds the program's very JPEGs, in list order, with its settings; the window's
    // third type, a .html or .htm name and --target web all make one. Its title is its name.
    const auto jpegsOf = [](const QString& program) {
        const std::string path = program.toStdString();
        const SlideshowLayout layout = ReadSlideshowFile(path);
        std::vector<QByteArray> jpegs;
        for (const PictureSlice& slice : layout.pictures) {
            const auto bytes = ReadPicture(FileByteSource(path), slice);
            jpegs.emplace_back(reinterpret_cast<const char*>(bytes.data()),
                               static_cast<qsizetype>(bytes.size()));
        }
        return jpegs;
    };
    const QStringList two{picture, Picture("camera.jpg")};
    ASSERT_EQ(
        Build(QStringList{"--auto", "--delay", "7", "-o", dir.filePath("two.exe")} << two).exitCode,
        0);
    struct Page {
        QStringList args;
        QString output;
        QString program;
    };
    for (const Page& p :
         {Page{{}, "page.html", "window.exe"},
          Page{{"--auto", "--delay", "7"}, "two.html", "two.exe"},
          Page{{"--auto", "--delay", "7"}, "TWO.HTM", "two.exe"},
          Page{{"--auto", "--delay", "7", "--target", "web"}, "two.exe.page", "two.exe"},
          // A name that would read as markup or as one of the template's placeholders.
          Page{{"--auto", "--delay", "7"}, "<b>&{{SCRIPT}}.html", "two.exe"}}) {
        const QString out = dir.filePath(p.output);
        if (p.output != "page.html") {
            const Outcome r = Build(QStringList(p.args) << "-o" << out << two);
            ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        }
        const QByteArray bytes = ReadAll(out);
        QString why;
        const auto content = ReadWebPage(bytes, &why);
        ASSERT_TRUE(content) << p.output.toStdString() << ": " << why.toStdString();
        EXPECT_TRUE(content->pictures == jpegsOf(dir.filePath(p.program)))
            << p.output.toStdString();
        const SlideshowLayout program = ReadSlideshowFile(dir.filePath(p.program).toStdString());
        EXPECT_EQ(content->automatic, program.automatic) << p.output.toStdString();
        EXPECT_EQ(content->delaySeconds, program.delaySeconds) << p.output.toStdString();
        EXPECT_TRUE(bytes.contains("<title>" + p.output.toHtmlEscaped().toUtf8() + "</title>"))
            << p.output.toStdString();
        EXPECT_EQ(bytes.count("<script>"), 1) << p.output.toStdString();
        EXPECT_FALSE(QFileInfo(out).isExecutable()) << "a page is a document";
        // A page cut short is refused rather than read with a picture missing.
        EXPECT_FALSE(ReadWebPage(bytes.left(bytes.lastIndexOf("</template>") - 10)));
    }
}

TEST_F(BuildCommandTest, DefaultsAreTheWindowsStartingSettings) {
    const QString out = dir.filePath("out.exe");
    // Run as from cron or su, with no runtime folder: nothing but its own lines.
    QProcessEnvironment bare = Environment();
    bare.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const Outcome r = Build({"-o", out, Picture("rgb24.png")}, bare);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(r.out.count('\n'), 2) << r.out.toStdString();
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

// A slideshow over 25 MB is made all the same (status 0), and standard error says that most
// mail services will refuse it, naming the sizes smaller than the one it was made at; pictures
// larger than the chosen size are fitted to it.
TEST_F(BuildCommandTest, ASlideshowTooLargeForMailIsSaidSoWithTheSmallerSizes) {
    QImage noise(3000, 2000, QImage::Format_RGB32);
    std::uint32_t seed = 1;
    for (int y = 0; y < noise.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = 0xFF000000u | (seed >> 8);
        }
    }
    const QString picture = dir.filePath("noise.png");
    ASSERT_TRUE(noise.save(picture));
    const QString all = "4K screen (3840 x 2160), Full HD screen (1920 x 1080), Small screen "
                        "(1280 x 720)";
    struct Case {
        const char* fit;
        QString named; // empty: no warning
        QSize size;
    };
    for (const Case& c : {Case{"original", all, {3000, 2000}},
                          Case{"4k",
                               "Smaller sizes: Full HD screen (1920 x 1080), Small screen "
                               "(1280 x 720)",
                               {3000, 2000}},
                          Case{"3000x2000",
                               "Smaller sizes: Full HD screen (1920 x 1080), Small "
                               "screen (1280 x 720)",
                               {3000, 2000}},
                          Case{"fullhd", {}, {1620, 1080}}}) {
        const QString out = dir.filePath("big.run");
        const Outcome r =
            Build({"-q", "100", "--fit", c.fit, "-o", out, picture, picture, picture, picture});
        ASSERT_EQ(r.exitCode, 0) << c.fit << ": " << r.err.toStdString();
        EXPECT_EQ(r.err.contains("most mail services will refuse it"), !c.named.isEmpty())
            << c.fit << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.named)) << c.fit << ": " << r.err.toStdString();
        EXPECT_EQ(QFileInfo(out).size() > 25'000'000, !c.named.isEmpty())
            << c.fit << ": " << QFileInfo(out).size();
        const SlideshowLayout layout = ReadSlideshowFile(out.toStdString());
        ASSERT_EQ(layout.pictures.size(), 4u);
        const QByteArray bytes = ReadAll(out);
        const QImage first =
            DecodeJpeg(bytes.mid(static_cast<qsizetype>(layout.pictures[0].offset),
                                 static_cast<qsizetype>(layout.pictures[0].length)));
        EXPECT_EQ(first.size(), c.size) << c.fit;
    }
}

TEST_F(BuildCommandTest, BadArgumentsAreRefusedWithAMessage) {
    const QString out = dir.filePath("out.exe");
    const QString png = Picture("rgb24.png");
    // What is missing comes before the usage.
    ExpectRefused({}, "pelisto-build: no output file (-o OUT) and no pictures given\nusage:");
    ExpectRefused({"-o", out}, "pelisto-build: no pictures given\nusage:");
    ExpectRefused({png}, "pelisto-build: no output file given (-o OUT)\nusage:");
    ExpectRefused({png, "-o"}, "-o needs a file name");
    ExpectRefused({"-o", out, "-q", "0", png}, "-q needs a quality from 1 to 100");
    ExpectRefused({"-o", out, "-q", "101", png}, "-q needs a quality");
    ExpectRefused({"-o", out, "-q", "high", png}, "-q needs a quality");
    ExpectRefused({"-o", out, png, "-q"}, "-q needs a quality");
    ExpectRefused({"-o", out, "--delay", "0", png}, "--delay needs a whole number");
    ExpectRefused({"-o", out, "--delay", "65536", png}, "--delay needs a whole number");
    ExpectRefused({"-o", out, "--delay", "2.5", png}, "--delay needs a whole number");
    ExpectRefused({"-o", out, "-j", "0", png}, "-j needs a number of pictures from 1 to 64");
    ExpectRefused({"-o", out, "-j", "65", png}, "-j needs a number");
    ExpectRefused({"-o", out, "--fast", png}, "unknown option --fast");
    ExpectRefused({"-o", out, "--target", "mac", png},
                  "--target needs windows, linux, web or video");
    ExpectRefused({"-o", out, png, "--target"}, "--target needs windows, linux, web or video");
    ExpectRefused({"-o", out, png, "--sign"}, "--sign needs a value");
    ExpectRefused({"-o", out, "--sort", "date", png}, "--sort needs name, taken or modified");
    ExpectRefused({"-o", out, png, "--sort"}, "--sort needs name, taken or modified");
    for (const char* seconds : {"0.05", "5.1", "-1", "1s", "nan"}) {
        ExpectRefused({"-o", out, "--crossfade", seconds, png}, "--crossfade needs 0 (none)");
    }
    ExpectRefused({"-o", out, "--caption", "own", png}, "--caption needs none, name or date");
    ExpectRefused({"-o", out, "--caption", "name", "--caption-file", png, png},
                  "--caption and --caption-file go one without the other");
    ExpectRefused({"-o", out, "--caption-file", dir.filePath("none.txt"), png},
                  "cannot read the caption file");
    const QTemporaryDir texts;
    WriteAll(texts.filePath("captions.txt"), "Dawn\r\nDusk\n");
    ExpectRefused({"-o", out, "--caption-file", texts.filePath("captions.txt"), png},
                  "captions.txt has 2 lines for 1 pictures");
    // Answered where they stand, whatever follows.
    const Outcome help = Build({"-o", out, "--help", "--fast"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("usage: pelisto-build")) << help.out.toStdString();
    const Outcome version = Build({"--version", "--fast"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(
        QRegularExpression("^pelisto-build \\d+\\.\\d+\\.\\d+\n$").match(version.out).hasMatch())
        << version.out.toStdString();
    for (const char* box : {"0x100", "1920", "1920x", "x1080", "30001x100", "-5x5", "huge"}) {
        ExpectRefused({"-o", out, "--fit", box, png}, "--fit needs WxH");
    }
    ExpectRefused({"-o", out, png, "--fit"}, "--fit needs WxH");
}

TEST_F(BuildCommandTest, MissingOrBrokenPicturesStopTheBuildAndLeaveNoOutput) {
    const QString out = dir.filePath("out.exe");
    const QString missing = dir.filePath("nowhere.png");
    ExpectRefused({"-o", out, Picture("rgb24.png"), missing}, missing + ": no such file");
    ExpectRefused({"-o", out, dir.path()}, dir.path() + ": is a folder, not a picture");

    for (const char* name : {"damaged/rgb24_png_cut10.png", "damaged/text.jpg"}) {
        const QString broken = Picture(name);
        ExpectRefused({"-o", out, Picture("rgb24.png"), broken}, broken);
    }
    QTemporaryDir pictures;
    const QString wmf = CopyAs(Picture("rgb24.png"), pictures.filePath("fake.wmf"));
    ExpectRefused({"-o", out, wmf}, wmf);

    // What the libraries print of a damaged picture (libwmf a line per bad record) is counted,
    // not passed on.
    QByteArray damaged = ReadAll(Fixture("wmf/shapes.wmf"));
    damaged.replace(40, 4, QByteArray("\xFF\xFF\xFF\x7F", 4)); // the first record's size
    const QString bizarre = pictures.filePath("bizarre.wmf");
    WriteAll(bizarre, damaged);
    const Outcome chatty = Build({"-o", out, bizarre});
    EXPECT_NE(chatty.exitCode, 0);
    for (const QString& line : chatty.err.split('\n', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(line.startsWith("pelisto-build: ")) << line.toStdString();
    }
    for (const QString& line : chatty.out.split('\n', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(line.startsWith("[1/1] ")) << line.toStdString();
    }
    EXPECT_TRUE(chatty.err.contains(" warnings from the picture libraries\n"))
        << chatty.err.toStdString();

    // Two photos cut short, converted at once: the build names the first in the list with its
    // own cause (where its data ends), whichever worker failed first, every time.
    QImage photo(2400, 1800, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) {
            line[x] = qRgb((x * 5) & 255, (y * 3) & 255, (x * y) & 255);
        }
    }
    const QString cutA = pictures.filePath("cut-a.jpg");
    const QString cutB = pictures.filePath("cut-b.jpg");
    for (const auto& [name, keep] : {std::pair{cutA, 55}, std::pair{cutB, 65}}) {
        ASSERT_TRUE(photo.save(name, "JPEG", 90));
        QFile file(name);
        ASSERT_TRUE(file.resize(file.size() * keep / 100));
    }
    // The error line of a build; the reference is the one-by-one build's.
    const auto errorOf = [&](const QString& jobs, const QString& first, const QString& second) {
        const Outcome r = Build({"-j", jobs, "-o", out, first, second});
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        return r.err.section('\n', 0, 0).toStdString();
    };
    const std::string causeA = errorOf("1", cutA, cutB);
    const std::string causeB = errorOf("1", cutB, cutA);
    EXPECT_NE(causeA.find((cutA + " to JPEG: ").toStdString()), std::string::npos) << causeA;
    EXPECT_NE(causeA.find("the data ends at row "), std::string::npos) << causeA;
    EXPECT_NE(causeA.substr(causeA.rfind(": ")), causeB.substr(causeB.rfind(": ")));
    // Decoded at half its size for a small screen, the photo's cut is still told in its own rows
    // (as near as the decoder's blocks of rows tell).
    const auto rowOf = [](const std::string& cause) {
        const std::size_t at = cause.find("the data ends at row ");
        return at == std::string::npos ? -1000 : std::stoi(cause.substr(at + 21));
    };
    const Outcome fitted = Build({"--fit", "small", "-o", out, cutA});
    EXPECT_NEAR(rowOf(fitted.err.section('\n', 0, 0).toStdString()), rowOf(causeA), 16)
        << fitted.err.toStdString();
    for (int run = 0; run < 20; ++run) {
        if (run % 2 == 0) {
            EXPECT_EQ(errorOf("2", cutA, cutB), causeA) << "run " << run;
        } else {
            EXPECT_EQ(errorOf("2", cutB, cutA), causeB) << "run " << run;
        }
    }

    // An existing slideshow stays as it was.
    WriteAll(out, "older slideshow");
    const Outcome r = Build({"-o", out, Picture("damaged/text.jpg")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(ReadAll(out), QByteArray("older slideshow"));
    EXPECT_EQ(Leftovers({"out.exe"}), QStringList{});

    // An output that cannot be made: the message names it and gives the system's reason.
    for (const auto& [name, cause] :
         {std::pair{dir.filePath("no/such/folder/out.exe"), ENOENT},
          std::pair{dir.filePath(QString(256, QLatin1Char('n'))), ENAMETOOLONG}}) {
        const Outcome bad = Build({"-o", name, Picture("rgb24.png")});
        EXPECT_EQ(bad.exitCode, 1);
        EXPECT_TRUE(bad.err.contains(name + " : " + QString::fromLocal8Bit(std::strerror(cause))))
            << bad.err.toStdString();
    }
}

// A fault inside the codec library (its reader preloaded with one that writes through a null
// pointer) prints the fault message and ends the build at that picture: nobody is there to
// answer a box. It does so without allocating, since the fault may strike inside malloc. A
// library that aborts ends the build too, and its last words, printed while the libraries'
// output is caught, still reach the terminal. Nothing is left, neither output nor scratch
// folder.
TEST_F(BuildCommandTest, ALibraryFaultEndsTheBuildWithItsMessage) {
    const QString pcx = Picture("rgb24.pcx");
    struct Case {
        const char* name;
        const char* preload;
        const char* kind;
        int exitCode; // -1: killed by its signal
        QString said;
    };
    const QString faultText = pcx + ": An exception error occured in the picturelib dll.";
    for (const Case& c :
         {Case{"a fault", PELISTO_CODEC_FAULT, "", 1, faultText},
          Case{"a fault inside malloc", PELISTO_CODEC_FAULT_IN_MALLOC, "", 1, faultText},
          Case{"an abort", PELISTO_CODEC_FAULT, "abort", -1,
               "codec: fatal: the library gave up"}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir scratch;
        QProcessEnvironment env = Environment();
        env.insert(QStringLiteral("LD_PRELOAD"), QString::fromUtf8(c.preload));
        env.insert(QStringLiteral("PELISTO_CODEC_FAULT_KIND"), QString::fromUtf8(c.kind));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
        env.insert(QStringLiteral("TMPDIR"), scratch.path());
        const QString out = dir.filePath("out.exe");
        const Outcome r = Build({"-o", out, pcx, Picture("rgb24.bmp")}, env);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("[2/2]")) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
        if (c.exitCode == 1) {
            EXPECT_EQ(r.err.count("pelisto-build:"), 1) << r.err.toStdString();
        }
        EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(',').toStdString();
        EXPECT_TRUE(QDir(scratch.path()).isEmpty()) << "the scratch folder stayed";
    }
}

// Runs a tool to its end; its exit code, or -1 when it could not run.
int RunTool(const QString& program, const QStringList& args, QByteArray* said = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ended = p.waitForFinished(60000);
    if (said != nullptr) {
        *said = p.readAll();
    }
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// --sign: a certificate made here with openssl signs the program through osslsigncode, before the
// file replaces the target; the signed file verifies against that certificate and reads back
// exactly. A missing tool or a wrong password leaves no file and the old one as it was.
TEST_F(BuildCommandTest, SignsTheWindowsProgramBeforeItReplacesTheTarget) {
    if (QStandardPaths::findExecutable(QStringLiteral("osslsigncode")).isEmpty()) {
        GTEST_SKIP() << "osslsigncode is not installed (scripts/install-deps.sh installs it)";
    }
    QTemporaryDir keys;
    const QString key = keys.filePath("key.pem");
    const QString certificate = keys.filePath("cert.pem");
    const QString pfx = keys.filePath("cert.pfx");
    QByteArray said;
    ASSERT_EQ(RunTool("openssl",
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
                       certificate, "-days", "30", "-subj", "/CN=Pelisto test", "-addext",
                       "extendedKeyUsage=codeSigning"},
                      &said),
              0)
        << said.toStdString();
    ASSERT_EQ(RunTool("openssl",
                      {"pkcs12", "-export", "-inkey", key, "-in", certificate, "-out", pfx,
                       "-passout", "pass:se cret"},
                      &said),
              0)
        << said.toStdString();
    const QString password = keys.filePath("password");
    WriteAll(password, "se cret\n"); // as an editor saves it: the line end is no part of it

    const QStringList two{Picture("rgb24.png"), Picture("camera.jpg")};
    const QString plain = dir.filePath("plain.exe");
    ASSERT_EQ(Build(QStringList{"--auto", "--delay", "7", "-o", plain} << two).exitCode, 0);
    const QString out = dir.filePath("out.exe");
    WriteAll(out, "older slideshow");
    const QStringList sign{"--sign", pfx, "--sign-password-file", password};
    const Outcome r = Build(QStringList{"--auto", "--delay", "7", "-o", out} << sign << two);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("se cret")) << r.out.toStdString();
    ASSERT_EQ(RunTool("osslsigncode", {"verify", "-CAfile", certificate, "-in", out}, &said), 0)
        << said.toStdString();
    EXPECT_TRUE(QFileInfo(out).isExecutable());
    EXPECT_EQ(Leftovers({"out.exe", "plain.exe"}), QStringList{});

    // Signed by pelisto-build or by osslsigncode afterwards, the slideshow reads back as the
    // unsigned one: the same settings, the same pictures at the same places.
    const QString later = dir.filePath("later.exe");
    ASSERT_EQ(RunTool("osslsigncode",
                      {"sign", "-pkcs12", pfx, "-pass", "se cret", "-in", plain, "-out", later},
                      &said),
              0)
        << said.toStdString();
    const SlideshowLayout unsigned_ = ReadSlideshowFile(plain.toStdString());
    const QByteArray plainBytes = ReadAll(plain);
    for (const QString& signedFile : {out, later}) {
        const SlideshowLayout layout = ReadSlideshowFile(signedFile.toStdString());
        EXPECT_TRUE(layout.automatic);
        EXPECT_EQ(layout.delaySeconds, 7);
        EXPECT_EQ(layout.trailerOffset, unsigned_.trailerOffset);
        ASSERT_EQ(layout.pictures.size(), 2u);
        const QByteArray bytes = ReadAll(signedFile);
        EXPECT_GT(bytes.size(), plainBytes.size());
        // The header changes (checksum, the table's place); stub's body, pictures, trailer not.
        EXPECT_EQ(bytes.mid(1024, plainBytes.size() - 1024), plainBytes.mid(1024))
            << signedFile.toStdString();
    }

    // Refused: --sign for a program that is not for Windows, a certificate that does not exist,
    // osslsigncode missing from the PATH, a wrong password. Nothing is written and the old file
    // stays as it was.
    const QByteArray signedBytes = ReadAll(out);
    QProcessEnvironment noTool = Environment();
    noTool.insert(QStringLiteral("PATH"), keys.path());
    const QString linux = dir.filePath("out.run");
    struct Refusal {
        QStringList args;
        QString said;
        QProcessEnvironment env;
    };
    for (const Refusal& c :
         {Refusal{QStringList{"-o", linux} << sign, "--sign signs Windows programs only",
                  Environment()},
          Refusal{{"-o", out, "--sign", keys.filePath("none.pfx")},
                  "the certificate " + keys.filePath("none.pfx") + " is missing",
                  Environment()},
          Refusal{{"-o", out, "--timestamp", "http://ts.invalid"}, "go with --sign", Environment()},
          Refusal{QStringList{"-o", out} << sign, "osslsigncode, the tool that signs", noTool},
          Refusal{QStringList{"-o", out, "--sign", pfx}, "Signing with " + pfx + " failed",
                  Environment()}}) {
        const Outcome failed = Build(QStringList(c.args) << two, c.env);
        EXPECT_GT(failed.exitCode, 0) << c.said.toStdString();
        EXPECT_TRUE(failed.err.contains(c.said)) << failed.err.toStdString();
        EXPECT_EQ(ReadAll(out), signedBytes) << c.said.toStdString();
        EXPECT_FALSE(QFileInfo::exists(linux));
        EXPECT_EQ(Leftovers({"out.exe", "plain.exe", "later.exe"}), QStringList{})
            << c.said.toStdString();
    }

    // The window's fourth save type: the certificate is chosen once and kept, the password asked
    // every time; "Other certificate" asks for the file again; a wrong password keeps the old file.
    ScopedFakeDialogs dialogs;
    QTemporaryDir tool;
    TForm1 form;
    form.SetToolFolder(tool.path());
    CopyAs(QStringLiteral(PELISTO_BIN_DIR "/TheExe.exe"), form.StubPath(SlideshowTarget::Windows));
    dialogs->openAnswers.push_back(two);
    form.Button1Click();
    dialogs->openAnswers.push_back(QStringList{pfx});
    dialogs->openAnswers.push_back(QStringList{pfx});
    dialogs->passwordAnswers = {PasswordAnswer{"se cret"}, PasswordAnswer{{}, true},
                                PasswordAnswer{"se cret"}, PasswordAnswer{"wrong"}};
    const auto save = [&](const char* name) {
        dialogs->saveAnswers.push_back(dir.filePath(name));
        dialogs->saveTypes.push_back(4);
        form.Button2Click();
    };
    for (const char* name : {"first", "second"}) {
        save(name);
        EXPECT_EQ(RunTool("osslsigncode",
                          {"verify", "-CAfile", certificate, "-in", dir.filePath(name) + ".exe"}),
                  0)
            << name;
    }
    const QByteArray first = ReadAll(dir.filePath("first.exe"));
    EXPECT_THROW(save("first"), Exception) << "a wrong password";
    EXPECT_EQ(ReadAll(dir.filePath("first.exe")), first);
    EXPECT_EQ(dialogs->opens.size(), 3u) << "pictures, the certificate, another certificate";
    ASSERT_EQ(dialogs->passwords.size(), 4u);
    EXPECT_EQ(dialogs->passwords[0].label, "Password of the certificate " + pfx + ":");
    EXPECT_EQ(ReadSlideshowFile(dir.filePath("first.exe").toStdString()).pictures.size(), 2u);
    EXPECT_EQ(Leftovers({"out.exe", "plain.exe", "later.exe", "first.exe", "second.exe"}),
              QStringList{});
}

// An interrupted build removes its partial output and its scratch folder (with the picture
// library's type map, made for the metafile), keeps the slideshow it was replacing, and ends by
// the signal it was sent; also with the output in a folder whose name is not UTF-8.
TEST_F(BuildCommandTest, AnInterruptedBuildLeavesNothingBehind) {
    QTemporaryDir pictures;
    QImage big(3000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(big.scanLine(y));
        for (int x = 0; x < big.width(); ++x) {
            line[x] = qRgb(x * 7 % 256, y * 3 % 256, (x ^ y) % 256);
        }
    }
    const QString picture = pictures.filePath("big.png");
    ASSERT_TRUE(big.save(picture));
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    const QByteArray latin = base + "d\xE9j\xE0";
    const RemovedByBytes cleanup{latin};
    ASSERT_EQ(::mkdir(latin.constData(), 0700), 0);
    struct Case {
        int signal;
        QByteArray folder;
    };
    for (const Case& c : {Case{SIGINT, base}, Case{SIGTERM, base}, Case{SIGHUP, base},
                          Case{SIGTERM, latin + '/'}}) {
        const QByteArray out = c.folder + "out.exe";
        {
            const int fd = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::write(fd, "older slideshow", 15), 15);
            ::close(fd);
        }
        QTemporaryDir scratch;
        QProcessEnvironment env = Environment();
        env.insert(QStringLiteral("TMPDIR"), scratch.path());
        QString command = QStringLiteral("exec ") + ShellBytes(QFile::encodeName(BuildProgram)) +
                          QStringLiteral(" -o ") + ShellBytes(out);
        command += QLatin1Char(' ') + ShellBytes(QFile::encodeName(Fixture("wmf/shapes.wmf")));
        for (int i = 0; i < 40; ++i) {
            command += QLatin1Char(' ') + ShellBytes(QFile::encodeName(picture));
        }
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        ASSERT_TRUE(p.waitForStarted());
        QByteArray seen;
        // The metafile is written out: it was rendered.
        while (!seen.contains("[2/41]") && p.state() == QProcess::Running) {
            p.waitForReadyRead(60000);
            seen += p.readAllStandardOutput();
        }
        ASSERT_TRUE(seen.contains("[2/41]")) << p.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(p.processId()), c.signal);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << c.signal;
        EXPECT_EQ(p.exitCode(), c.signal);
        QFile kept;
        const int fd = ::open(out.constData(), O_RDONLY);
        ASSERT_TRUE(kept.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        EXPECT_EQ(kept.readAll(), QByteArray("older slideshow")) << c.signal;
        EXPECT_EQ(EntriesOf(c.folder), c.folder == base ? 2 : 1) << out.toStdString();
        EXPECT_TRUE(QDir(scratch.path()).isEmpty()) << "the scratch folder stayed, " << c.signal;
    }
}

// Names are bytes: pictures and outputs whose names are not UTF-8 work and are printed as they
// are; "--" lets a picture's name start with "-".
TEST_F(BuildCommandTest, NamesAreTakenAsBytes) {
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    const QByteArray latin = base + "caf\xE9.png"; // Latin-1, not UTF-8
    const QByteArray folder = base + "d\xE9j\xE0";
    const RemovedByBytes cleanup{base};
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    WriteAll(QFile::decodeName(base + "plain.png"), ReadAll(Picture("rgb24.png")));
    ASSERT_EQ(::rename((base + "plain.png").constData(), latin.constData()), 0);
    CopyAs(Picture("rgb24.bmp"), dir.filePath("-x.bmp"));

    struct Case {
        QByteArray output;
        std::vector<QByteArray> pictures;
    };
    for (const Case& c :
         {Case{base + "show.run", {latin}}, Case{folder + "/\xFFshow.run", {"--", latin, "-x.bmp"}},
          Case{folder + "/plain.exe", {"--", "-x.bmp"}},
          Case{base + QByteArray(246, 'n') + ".run", {latin}}}) {
        std::vector<QByteArray> args{"-o", c.output};
        args.insert(args.end(), c.pictures.begin(), c.pictures.end());
        const Outcome r = BuildBytes(args);
        ASSERT_EQ(r.exitCode, 0) << r.rawErr.toStdString();
        ASSERT_TRUE(IsFileNamed(c.output)) << c.output.toStdString();
        EXPECT_EQ(ReadSlideshowFile(c.output.toStdString()).pictures.size(),
                  c.pictures.size() - (c.pictures.front() == "--" ? 1 : 0));
        if (c.pictures.back() == latin) {
            EXPECT_TRUE(r.rawOut.contains("] " + latin + '\n')) << r.rawOut.toStdString();
        }
        EXPECT_TRUE(r.rawOut.contains("wrote " + c.output + '\n')) << r.rawOut.toStdString();
        EXPECT_TRUE(r.rawErr.isEmpty()) << r.rawErr.toStdString();
    }
    // Only the slideshows are left in the folder.
    EXPECT_EQ(EntriesOf(folder), 2);

    // A caption names the picture as it was given, not the link it was reached through.
    const QByteArray named = base + "named.run";
    const Outcome captioned = BuildBytes({"-o", named, "--caption", "name", "--", latin, "-x.bmp"});
    ASSERT_EQ(captioned.exitCode, 0) << captioned.rawErr.toStdString();
    const SlideshowLayout layout = ReadSlideshowFile(named.toStdString());
    const QByteArray show = ReadAll(QFile::decodeName(named));
    std::vector<std::string> captions;
    for (const auto& picture : layout.pictures) {
        const QByteArray jpeg = show.mid(static_cast<qsizetype>(picture.offset),
                                         static_cast<qsizetype>(picture.length));
        const auto options = ReadPlayOptions(std::span(
            reinterpret_cast<const std::uint8_t*>(jpeg.constData()), std::size_t(jpeg.size())));
        captions.push_back(options ? options->caption : "(none)");
    }
    EXPECT_EQ(captions,
              (std::vector<std::string>{
                  QFileInfo(QFile::decodeName(latin)).fileName().toStdString(), "-x.bmp"}));

    const Outcome missing = BuildBytes({"-o", base + "out.run", base + "gone\xE9.png"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.rawErr.contains(base + "gone\xE9.png: no such file"))
        << missing.rawErr.toStdString();
    const Outcome option = BuildBytes({"-o", base + "out.run", "-x.bmp"});
    EXPECT_TRUE(option.rawErr.contains("unknown option -x.bmp")) << option.rawErr.toStdString();
}

// --sort orders the pictures before the build: by name (numbers by value, a name that is not
// UTF-8 as it shows), by the EXIF date where a photo has one, else by the file's time.
TEST_F(BuildCommandTest, SortPutsThePicturesInOrderFirst) {
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    const RemovedByBytes cleanup{base};
    const struct {
        const char* fixture;
        QByteArray name;
        int modifiedYear;
    } photos[] = {{"baseline.jpg", "IMG_2.jpg", 2025},
                  {"exif_date.jpg", "IMG_10.jpg", 2021}, // taken 2024-05-17
                  {"rgb24.png", "caf\xE9.png", 2023}};
    std::vector<QByteArray> given;
    for (const auto& p : photos) {
        WriteAll(QFile::decodeName(base + "plain"), ReadAll(Picture(p.fixture)));
        given.push_back(base + p.name);
        ASSERT_EQ(::rename((base + "plain").constData(), given.back().constData()), 0);
        const time_t when = QDateTime(QDate(p.modifiedYear, 1, 1), QTime(12, 0)).toSecsSinceEpoch();
        const utimbuf times{when, when};
        ASSERT_EQ(::utime(given.back().constData(), &times), 0);
    }
    const struct {
        const char* order;
        std::vector<int> expected;
    } rows[] = {{"name", {2, 0, 1}}, {"taken", {2, 1, 0}}, {"modified", {1, 2, 0}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.order);
        std::vector<QByteArray> args{"-o", base + "show.html", "-j", "1", "--sort", row.order};
        args.insert(args.end(), given.begin(), given.end());
        const Outcome r = BuildBytes(args);
        ASSERT_EQ(r.exitCode, 0) << r.rawErr.toStdString();
        QByteArray expected;
        for (std::size_t i = 0; i < row.expected.size(); ++i) {
            expected += "[" + QByteArray::number(i + 1) + "/3] " +
                        given[static_cast<std::size_t>(row.expected[i])] + '\n';
        }
        EXPECT_TRUE(r.rawOut.contains(expected)) << r.rawOut.toStdString();
    }
}

} // namespace
