#pragma once

#include "app/build_names.h"
#include "app/captions.h"
#include "app/code_signing.h"
#include "app/picture_order.h"
#include "app/slideshow_builder.h"
#include "test_show/test_window.h"

#include <QHash>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QTemporaryDir;

namespace Ui {
class TForm1;
}

namespace pelisto {

class TOpenDialog;
class TSaveDialog;
class TMultiLang;
class TDropFileTarget;
class TrDragController;
class JpegConverter;

// The save dialog's file type (counted from 1) and the target it plays on, both ways; the
// default name for a type ("Pelisto.exe" for the first).
SlideshowTarget TargetOfSaveType(int type);
int SaveTypeOf(SlideshowTarget target);
QString DefaultSaveName(int type);

// The list box's key for removing the selected entry.
inline constexpr std::uint16_t VK_DELETE = 46;

// The main window: the picture list and its commands, the quality, the automatic flag and the
// delay, the preview, rotation, and the test and save commands.
class TForm1 : public QWidget, public SlideshowSource {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The test window borrows nothing from us but this interface; we borrow its picture box as
    // the loader for WMF and ICO pictures.
    void SetTestWindow(TForm2* form2);

    // Operations other parts of the tool use.
    QString ConvertToJpeg(const QString& fileName) override;
    // Writes the slideshow at `path` around the target's stub (the Windows one by default).
    void BuildSlideshow(const QString& path, SlideshowTarget target = SlideshowTarget::Windows,
                        const CodeSigning* signing = nullptr);
    void ShowPreview();
    void RotatePicture(int angle);

    // Pictures named outside the window (the command line): each joins the list as a dropped
    // one does (a folder brings its pictures); a missing or unreadable one is named in a message.
    void AddNamedPictures(const QStringList& names);

    // SlideshowSource
    QStringList Pictures() const override;
    double Delay() const override;
    bool Automatic() const override;
    PlayOptions Play() const override { return play_; }
    QString Caption(int index) const override;

    // The playback options and the kind of caption, as the playback dialog sets them; each
    // picture's own caption text is kept with its entry in the list.
    void SetPlayback(const PlayOptions& play, CaptionKind caption);
    CaptionKind CaptionChoice() const { return caption_; }
    QString OwnCaption(int index) const;
    void SetOwnCaption(int index, const QString& text);

    Ui::TForm1& ui() { return *ui_; }
    const QString& ToolFolder() const { return ToolFolder_; }
    const QString& StubPath() const { return StubPath_; } // the Windows stub, TheExe.exe
    QString StubPath(SlideshowTarget target) const { return ToolFolder_ + StubFileName(target); }
    std::uint8_t PictureQuality() const { return PictureQuality_; }
    // Tests point the tool folder elsewhere (the stubs and the user guide live there).
    void SetToolFolder(const QString& folder);
    // This window's private folder for the scratch JPEG (empty when it could not be made), and
    // the scratch JPEG's path.
    QString ScratchFolder() const;
    QString ScratchPath() const;

    TOpenDialog* OpenDialog1 = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Effacer1 = nullptr;
    QAction* Effacertout1 = nullptr;
    QAction* N1 = nullptr;
    QMenu* Rotation1 = nullptr;
    QAction* N90horaire1 = nullptr;
    QAction* N90antihoraire1 = nullptr;
    QAction* N1801 = nullptr;
    QAction* Legende1 = nullptr; // "Caption…" of the selected picture
    TMultiLang* MultiLang1 = nullptr;
    TDropFileTarget* DropFileTarget1 = nullptr;
    TrDragController* rDragController1 = nullptr;
    // The list's folder and order commands, after the rotation in its menu.
    QAction* AddFolder1 = nullptr;
    QAction* IncludeSubfolders1 = nullptr;
    QAction* SortByName1 = nullptr;
    QAction* SortByTaken1 = nullptr;
    QAction* SortByModified1 = nullptr;

public slots:
    void FormCreate();
    void FormDestroy();
    void Button1Click();
    void Button4Click();
    void Button2Click();
    void Button3Click();
    void ListBox1Click();
    // Delete (virtual-key code 46) removes the selected entry; the shift state plays no part.
    void ListBox1KeyDown(std::uint16_t key, Qt::KeyboardModifiers shift);
    void PopupMenu1Popup();
    void Effacer1Click();
    void Effacertout1Click();
    void N90horaire1Click();
    void N90antihoraire1Click();
    void N1801Click();
    void Legende1Click();
    void PlaybackClick();
    void ScrollBar1Change();
    // The picture size choice: conversions (test window and save) fit pictures in its box.
    void PictureSizeChange();
    void NumSpinEdit1Change();
    void Image2Click();
    void DropFileTarget1Drop();
    // Adds a chosen folder's pictures (its subfolders' too when that option is on).
    void AddFolder1Click();
    // Puts the list in that order; the selected picture stays selected.
    void SortPictures(PictureOrder order);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateComponents();
    void ConnectHandlers();
    int SelectedIndex() const;
    void UpdateButtons();
    void ClearPreview();
    void AddSaveTypes();
    void AddOpenTypes();
    void NamePictureSizes();
    void ReportMissingStub(SlideshowTarget target);
    // The certificate (asked once and kept, or again when the user wants another) and its
    // password, asked every time; nothing when the user cancels or cannot sign.
    std::optional<CodeSigning> AskSigning();
    void ReportGuideNotOpened(const QString& address);
    // Appends the files the list lacks, in order. A file that cannot be read as a picture is
    // refused; the refused ones (with those already given) are named in one message.
    // What folders brought besides their pictures: said in one line before the refused files.
    struct FolderTally {
        bool any = false;
        int skipped = 0;
        bool capped = false;
    };
    void AddPictures(const QStringList& files, QStringList refused, const FolderTally& folders);
    void NameListCommands();
    // Why the file cannot be read as a picture; empty when it can.
    QString WhyNotAPicture(const QString& file);
    QString RefusedLine(const QString& file, const QString& why) const;
    // The name a file Qt handed over is opened by: a link in the scratch folder when its name is
    // not UTF-8 (Qt changed its bytes), else the name itself.
    QString Reachable(const QString& name);
    // The same for a name in bytes; empty when it cannot be reached.
    QString ReachableBytes(const QByteArray& bytes);
    // Folders are opened, names of types the tool does not read refused, the rest added.
    void AddNamed(const QStringList& given, bool mustExist);
    // The folders, quality, automatic flag, delay and slideshow type of the last run come back
    // over the start-up values, and are kept for the next run.
    void RestoreSettings();
    void RememberSettings();
    void NamePlayback();
    // Every picture's caption as text, for the build.
    std::vector<std::string> CaptionTexts() const;

    std::unique_ptr<Ui::TForm1> ui_;
    std::unique_ptr<JpegConverter> converter_;
    // Private to this instance, so two running tools never share a scratch file; removed with it.
    std::unique_ptr<QTemporaryDir> scratch_;
    std::unique_ptr<build::NameLinks> nameLinks_; // removed before the scratch folder
    QHash<QString, QString> shownAs_;             // link -> the name it stands for, as Qt shows it
    TForm2* form2_ = nullptr;
    QString StubPath_;
    std::uint8_t PictureQuality_ = 1;
    int pictureSize_ = 0; // index into kPictureSizes
    QString ToolFolder_;
    bool destroyed_ = false;
    QString signingCertificate_;
    bool restored_ = false; // nothing is kept before the last run's values are back
    PlayOptions play_;
    CaptionKind caption_ = CaptionKind::None;
};

} // namespace pelisto
