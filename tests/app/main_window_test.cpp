#include "app/main_window.h"
#include "app/signal_cleanup.h"
#include "controls/num_spin_edit.h"
#include "framework/application.h"
#include "framework/common_dialogs.h"
#include "framework/image_box.h"
#include "framework/system.h"
#include "language/multi_lang.h"
#include "picture/multi_picture.h"
#include "support/fake_dialogs.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
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
                                           "Signed program (*.exe)|*.exe");
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

TEST_F(MainWindowTest, ChosenFilesJoinInReverseWithoutDuplicates) {
    Choose({"/p/A.jpg", "/p/B.jpg", "/p/C.jpg"});
    EXPECT_EQ(Items(), (QStringList{"/p/C.jpg", "/p/B.jpg", "/p/A.jpg"}));
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_TRUE(ui().Button4->isEnabled());

    // A listed name is skipped; one that differs in letter case is another file.
    Choose({"/p/B.jpg", "/p/b.JPG", "/p/D.jpg"});
    EXPECT_EQ(Items(), (QStringList{"/p/C.jpg", "/p/B.jpg", "/p/A.jpg", "/p/D.jpg", "/p/b.JPG"}));

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
    }
}

TEST_F(MainWindowTest, DelayUnitAndQualityLabelFollowTheirControls) {
    ui().NumSpinEdit1->setText("1");
    EXPECT_EQ(ui().Label3->text(), "seconde");
    ui().NumSpinEdit1->setText("2");
    EXPECT_EQ(ui().Label3->text(), "secondes");
    ui().NumSpinEdit1->setText("");
    EXPECT_EQ(ui().Label3->text(), "seconde");

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
    for (int i = 0; i < 10; ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    // The quality bar takes the focus (its arrows move it), then the picture size beside it;
    // the preview panel does not.
    EXPECT_EQ(visited,
              (QStringList{"Button1", "ListBox1", "Button4", "Button2", "Button3", "ScrollBar1",
                           "PictureSize", "CheckBox1", "NumSpinEdit1", "Button1"}));
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
                                        "Signed program (*.exe)|*.exe");
    EXPECT_EQ(dialogs->saves[0].filterIndex, 1);
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
    };
    restart();
    expectStartUpValues("first start");

    ui().ScrollBar1->setValue(40);
    ui().CheckBox1->setChecked(true);
    ui().NumSpinEdit1->SetValue(3);
    Choose({folder.filePath("A.jpg")});
    form->SaveDialog1->SetInitialDir("/shows");
    form->SaveDialog1->SetFilterIndex(3); // the web page, the last type
    ui().PictureSize->setCurrentIndex(2);
    restart();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(ui().ScrollBar1->value(), 40);
    EXPECT_EQ(ui().Label1->text(), "40");
    EXPECT_EQ(form->PictureQuality(), 40);
    EXPECT_TRUE(ui().CheckBox1->isChecked());
    EXPECT_EQ(ui().NumSpinEdit1->Value(), 3.0);
    EXPECT_EQ(ui().Label3->text(), "seconds");
    EXPECT_EQ(form->OpenDialog1->InitialDir(), folder.path());
    EXPECT_EQ(form->SaveDialog1->InitialDir(), "/shows");
    EXPECT_EQ(form->SaveDialog1->FilterIndex(), 3);
    EXPECT_EQ(ui().PictureSize->currentText(), "Full HD screen (1920 x 1080)");
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

} // namespace
