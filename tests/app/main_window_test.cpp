#include "app/main_window.h"
#include "app/signal_cleanup.h"
#include "controls/num_spin_edit.h"
#include "framework/application.h"
#include "framework/common_dialogs.h"
#include "framework/image_box.h"
#include "framework/system.h"
#include "language/multi_lang.h"
#include "picture/multi_picture.h"
#include "slideshow_test_support.h"
#include "support/fake_dialogs.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace pelisto;
using pelisto::testing::ScopedFakeDialogs;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        form = std::make_unique<TForm1>();
        form->SetToolFolder(folder.path());
    }
    Ui::TForm1& ui() { return form->ui(); }
    QStringList Items() { return form->Pictures(); }
    void Choose(const QStringList& files) {
        dialogs->openAnswers.push_back(files);
        form->Button1Click();
    }

    ScopedFakeDialogs dialogs;
    QTemporaryDir folder;
    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowTest, StartsInEnglishWithItsSettings) {
    EXPECT_EQ(form->windowTitle(), "Pelisto maker by Orvel");
    EXPECT_EQ(ApplicationTitle(), "Pelisto maker by Orvel");
    EXPECT_EQ(ui().Button1->text(), "1 - Choose pictures for pelisto");
    EXPECT_EQ(ui().Button4->text(), "2 - Test the result");
    EXPECT_EQ(ui().Button2->text(), "3 - Save the final EXE file");
    EXPECT_EQ(ui().Button3->text(), "4 - Exit");
    EXPECT_EQ(ui().GroupBox1->title(), "Pictures quality");
    EXPECT_EQ(ui().GroupBox2->title(), "Automatic slideshow");
    EXPECT_EQ(ui().CheckBox1->text(), "Use automatic slideshow");
    EXPECT_EQ(ui().Label2->text(), "Duration : ");
    EXPECT_EQ(ui().Label3->text(), "seconds");
    EXPECT_EQ(ui().ScrollBar1->toolTip(),
              "Low the quality of pictures (increase the compression) in order to low the size "
              "of the final EXE file.");
    EXPECT_EQ(form->SaveDialog1->Title(),
              "Give the final EXE final a name and choose where to save it");
    EXPECT_EQ(form->SaveDialog1->Filter(), "Program (*.exe)|*.exe|Linux program (*.run)|*.run|"
                                           "Web page (*.html)|*.html|"
                                           "Signed program (*.exe)|*.exe|Video (*.mp4)|*.mp4");
    QStringList sizes;
    for (int i = 0; i < ui().PictureSize->count(); ++i) {
        sizes << ui().PictureSize->itemText(i);
    }
    EXPECT_EQ(sizes, (QStringList{"Original size", "4K screen (3840 x 2160)",
                                  "Full HD screen (1920 x 1080)", "Small screen (1280 x 720)"}));
    EXPECT_EQ(ui().PictureSize->currentIndex(), 0);
    // Another language renames the choices and keeps the chosen one.
    ui().PictureSize->setCurrentIndex(2);
    SetGlobalLanguage(0);
    EXPECT_EQ(ui().PictureSize->count(), 4);
    EXPECT_EQ(ui().PictureSize->currentText(), QStringLiteral("Écran Full HD (1920 x 1080)"));
    EXPECT_EQ(form->SaveDialog1->Filter(),
              QStringLiteral("Programme (*.exe)|*.exe|Programme Linux (*.run)|*.run|"
                             "Page web (*.html)|*.html|Programme signé (*.exe)|*.exe|"
                             "Vidéo (*.mp4)|*.mp4"));
    SetGlobalLanguage(1);
    EXPECT_EQ(ui().PictureSize->currentIndex(), 2);
    ui().PictureSize->setCurrentIndex(0);
    EXPECT_EQ(form->OpenDialog1->Title(), "Choose the pictures (use Ctrl or Shift keys)");
    EXPECT_EQ(form->Rotation1->title(), "Rotation");
    EXPECT_EQ(form->Effacer1->text(), "Remove selected file from list");
    EXPECT_EQ(ui().Label1->text(), "75");
    EXPECT_EQ(form->PictureQuality(), 75);
    EXPECT_EQ(ui().NumSpinEdit1->Value(), 10.0);
    EXPECT_FALSE(ui().CheckBox1->isChecked());
    EXPECT_FALSE(ui().Button2->isEnabled());
    EXPECT_FALSE(ui().Button4->isEnabled());
    EXPECT_FALSE(ui().Tampon->isVisible());
    EXPECT_EQ(form->size(), QSize(721, 567));
    EXPECT_EQ(form->StubPath(), form->ToolFolder() + "TheExe.exe");
    EXPECT_TRUE(form->ToolFolder().endsWith('/'));
}

TEST_F(MainWindowTest, ChosenFilesJoinInTheDialogsOrderWithoutDuplicates) {
    // Twenty numbered names, handed back in any order, join as the dialog lists them.
    QStringList shown;
    QStringList picked;
    for (int i = 1; i <= 20; ++i) {
        shown << QStringLiteral("/p/DSC_%1.jpg").arg(i);
        picked.prepend(shown.back());
    }
    std::swap(picked[3], picked[11]);
    Choose(picked);
    EXPECT_EQ(Items(), shown);
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_TRUE(ui().Button4->isEnabled());
    dialogs->boxAnswers.push_back(mrYes);
    form->Effacertout1Click();

    Choose({"/p/C.jpg", "/p/a.jpg", "/p/B.jpg"});
    EXPECT_EQ(Items(), (QStringList{"/p/a.jpg", "/p/B.jpg", "/p/C.jpg"}));
    // A listed name is skipped; one that differs in letter case is another file.
    Choose({"/p/B.jpg", "/p/b.JPG", "/p/D.jpg"});
    EXPECT_EQ(Items(), (QStringList{"/p/a.jpg", "/p/B.jpg", "/p/C.jpg", "/p/b.JPG", "/p/D.jpg"}));

    // A cancelled dialog changes nothing.
    form->Button1Click();
    EXPECT_EQ(Items().size(), 5);
}

TEST_F(MainWindowTest, RemovingSelectsThePreviousEntry) {
    Choose({"/p/4.jpg", "/p/3.jpg", "/p/2.jpg", "/p/1.jpg"});
    ui().ListBox1->setCurrentRow(2);
    form->Effacer1Click();
    EXPECT_EQ(Items(), (QStringList{"/p/1.jpg", "/p/2.jpg", "/p/4.jpg"}));
    EXPECT_EQ(ui().ListBox1->currentRow(), 1);
    EXPECT_TRUE(ui().ListBox1->currentItem()->isSelected());

    ui().ListBox1->setCurrentRow(0);
    form->Effacer1Click();
    EXPECT_EQ(Items(), (QStringList{"/p/2.jpg", "/p/4.jpg"}));
    EXPECT_TRUE(ui().ListBox1->selectedItems().isEmpty());

    // The Delete key with nothing selected does nothing.
    QTest::keyClick(ui().ListBox1, Qt::Key_Delete);
    EXPECT_EQ(Items().size(), 2);
    ui().ListBox1->setCurrentRow(1);
    QTest::keyClick(ui().ListBox1, Qt::Key_Delete);
    EXPECT_EQ(Items(), (QStringList{"/p/2.jpg"}));

    ui().ListBox1->setCurrentRow(0);
    form->Effacer1Click();
    EXPECT_FALSE(ui().Button2->isEnabled());
    EXPECT_FALSE(ui().Button4->isEnabled());
}

TEST_F(MainWindowTest, ClearingAsksFirstAndOnlyWhenThereIsSomethingToClear) {
    form->Effacertout1Click();
    EXPECT_TRUE(dialogs->boxes.empty());

    Choose({"/p/a.jpg", "/p/b.jpg"});
    dialogs->boxAnswers.push_back(mrNo);
    form->Effacertout1Click();
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].text, "Do you really want to clear all the list ?");
    EXPECT_EQ(dialogs->boxes[0].title, "Confirmation");
    EXPECT_EQ(Items().size(), 2);

    dialogs->boxAnswers.push_back(mrYes);
    form->Effacertout1Click();
    EXPECT_TRUE(Items().isEmpty());
    EXPECT_FALSE(ui().Button2->isEnabled());
    EXPECT_FALSE(ui().Button4->isEnabled());
    EXPECT_TRUE(ui().Image->ImageName().isEmpty());
}

TEST_F(MainWindowTest, PopupEnablesWhatTheSelectionAllows) {
    form->PopupMenu1Popup();
    EXPECT_FALSE(form->Effacer1->isEnabled());
    EXPECT_FALSE(form->Effacertout1->isEnabled());
    EXPECT_FALSE(form->Rotation1->isEnabled());

    Choose({"/p/a.jpeg", "/p/b.tif", "/p/c.wmf", "/p/d.JpG", "/p/e.bMp", "/p/f.pcx", "/p/g.gif",
            "/p/h.PNG", "/p/noext"});
    form->PopupMenu1Popup();
    EXPECT_FALSE(form->Effacer1->isEnabled());
    EXPECT_TRUE(form->Effacertout1->isEnabled());
    for (int row = 0; row < ui().ListBox1->count(); ++row) {
        ui().ListBox1->setCurrentRow(row);
        form->PopupMenu1Popup();
        const QString name = ui().ListBox1->item(row)->text();
        const bool writable = !name.endsWith(".jpeg") && !name.endsWith(".tif") &&
                              !name.endsWith(".wmf") && !name.endsWith("noext");
        EXPECT_EQ(form->Rotation1->isEnabled(), writable) << name.toStdString();
        EXPECT_TRUE(form->Effacer1->isEnabled());
        EXPECT_TRUE(form->Legende1->isEnabled());
    }

    // A caption typed for the selected picture: one line, kept with its entry when the list is
    // reordered, shown as its hint; typing one asks for own captions. Cancel changes nothing.
    ui().ListBox1->setCurrentRow(1);
    dialogs->textAnswers = {"  Old town\n at night ", std::nullopt};
    form->Legende1Click();
    ASSERT_EQ(dialogs->texts.size(), 1u);
    EXPECT_EQ(dialogs->texts[0].label, "Caption of b.tif:");
    EXPECT_EQ(form->CaptionChoice(), CaptionKind::OwnText);
    QListWidgetItem* moved = ui().ListBox1->takeItem(1);
    ui().ListBox1->insertItem(4, moved);
    EXPECT_EQ(form->Caption(4), "Old town at night");
    EXPECT_EQ(moved->toolTip(), "Old town at night");
    EXPECT_EQ(form->Caption(1), "");
    ui().ListBox1->setCurrentRow(4);
    form->Legende1Click();
    EXPECT_EQ(dialogs->texts.back().text, "Old town at night");
    EXPECT_EQ(form->Caption(4), "Old town at night");
    form->SetPlayback({}, CaptionKind::FileName);
    EXPECT_EQ(form->Caption(4), "b.tif");
    form->SetPlayback({}, CaptionKind::None);
}

TEST_F(MainWindowTest, DelayUnitAndQualityLabelFollowTheirControls) {
    ui().NumSpinEdit1->setText("1");
    EXPECT_EQ(ui().Label3->text(), "second");
    ui().NumSpinEdit1->setText("2");
    EXPECT_EQ(ui().Label3->text(), "seconds");
    ui().NumSpinEdit1->setText("");
    EXPECT_EQ(ui().Label3->text(), "second");
    // The word follows the window's language, not a fixed one.
    SetGlobalLanguage(0);
    ui().NumSpinEdit1->setText("3");
    EXPECT_EQ(ui().Label3->text(), "secondes");
    SetGlobalLanguage(1);
    ui().NumSpinEdit1->setText("1");
    EXPECT_EQ(ui().Label3->text(), "second");

    ui().ScrollBar1->setValue(40);
    EXPECT_EQ(ui().Label1->text(), "40");
    EXPECT_EQ(form->PictureQuality(), 40);
}

TEST_F(MainWindowTest, MissingStubIsReportedBeforeAnyDialog) {
    Choose({"/p/a.jpg"});
    form->Button2Click();
    EXPECT_TRUE(dialogs->saves.empty());
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].title, "Erreur");
    EXPECT_EQ(dialogs->boxes[0].text, form->StubPath() +
                                          " missing. TheExe.exe MUST be in the same folder as  " +
                                          ExecutableFileName() + ". Bye bye ;-(");

    // A folder in the stub's place is no stub: the same message, still no dialog.
    ASSERT_TRUE(QDir().mkdir(form->StubPath()));
    form->Button2Click();
    EXPECT_TRUE(dialogs->saves.empty());
    ASSERT_EQ(dialogs->boxes.size(), 2u);
    EXPECT_EQ(dialogs->boxes[1].text, dialogs->boxes[0].text);

    // With one stub the dialog opens; the type chosen names the stub it lacks, and nothing is
    // written.
    const QString linuxStub = form->StubPath(SlideshowTarget::Linux);
    EXPECT_EQ(linuxStub, form->ToolFolder() + "TheExe.run");
    {
        QFile made(linuxStub);
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    dialogs->saveAnswers.push_back(folder.filePath("show.exe"));
    form->Button2Click();
    ASSERT_EQ(dialogs->boxes.size(), 3u);
    EXPECT_EQ(dialogs->boxes[2].text, dialogs->boxes[0].text);
    ASSERT_TRUE(QDir().rmdir(form->StubPath()));
    ASSERT_TRUE(QFile::rename(linuxStub, form->StubPath()));
    dialogs->saveAnswers.push_back(folder.filePath("show.run"));
    dialogs->saveTypes.push_back(2);
    form->Button2Click();
    ASSERT_EQ(dialogs->boxes.size(), 4u);
    EXPECT_EQ(dialogs->boxes[3].title, "Erreur");
    EXPECT_EQ(dialogs->boxes[3].text, linuxStub +
                                          " missing. TheExe.run MUST be in the same folder as  " +
                                          ExecutableFileName() + ". Bye bye ;-(");
    EXPECT_FALSE(QFile::exists(folder.filePath("show.exe")));
    EXPECT_FALSE(QFile::exists(folder.filePath("show.run")));
}

TEST_F(MainWindowTest, TabVisitsTheControlsInTheWindowsOrder) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ui().Button4->setEnabled(true);
    ui().Button2->setEnabled(true);
    ui().Button1->setFocus();
    QStringList visited;
    for (int i = 0; i < 11; ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    // The quality bar takes the focus (its arrows move it), then the picture size beside it;
    // the preview panel does not.
    EXPECT_EQ(visited,
              (QStringList{"Button1", "ListBox1", "PlaybackButton", "Button4", "Button2", "Button3",
                           "ScrollBar1", "PictureSize", "CheckBox1", "NumSpinEdit1", "Button1"}));
    // Back from the first control to the last.
    ui().Button1->setFocus();
    QTest::keyClick(ui().Button1, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), ui().NumSpinEdit1);
    ui().ScrollBar1->setFocus();
    // The right arrow raises the quality, the left one lowers it.
    EXPECT_EQ(form->PictureQuality(), 75);
    QTest::keyClick(ui().ScrollBar1, Qt::Key_Right);
    EXPECT_EQ(form->PictureQuality(), 76);
    QTest::keyClick(ui().ScrollBar1, Qt::Key_Left);
    QTest::keyClick(ui().ScrollBar1, Qt::Key_Left);
    EXPECT_EQ(form->PictureQuality(), 74);
}

TEST_F(MainWindowTest, OpensCentredWithATransparentLogo) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form->pos(),
              screen.topLeft() + QPoint((screen.width() - 721) / 2, (screen.height() - 567) / 2));
    // The colour of the logo's bottom-left pixel lets the bevel show through; the rest is drawn.
    const QImage logo = ui().Image2->pixmap().toImage();
    ASSERT_EQ(logo.size(), QSize(100, 89));
    EXPECT_EQ(qAlpha(logo.pixel(0, 88)), 0);
    EXPECT_EQ(qAlpha(logo.pixel(50, 44)), 255);
}

TEST_F(MainWindowTest, SaveDialogOffersTheDefaultNameAndCancelWritesNothing) {
    QFile stub(form->StubPath());
    ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
    stub.write("stub");
    stub.close();
    Choose({"/p/a.jpg"});
    form->Button2Click();
    ASSERT_EQ(dialogs->saves.size(), 1u);
    EXPECT_EQ(dialogs->saves[0].fileName, "Pelisto.exe");
    EXPECT_EQ(dialogs->saves[0].defaultExt, "exe");
    EXPECT_TRUE(dialogs->saves[0].overwritePrompt);
    EXPECT_EQ(dialogs->saves[0].filter, "Program (*.exe)|*.exe|Linux program (*.run)|*.run|"
                                        "Web page (*.html)|*.html|"
                                        "Signed program (*.exe)|*.exe|Video (*.mp4)|*.mp4");
    EXPECT_EQ(dialogs->saves[0].filterIndex, 1);
}

// The name's own extension, when it is a save type's, decides what is written; any other name
// gets the chosen type's extension. pelisto-build reads the same type from the final name.
TEST_F(MainWindowTest, TheTypedExtensionOrElseTheChosenTypeDecidesTheSlideshow) {
    for (const auto& [stub, bytes] :
         {std::pair{"TheExe.exe", "WINDOWS STUB"}, std::pair{"TheExe.run", "LINUX STUB"}}) {
        QFile made(folder.filePath(stub));
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
        made.write(bytes);
    }
    Choose({pelisto::testing::Picture("baseline.jpg")});
    ui().NumSpinEdit1->SetValue(1); // a video of one second
    const QByteArray windows = "WINDOWS STUB";
    const QByteArray linux = "LINUX STUB";
    const QByteArray web = "<!DOCTYPE html>";
    const QByteArray video = "ftyp"; // an MP4's first box, after its length
    struct Row {
        const char* typed;
        int type; // 1 Windows, 2 Linux, 3 web page, 5 video
        const char* saved;
        QByteArray startsWith;
    };
    const Row rows[] = {
        {"a", 1, "a.exe", windows},
        {"a", 2, "a.run", linux},
        {"a", 3, "a.html", web},
        {"b.exe", 1, "b.exe", windows},
        {"b.exe", 2, "b.exe", windows},
        {"b.EXE", 3, "b.EXE", windows},
        {"c.run", 1, "c.run", linux},
        {"c.Run", 2, "c.Run", linux},
        {"c.run", 3, "c.run", linux},
        {"d.html", 1, "d.html", web},
        {"d.HTML", 2, "d.HTML", web},
        {"d.htm", 3, "d.htm", web},
        {"e.htm", 1, "e.htm", web},
        {"f.jpg", 1, "f.jpg.exe", windows},
        {"f.jpg", 2, "f.jpg.run", linux},
        {"f.jpg", 3, "f.jpg.html", web},
        {"g.exe.bak", 2, "g.exe.bak.run", linux},
        {"h.", 3, "h..html", web},
        {"v", 5, "v.mp4", video},
        {"v.MP4", 2, "v.MP4", video},
        {"v.run", 5, "v.run", linux},
        {"v.html.x", 5, "v.html.x.mp4", video},
    };
    for (const Row& row : rows) {
        const std::string name = std::string(row.typed) + " as type " + std::to_string(row.type);
        dialogs->saveAnswers.push_back(folder.filePath(row.typed));
        dialogs->saveTypes.push_back(row.type);
        form->Button2Click();
        const QString saved = folder.filePath(row.saved);
        ASSERT_TRUE(QFileInfo(saved).isFile()) << name;
        EXPECT_TRUE(pelisto::testing::ReadAll(saved)
                        .mid(row.startsWith == video ? 4 : 0)
                        .startsWith(row.startsWith))
            << name;
        const int target = row.startsWith == windows ? 1
                           : row.startsWith == linux ? 2
                           : row.startsWith == web   ? 3
                                                     : 5;
        EXPECT_EQ(SaveTypeOf(TargetForOutputName(saved)), target) << name;
        // The type saved is the one offered next.
        EXPECT_EQ(form->SaveDialog1->FilterIndex(), target) << name;
        EXPECT_FALSE(QFileInfo::exists(folder.filePath(row.typed)) &&
                     QString(row.typed) != QString(row.saved))
            << name;
        QFile::remove(saved);
    }
    EXPECT_TRUE(dialogs->boxes.empty());

    // A video's frame is the picture size's box, and it lasts the pictures times the delay.
    if (!QStandardPaths::findExecutable("ffprobe").isEmpty()) {
        ui().PictureSize->setCurrentIndex(3);
        dialogs->saveAnswers.push_back(folder.filePath("small"));
        dialogs->saveTypes.push_back(5);
        form->Button2Click();
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                "stream=codec_name,width,height:format=duration", "-of",
                                "default=noprint_wrappers=1", folder.filePath("small.mp4")});
        ASSERT_TRUE(probe.waitForFinished(60000));
        EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()),
                  "codec_name=h264\nwidth=1280\nheight=720\nduration=1.000000\n");
        ui().PictureSize->setCurrentIndex(0);
    }

    // The dialog asked about the name typed: a file under the longer name is asked about too,
    // and kept on No.
    QFile kept(folder.filePath("k.jpg.exe"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("mine");
    kept.close();
    dialogs->saveAnswers.push_back(folder.filePath("k.jpg"));
    dialogs->saveTypes.push_back(1);
    dialogs->boxAnswers.push_back(mrNo);
    form->Button2Click();
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].text,
              folder.filePath("k.jpg.exe") + " already exists. Do you want to replace it?");
    EXPECT_EQ(pelisto::testing::ReadAll(kept.fileName()), "mine");
}

TEST_F(MainWindowTest, LogoOpensTheAddressInItsHint) {
    QString opened;
    SetShellOpenHandler([&](const QString& target) {
        opened = target;
        return true;
    });
    QTest::mouseClick(ui().Image2, Qt::LeftButton);
    SetShellOpenHandler({});
    EXPECT_FALSE(opened.isEmpty());
    EXPECT_EQ(opened, ui().Image2->toolTip());
    EXPECT_TRUE(opened.endsWith("user-guide.html"));

    // Without an opener (no browser installed) the user is told where the guide lies, from the
    // logo, the link and F1 alike.
    SetShellOpenHandler([](const QString&) { return false; });
    form->show();
    QApplication::setActiveWindow(form.get());
    QTest::mouseClick(ui().Image2, Qt::LeftButton);
    QTest::mouseClick(ui().UrlLabel1, Qt::LeftButton);
    QTest::keyClick(form.get(), Qt::Key_F1);
    SetShellOpenHandler({});
    ASSERT_EQ(dialogs->boxes.size(), 3u);
    for (const MessageBoxRequest& box : dialogs->boxes) {
        EXPECT_EQ(box.text, "No program could open the user guide. It is here: " +
                                QUrl(opened).toLocalFile());
    }
}

// "Open with" from a file manager: pictures named on the command line join the list, a folder
// brings its pictures, a missing name is said. --help and --version need no display.
TEST_F(MainWindowTest, NamedPicturesJoinAndTheCommandLineAnswersWithoutADisplay) {
    ASSERT_TRUE(QDir(folder.path()).mkdir("trip"));
    QStringList inTrip;
    for (const char* name : {"IMG_10.jpg", "IMG_9.jpg"}) {
        QFile::copy(pelisto::testing::Picture("baseline.jpg"), folder.filePath("trip/") + name);
        inTrip.prepend(folder.filePath("trip/") + name);
    }
    const QString one = pelisto::testing::Picture("rgb24.tga");
    // A name that is not UTF-8 reaches the window with U+FFFD for its bytes (from a dialog, a
    // drop or the command line): it is shown so, and opened through a link to that very file.
    const QByteArray latin = QFile::encodeName(folder.path()) + "/caf\xE9.jpg";
    QFile::copy(pelisto::testing::Picture("baseline.jpg"), folder.filePath("latin"));
    ASSERT_EQ(::rename(QFile::encodeName(folder.filePath("latin")).constData(), latin.constData()),
              0);
    const QString shown = QFile::decodeName(latin);
    form->AddNamedPictures(
        {one, shown, folder.filePath("trip"), folder.filePath("typo.jpg"), shown});
    ASSERT_EQ(Items().size(), 2 + inTrip.size());
    EXPECT_EQ(Items().mid(2), inTrip);
    EXPECT_EQ(Items()[0], one);
    EXPECT_EQ(ui().ListBox1->item(1)->text(), shown);
    char target[4096] = {};
    ASSERT_NE(::realpath(QFile::encodeName(Items()[1]).constData(), target), nullptr);
    EXPECT_EQ(QByteArray(target), latin);
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_TRUE(
        dialogs->boxes[0].text.endsWith("\n" + folder.filePath("typo.jpg") + " : file not found"))
        << dialogs->boxes[0].text.toStdString();
    EXPECT_TRUE(ui().Button4->isEnabled());

    for (const char* option : {"--help", "--version"}) {
        QProcess maker;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        maker.setProcessEnvironment(env);
        maker.start(PELISTO_BIN_DIR "/pelisto-maker", {option});
        ASSERT_TRUE(maker.waitForFinished(60000)) << option;
        EXPECT_EQ(maker.exitStatus(), QProcess::NormalExit) << option;
        EXPECT_EQ(maker.exitCode(), 0) << option;
        EXPECT_EQ(maker.readAllStandardError(), "") << option;
        const QString said = QString::fromUtf8(maker.readAllStandardOutput());
        EXPECT_TRUE(said.startsWith(QString(option) == "--help" ? "Usage: pelisto-maker"
                                                                : "pelisto-maker 1."))
            << said.toStdString();
    }
}

// A folder brings its pictures in natural order, its own before its subfolders' (when asked),
// names that are not UTF-8 too; hidden entries and other files are counted in one line, a file
// that is no picture is named, links to folders are not followed.
TEST_F(MainWindowTest, AFolderBringsItsPicturesAndCountsWhatItSkipsInOneLine) {
    const QDir tree(folder.filePath("tree"));
    for (const char* sub : {"tree/sub/deeper", "tree/.cache"}) {
        ASSERT_TRUE(QDir(folder.path()).mkpath(sub));
    }
    const QString jpg = pelisto::testing::Picture("baseline.jpg");
    for (const char* name : {"IMG_10.jpg", "IMG_2.jpg", ".hidden.jpg", ".cache/in_hidden.jpg",
                             "sub/b.jpg", "sub/deeper/a.jpg", "sub/A.jpg"}) {
        ASSERT_TRUE(QFile::copy(jpg, tree.filePath(name))) << name;
    }
    ASSERT_TRUE(QFile::copy(pelisto::testing::Picture("rgb24.png"), tree.filePath("sub/c.png")));
    for (const char* name : {"notes.txt", "fake.png", "sub/readme.md"}) {
        QFile text(tree.filePath(name));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a picture\n");
    }
    ASSERT_TRUE(QFile::link(tree.path(), tree.filePath("sub/loop")));
    const QByteArray latin = QFile::encodeName(tree.path()) + "/caf\xE9.jpg";
    const QByteArray latinFolder = QFile::encodeName(tree.path()) + "/sub/z\xE9";
    // Qt cannot remove what it cannot name: these go by their bytes.
    struct RemovedByBytes {
        QByteArray file, folder;
        ~RemovedByBytes() {
            ::unlink(file.constData());
            ::unlink((folder + "/x.jpg").constData());
            ::rmdir(folder.constData());
        }
    } cleanup{latin, latinFolder};
    ASSERT_TRUE(QFile::copy(jpg, tree.filePath("latin")));
    ASSERT_TRUE(QFile::copy(jpg, tree.filePath("sub/deeper/x.jpg")));
    ASSERT_EQ(::rename(QFile::encodeName(tree.filePath("latin")).constData(), latin.constData()),
              0);
    ASSERT_EQ(::mkdir(latinFolder.constData(), 0700), 0);
    ASSERT_EQ(::rename(QFile::encodeName(tree.filePath("sub/deeper/x.jpg")).constData(),
                       (latinFolder + "/x.jpg").constData()),
              0);
    const QStringList own{tree.path() + "/caf\uFFFD.jpg", tree.filePath("IMG_2.jpg"),
                          tree.filePath("IMG_10.jpg")};
    const QStringList below{tree.filePath("sub/A.jpg"), tree.filePath("sub/b.jpg"),
                            tree.filePath("sub/c.png"), tree.filePath("sub/deeper/a.jpg"),
                            tree.path() + "/sub/z\uFFFD/x.jpg"};
    const struct {
        bool subfolders;
        bool byDialog; // else named, as a drop or the command line names it
        QStringList shown;
        QString firstLine;
    } rows[] = {
        {true, true, own + below, "Pictures added: 8. Files skipped (not pictures or hidden): 4"},
        {false, false, own, "Pictures added: 3. Files skipped (not pictures or hidden): 3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.subfolders);
        ui().ListBox1->clear();
        dialogs->boxes.clear();
        form->IncludeSubfolders1->setChecked(row.subfolders);
        if (row.byDialog) {
            dialogs->folderAnswers.push_back(tree.path());
            form->AddFolder1Click();
            ASSERT_EQ(dialogs->folders.size(), 1u);
            EXPECT_EQ(dialogs->folders[0].title, "Choose a folder of pictures");
        } else {
            form->AddNamedPictures({tree.path()});
        }
        QStringList shown;
        for (int i = 0; i < ui().ListBox1->count(); ++i) {
            shown << ui().ListBox1->item(i)->text();
        }
        EXPECT_EQ(shown, row.shown);
        char target[4096] = {};
        ASSERT_NE(::realpath(QFile::encodeName(Items()[0]).constData(), target), nullptr);
        EXPECT_EQ(QByteArray(target), latin);
        ASSERT_EQ(dialogs->boxes.size(), 1u);
        const QStringList said = dialogs->boxes[0].text.split('\n');
        ASSERT_EQ(said.size(), 3) << dialogs->boxes[0].text.toStdString();
        EXPECT_EQ(said[0], row.firstLine);
        EXPECT_TRUE(said[2].startsWith(tree.filePath("fake.png") + " : ")) << said[2].toStdString();
    }
    EXPECT_EQ(form->OpenDialog1->InitialDir(), tree.path());
    // A folder named with bytes Qt cannot hold shows its pictures under its own name.
    ui().ListBox1->clear();
    form->AddNamedPictures({QFile::decodeName(latinFolder)});
    ASSERT_EQ(ui().ListBox1->count(), 1);
    EXPECT_EQ(ui().ListBox1->item(0)->text(), below.back());
    EXPECT_TRUE(QFileInfo(Items()[0]).isFile());
}

// Ctrl+O adds, Ctrl+S saves, F5 tests; the test and save keys do nothing while their buttons
// are disabled.
TEST_F(MainWindowTest, CommonKeysRunTheCommands) {
    form->show();
    QApplication::setActiveWindow(form.get());
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_TRUE(dialogs->saves.empty());
    EXPECT_TRUE(dialogs->boxes.empty());
    dialogs->openAnswers.push_back(QStringList{"/p/a.jpg"});
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(Items(), QStringList{"/p/a.jpg"});
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dialogs->folders.size(), 1u);
    EXPECT_EQ(dialogs->opens.size(), 1u);
    // No stub in the tool folder: the save key reaches the save command, which says so.
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_TRUE(dialogs->boxes[0].text.startsWith(form->StubPath()))
        << dialogs->boxes[0].text.toStdString();
}

TEST_F(MainWindowTest, ClosingRemovesTheScratchFolder) {
    const QString scratch = form->ScratchPath();
    const QString folder = form->ScratchFolder();
    ASSERT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(folder.startsWith(form->ToolFolder()));
    QFile f(scratch);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    form.reset();
    EXPECT_FALSE(QFile::exists(scratch));
    EXPECT_FALSE(QFileInfo::exists(folder));
}

// What the user set comes back at the next start, in a configuration folder of the test's own.
TEST_F(MainWindowTest, SettingsComeBackAtTheNextStartAndBadOnesFallBack) {
    const QString file =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "pelisto-maker", "pelisto-maker")
            .fileName();
    ASSERT_TRUE(file.endsWith("/pelisto-maker/pelisto-maker.conf"));
    ASSERT_FALSE(file.startsWith(QDir::homePath() + "/.config/")) << "the user's own settings";
    form.reset();
    QFile::remove(file);
    auto restart = [&] {
        form.reset();
        form = std::make_unique<TForm1>();
        form->SetToolFolder(folder.path());
    };
    auto expectStartUpValues = [&](const char* when) {
        EXPECT_EQ(ui().ScrollBar1->value(), 75) << when;
        EXPECT_EQ(form->PictureQuality(), 75) << when;
        EXPECT_FALSE(ui().CheckBox1->isChecked()) << when;
        EXPECT_EQ(ui().NumSpinEdit1->Value(), 10.0) << when;
        EXPECT_EQ(form->SaveDialog1->FilterIndex(), 1) << when;
        EXPECT_EQ(ui().PictureSize->currentIndex(), 0) << when;
        EXPECT_EQ(ui().PictureSize->currentText(), "Original size") << when;
        EXPECT_EQ(form->SaveDialog1->FileName(), "Pelisto.exe") << when;
        EXPECT_TRUE(form->IncludeSubfolders1->isChecked()) << when;
        EXPECT_EQ(form->Play(), PlayOptions{}) << when;
        EXPECT_EQ(form->CaptionChoice(), CaptionKind::None) << when;
    };
    restart();
    expectStartUpValues("first start");

    ui().ScrollBar1->setValue(40);
    ui().CheckBox1->setChecked(true);
    ui().NumSpinEdit1->SetValue(3);
    Choose({folder.filePath("A.jpg")});
    form->SaveDialog1->SetInitialDir("/shows");
    form->SaveDialog1->SetFilterIndex(5); // the video, the last type
    ui().PictureSize->setCurrentIndex(2);
    form->IncludeSubfolders1->setChecked(false);
    form->SetPlayback({true, true, 1000}, CaptionKind::DateTaken);
    restart();
    EXPECT_EQ(form->Play(), (PlayOptions{true, true, 1000}));
    EXPECT_EQ(form->CaptionChoice(), CaptionKind::DateTaken);
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(form->IncludeSubfolders1->isChecked());
    EXPECT_EQ(ui().ScrollBar1->value(), 40);
    EXPECT_EQ(ui().Label1->text(), "40");
    EXPECT_EQ(form->PictureQuality(), 40);
    EXPECT_TRUE(ui().CheckBox1->isChecked());
    EXPECT_EQ(ui().NumSpinEdit1->Value(), 3.0);
    EXPECT_EQ(ui().Label3->text(), "seconds");
    EXPECT_EQ(form->OpenDialog1->InitialDir(), folder.path());
    EXPECT_EQ(form->SaveDialog1->InitialDir(), "/shows");
    EXPECT_EQ(form->SaveDialog1->FilterIndex(), 5);
    EXPECT_EQ(ui().PictureSize->currentText(), "Full HD screen (1920 x 1080)");
    // The default name follows the type that comes back.
    EXPECT_EQ(form->SaveDialog1->FileName(), "Pelisto.mp4");
    // The open dialog starts in the folder of the last chosen pictures.
    Choose({"/p/B.jpg"});
    EXPECT_EQ(dialogs->opens.back().initialDir, folder.path());
    // The lowest quality and delay are values like the others.
    ui().ScrollBar1->setValue(1);
    ui().NumSpinEdit1->SetValue(1);
    restart();
    EXPECT_EQ(form->PictureQuality(), 1);
    EXPECT_EQ(ui().NumSpinEdit1->Value(), 1.0);

    form.reset();
    {
        QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "pelisto-maker",
                         "pelisto-maker");
        stored.setValue("quality", 500);
        stored.setValue("delay", 0);
        stored.setValue("automatic", "text");
        stored.setValue("slideshowType", "text");
        stored.setValue("pictureSize", 4);
        stored.setValue("includeSubfolders", "text");
        stored.setValue("crossfadeMs", 9000);
        stored.setValue("caption", 4);
        stored.setValue("shuffle", "yes");
        stored.setValue("stopAtEnd", 1);
    }
    restart();
    expectStartUpValues("bad values");

    form.reset();
    QFile::remove(file);
    restart();
    expectStartUpValues("fresh configuration");
    form.reset();
    QFile::remove(file);
}

// A terminating signal during a save (the session ends, the window is killed) removes the
// save's partial file and every scratch folder, as pelisto-build does, and keeps the file it was
// replacing. The window runs in a child process that a thread kills once the partial file shows.
TEST_F(MainWindowTest, ASignalDuringASaveLeavesNothingBehind) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test again from its start: it finds the folder the parent made.
    const char* const kPlace = "PELISTO_SIGNAL_TEST_FOLDER";
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    std::optional<QTemporaryDir> made;
    QString place = qEnvironmentVariable(kPlace);
    if (place.isEmpty()) {
        made.emplace();
        ASSERT_TRUE(made->isValid());
        place = made->path();
        QImage big(3000, 2000, QImage::Format_RGB32);
        for (int y = 0; y < big.height(); ++y) {
            for (int x = 0; x < big.width(); ++x) {
                big.setPixel(x, y, qRgb(x * 7 % 256, y * 3 % 256, (x ^ y) % 256));
            }
        }
        ASSERT_TRUE(big.save(place + "/big.png"));
        for (int i = 0; i < 30; ++i) {
            ASSERT_TRUE(QFile::link(place + "/big.png", place + QString("/big%1.png").arg(i)));
        }
        ASSERT_TRUE(QDir(place).mkdir("out") && QDir(place).mkdir("scratch"));
        QFile old(place + "/out/show.run");
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("older slideshow");
        old.close();
        ASSERT_TRUE(QFile::setPermissions(place + "/scratch",
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv(kPlace, QFile::encodeName(place));
        // The window's own scratch folder goes there.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(place + "/scratch"));
    }
    const QString out = place + "/out/show.run";
    EXPECT_EXIT(
        {
            // The save's scratch folder too (the test run keeps its own files in the first one).
            qputenv("TMPDIR", QFile::encodeName(place + "/scratch"));
            InstallSignalCleanupHandlers();
            QFile::copy(QStringLiteral(PELISTO_BIN_DIR "/TheExe.run"),
                        form->ToolFolder() + "TheExe.run");
            QStringList pictures;
            for (int i = 0; i < 30; ++i) {
                pictures << place + QString("/big%1.png").arg(i);
            }
            Choose(pictures);
            dialogs->saveAnswers.push_back(out);
            dialogs->saveTypes.push_back(2);
            std::thread([place] {
                while (QDir(place + "/out")
                           .entryList({".show.run.*"}, QDir::Files | QDir::Hidden)
                           .isEmpty()) {
                    std::this_thread::yield();
                }
                ::kill(::getpid(), SIGTERM);
            }).detach();
            form->Button2Click();
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    qunsetenv(kPlace);
    if (runtime.isEmpty()) {
        qunsetenv("XDG_RUNTIME_DIR");
    } else {
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    QFile kept(out);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "older slideshow");
    const auto entries = [&](const char* sub) {
        return QDir(place + sub)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            .join(',')
            .toStdString();
    };
    EXPECT_EQ(entries("/out"), "show.run");
    EXPECT_EQ(entries("/scratch"), "");
}

// The open dialog as GNOME- and Xfce-like desktops show it (GTK's, whose patterns match one
// letter case), on a virtual X server: every file it lists is chosen (Ctrl+A, Enter). The child
// runs this test again and writes what was chosen.
TEST(OpenDialogOnTheDesktop, TheGtkDialogListsEveryLetterCaseOfThePictures) {
    const char* const kPlace = "PELISTO_GTK_DIALOG_FOLDER";
    const QString place = qEnvironmentVariable(kPlace);
    if (!place.isEmpty()) {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        TForm1 form;
        form.OpenDialog1->SetInitialDir(place + "/pictures");
        QProcess keys;
        keys.start("xdotool",
                   {"search", "--sync", "--onlyvisible", "--name", "Choose the pictures",
                    "windowfocus", "--sync", "key", "--delay", "200", "ctrl+a", "Return"});
        ASSERT_TRUE(form.OpenDialog1->Execute());
        keys.waitForFinished();
        QFile out(place + "/chosen.txt");
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(form.OpenDialog1->Files().join('\n').toUtf8());
        return;
    }
    const QString gtk =
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platformthemes/libqgtk3.so";
    for (const char* tool : {"xvfb-run", "xdotool"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            GTEST_SKIP() << tool << " is missing";
        }
    }
    if (!QFileInfo::exists(gtk)) {
        GTEST_SKIP() << "the GTK theme (qt6-gtk-platformtheme) is missing";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("pictures"));
    const QStringList pictures{"DSC_0002.JPG", "IMG_4821.Jpg", "a.jpeg", "b.JPE", "c.jfif",
                               "d.TIFF",       "e.tif",        "f.PNG",  "g.Bmp", "h.gif",
                               "i.HEIC",       "j.avif",       "k.WebP", "l.jxl"};
    for (const QString& name : pictures + QStringList{"notes.txt", "movie.mp4", "a.jpg.txt"}) {
        QFile f(dir.filePath("pictures/" + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // A Latin-1 name: GTK shows it as "caf\uFFFD.jpg (invalid encoding)" and filters that.
    const QByteArray latinName = QFile::encodeName(dir.filePath("pictures/")) + "caf\xE9.jpg";
    std::FILE* latin = std::fopen(latinName.constData(), "w");
    ASSERT_NE(latin, nullptr);
    std::fclose(latin);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kPlace, dir.path());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("QT_QPA_PLATFORMTHEME", "gtk3");
    env.insert("GSETTINGS_BACKEND", "memory"); // no session bus here
    env.remove("DISPLAY");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start("xvfb-run", {"-a", "-s", "-screen 0 1280x1024x24 -nolisten tcp",
                             QCoreApplication::applicationFilePath(),
                             "--gtest_filter=OpenDialogOnTheDesktop.*"});
    ASSERT_TRUE(child.waitForFinished(180000));
    ASSERT_EQ(child.exitCode(), 0);
    QFile chosen(dir.filePath("chosen.txt"));
    ASSERT_TRUE(chosen.open(QIODevice::ReadOnly));
    QStringList names;
    for (const QString& path : QString::fromUtf8(chosen.readAll()).split('\n')) {
        names << QFileInfo(path).fileName();
    }
    names.sort();
    QStringList expected = pictures + QStringList{QFile::decodeName("caf\xE9.jpg")};
    expected.sort();
    EXPECT_EQ(names, expected);
}

} // namespace
