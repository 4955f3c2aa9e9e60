#include "app/main_window.h"
#include "controls/num_spin_edit.h"
#include "framework/cursor_state.h"
#include "framework/exceptions.h"
#include "framework/graphics/graphic.h"
#include "picture/jpeg_image.h"
#include "slideshow/slideshow_format.h"
#include "slideshow_test_support.h"
#include "support/fake_dialogs.h"
#include "ui_main_window.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace pelisto;
using namespace pelisto::testing;

namespace {

struct Entry {
    QString file;      // under the fixtures folder
    QSize size;        // its natural size
    QString reference; // Pillow's decoding, when there is one
};

// One picture of each format the tool reads; no two neighbours alike.
const std::vector<Entry>& TenFormats() {
    static const std::vector<Entry> entries{
        {"wmf/shapes.wmf", {300, 200}, {}},
        {"pictures/pal4.bmp", {64, 48}, "pal4.bmp"},
        {"pictures/multi.ico", {48, 48}, {}},
        {"pictures/rgb24.pcx", {64, 48}, "rgb24.pcx"},
        {"pictures/pages3.tif", {64, 48}, "pages3.tif"},
        {"pictures/still.gif", {64, 48}, "still.gif"},
        {"pictures/gray.jpg", {64, 48}, "gray.jpg"},
        {"pictures/mono1.png", {64, 48}, "mono1.png"},
        {"pictures/photo.pcd", {384, 256}, "photo.pcd"},
        {"pictures/rle24.tga", {64, 48}, "rle24.tga"},
    };
    return entries;
}

// The window with the real viewer stub in its tool folder.
class RoundTripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterJPEGGraphic(); }

    void SetUp() override {
        SetScreenPixelsPerInchSource([] { return 96; });
        ASSERT_TRUE(tool.isValid());
        ASSERT_TRUE(out.isValid());
        stub = ReadAll(QStringLiteral(PELISTO_BIN_DIR "/TheExe.exe"));
        ASSERT_GT(stub.size(), 1000);
        form = std::make_unique<TForm1>();
        form->SetToolFolder(tool.path());
        WriteAll(form->StubPath(), stub);
    }
    void TearDown() override {
        form.reset();
        SetScreenPixelsPerInchSource({});
    }
    Ui::TForm1& ui() { return form->ui(); }

    // Chooses the files one at a time, so the list holds them in the order given.
    void Choose(const QStringList& files) {
        for (const QString& file : files) {
            dialogs->openAnswers.push_back(QStringList{file});
            form->Button1Click();
        }
    }

    // Each picture of the file, decoded by Qt, checked against the entries in list order.
    void ExpectPictures(const QString& path, const std::vector<Entry>& entries) {
        const SlideshowLayout layout = ReadSlideshowFile(path.toStdString());
        const QByteArray bytes = ReadAll(path);
        EXPECT_EQ(bytes.left(stub.size()), stub);
        EXPECT_EQ(layout.stubLength, static_cast<std::uint32_t>(stub.size()));
        ASSERT_EQ(layout.pictures.size(), entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            const PictureSlice& slice = layout.pictures[i];
            const QImage image = DecodeJpeg(bytes.mid(static_cast<qsizetype>(slice.offset),
                                                      static_cast<qsizetype>(slice.length)));
            ASSERT_FALSE(image.isNull()) << e.file.toStdString();
            EXPECT_EQ(image.size(), e.size) << e.file.toStdString();
            if (!e.reference.isEmpty()) {
                // Photo CD is read at a quarter of its base size. The bound allows for JPEG
                // losses on these small, sharp-edged pictures (a swapped channel or a
                // mirrored picture is far above it).
                const QImage reference =
                    QImage(Picture("ref/" + e.reference + ".png"))
                        .scaled(e.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                EXPECT_LT(MeanDifference(image, reference), 22.0) << e.file.toStdString();
            }
        }
    }

    ScopedFakeDialogs dialogs;
    QTemporaryDir tool;
    QTemporaryDir out;
    QByteArray stub;
    std::unique_ptr<TForm1> form;
};

TEST_F(RoundTripTest, TenFormatsReadBackInListOrderBehindTheViewer) {
    QStringList chosen;
    for (const Entry& e : TenFormats()) {
        chosen.append(Fixture(e.file));
    }
    Choose(chosen);
    ASSERT_EQ(form->Pictures().size(), 10);
    ASSERT_EQ(form->Pictures().first(), Fixture("wmf/shapes.wmf"));
    ui().CheckBox1->setChecked(true);
    ui().NumSpinEdit1->SetValue(3);

    const QString path = out.filePath("show.exe");
    form->BuildSlideshow(path);
    ExpectPictures(path, TenFormats());
    const SlideshowLayout layout = ReadSlideshowFile(path.toStdString());
    EXPECT_TRUE(layout.automatic);
    EXPECT_EQ(layout.delaySeconds, 3);

    // Every stored picture is exactly what the converter makes of its entry.
    const QByteArray bytes = ReadAll(path);
    for (int i = 0; i < 10; ++i) {
        form->ConvertToJpeg(form->Pictures()[i]);
        EXPECT_EQ(
            bytes.mid(static_cast<qsizetype>(layout.pictures[i].offset), layout.pictures[i].length),
            ReadAll(form->ScratchPath()))
            << i;
    }
}

TEST_F(RoundTripTest, ReorderedListIsStoredInItsNewOrder) {
    Choose({Picture("multi.ico"), Fixture("wmf/shapes.wmf"), Picture("photo.pcd")});
    // Move the last entry (the PCD) to the top, as a drag would.
    QListWidgetItem* moved = ui().ListBox1->takeItem(2);
    ui().ListBox1->insertItem(0, moved);
    const QString path = out.filePath("show.exe");
    form->BuildSlideshow(path);
    ExpectPictures(path, {{"pictures/photo.pcd", {384, 256}, "photo.pcd"},
                          {"pictures/multi.ico", {48, 48}, {}},
                          {"wmf/shapes.wmf", {300, 200}, {}}});
}

TEST_F(RoundTripTest, SaveCommandWritesAnExecutableSlideshowAtTheChosenPath) {
    Choose({Fixture("wmf/shapes.wmf"), Picture("rgb24.png")});
    ui().ScrollBar1->setValue(30);
    const QString path = out.filePath("holiday.exe");
    // An older, longer file at that path is replaced as a whole.
    WriteAll(path, QByteArray(3 * stub.size(), 'x'));
    dialogs->saveAnswers.push_back(path);
    form->Button2Click();

    ASSERT_EQ(dialogs->saves.size(), 1u);
    EXPECT_TRUE(dialogs->boxes.empty());
    EXPECT_TRUE(QFileInfo(path).isExecutable());
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
    ExpectPictures(
        path, {{"wmf/shapes.wmf", {300, 200}, {}}, {"pictures/rgb24.png", {64, 48}, "rgb24.png"}});
    const SlideshowLayout layout = ReadSlideshowFile(path.toStdString());
    EXPECT_FALSE(layout.automatic);
    EXPECT_EQ(layout.delaySeconds, 10);
    EXPECT_EQ(QFileInfo(path).size(), static_cast<qint64>(layout.trailerOffset) + 16 + 4 * 2);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"holiday.exe"});
    EXPECT_EQ(ui().SaveStatus->text(),
              QString("Saved: holiday.exe (%1 KB)").arg((QFileInfo(path).size() + 1023) / 1024));
}

// Cancel in the progress dialog: the old file stays as it was, no partial file is left, nothing
// is reported, and the dialog named the pictures as it went. Cancel while the only picture
// converts stops it part-way: that picture (cut short at its end) never gets as far as its
// damage, which would otherwise be reported although the user cancelled.
TEST_F(RoundTripTest, CancellingTheSaveKeepsThePreviousFile) {
    QTemporaryDir sources;
    QStringList many;
    QImage large(3000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < large.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(large.scanLine(y));
        for (int x = 0; x < large.width(); ++x) {
            line[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
        }
    }
    for (int i = 0; i < 12; ++i) {
        many << sources.filePath(QString("picture%1.bmp").arg(i, 2, 10, QChar('0')));
        ASSERT_TRUE(large.save(many.back()));
    }
    const QString alone = sources.filePath("alone.jpg");
    ASSERT_TRUE(large.scaled(6000, 4000).save(alone, "JPEG", 95));

    // The video is cancelled as the program is.
    for (const auto& [list, name] :
         {std::pair{many, "show.exe"}, std::pair{QStringList{alone}, "show.exe"},
          std::pair{many, "show.mp4"}}) {
        SCOPED_TRACE(name);
        SCOPED_TRACE(list.size());
        Choose(list);
        ASSERT_EQ(form->Pictures(), list);
        if (list.size() == 1) {
            // Cut once listed: a cut file is refused when added.
            QFile cut(alone);
            ASSERT_TRUE(cut.resize(cut.size() * 9 / 10));
        }
        const QString path = out.filePath(name);
        WriteAll(path, "the slideshow saved yesterday");
        dialogs->saveAnswers.push_back(path);
        QString shown;
        QTimer::singleShot(0, form.get(), [&] {
            auto* dialog = form->findChild<QProgressDialog*>();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Saving the slideshow");
            while (dialog->labelText().isEmpty()) {
                QCoreApplication::processEvents();
            }
            shown = dialog->labelText();
            auto* cancel = dialog->findChild<QPushButton*>();
            ASSERT_NE(cancel, nullptr);
            EXPECT_EQ(cancel->text(), "Cancel");
            cancel->click();
        });
        form->Button2Click();
        EXPECT_TRUE(shown.startsWith("Picture 1 of ")) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QString(" of %1: ").arg(list.size()))) << shown.toStdString();
        EXPECT_EQ(ReadAll(path), QByteArray("the slideshow saved yesterday"));
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        EXPECT_TRUE(dialogs->boxes.empty());
        EXPECT_TRUE(ui().SaveStatus->text().isEmpty());
        ui().ListBox1->clear();
        QFile::remove(path);
    }
}

TEST_F(RoundTripTest, ABrokenPictureStopsTheSaveAndKeepsThePreviousFile) {
    // Damaged once listed: a damaged file is refused when added.
    const QString broken = tool.filePath("cut.png");
    ASSERT_TRUE(QFile::copy(Picture("rgb24.png"), broken));
    Choose({Picture("rgb24.png"), broken, Picture("rgb24.bmp")});
    ASSERT_EQ(form->Pictures().size(), 3);
    QFile::remove(broken);
    ASSERT_TRUE(QFile::copy(Picture("damaged/rgb24_png_cut10.png"), broken));
    for (const char* name : {"show.exe", "show.mp4"}) {
        SCOPED_TRACE(name);
        const QString path = out.filePath(name);
        WriteAll(path, "the slideshow saved yesterday");
        dialogs->saveAnswers.push_back(path);
        try {
            form->Button2Click();
            ADD_FAILURE() << "saved a slideshow with a broken picture";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.message().contains(broken)) << e.message().toStdString();
        }
        EXPECT_EQ(ReadAll(path), QByteArray("the slideshow saved yesterday"));
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
        QFile::remove(path);
    }
}

} // namespace
