#include "app/main_window.h"
#include "app/signal_cleanup.h"

#include "app/folder_pictures.h"
#include "app/jpeg_converter.h"
#include "app/picture_paths.h"
#include "app/picture_sizes.h"
#include "app/preview_fit.h"
#include "app/remembered_settings.h"
#include "app/slideshow_builder.h"
#include "controls/num_spin_edit.h"
#include "controls/url_label.h"
#include "dragdrop/drag_controller.h"
#include "dragdrop/drop_filter.h"
#include "dragdrop/drop_target.h"
#include "framework/application.h"
#include "framework/common_dialogs.h"
#include "framework/cursor_state.h"
#include "framework/dialogs.h"
#include "framework/exceptions.h"
#include "framework/graphics/picture.h"
#include "framework/image_box.h"
#include "framework/system.h"
#include "language/main_window_words.h"
#include "language/multi_lang.h"
#include "picture/multi_picture.h"
#include "ui_main_window.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QToolTip>
#include <QUrl>
#include <cstdlib>

// The form's resources (the logo) live in this static library; they must be registered by hand.
static void InitAppResources() {
    Q_INIT_RESOURCE(app);
}

namespace pelisto {
namespace {

// In the user's runtime folder when there is one (private to the user, often in memory), else in
// the temporary folder; null when neither is usable.
std::unique_ptr<QTemporaryDir> MakeScratchFolder() {
    const QString pattern = QStringLiteral("/pelisto-maker-XXXXXX");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        if (auto folder = std::make_unique<QTemporaryDir>(runtime + pattern); folder->isValid()) {
            return folder;
        }
    }
    // An unusable temporary folder gives an empty path: never fall back to the root.
    const QString temp = QDir::tempPath();
    if (temp.isEmpty()) {
        return nullptr;
    }
    return std::make_unique<QTemporaryDir>(temp + pattern);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TForm1>()) {
    InitAppResources();
    ui_->setupUi(this);
    setFixedSize(721, 567);
    // Centred on the screen at start.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    // The logo is transparent: its bottom-left pixel's colour lets the bevel show through.
    QPixmap logo = ui_->Image2->pixmap();
    if (!logo.isNull()) {
        const QColor clear = logo.toImage().pixelColor(0, logo.height() - 1);
        logo.setMask(logo.createMaskFromColor(clear, Qt::MaskInColor));
        ui_->Image2->setPixmap(logo);
    }
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    CreateComponents();
    ConnectHandlers();
    // The stored description is read: every component finishes loading (the word table shows
    // the global language), then the creation handler runs.
    CallLoaded(this);
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::CreateComponents() {
    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->SetTitle(QStringLiteral("Choose the pictures (use Ctrl or Shift keys)"));
    OpenDialog1->SetFilter(
        QStringLiteral("All pictures|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;"
                       "*.jfif;*.png;*.pcd;*.tga|All files|*"));
    OpenDialog1->SetMultiSelect(true);

    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->SetTitle(
        QStringLiteral("Give the final EXE final a name and choose where to save it"));
    SaveDialog1->SetFilter(QStringLiteral("Program (*.exe)|*.exe"));
    SaveDialog1->SetDefaultExt(QStringLiteral("exe"));
    SaveDialog1->SetFileName(QStringLiteral("Pelisto.exe"));
    SaveDialog1->SetOverwritePrompt(true);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto action = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setParent(this);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    Effacer1 = action(PopupMenu1, "Effacer1", QStringLiteral("Remove selected file from list"));
    Effacertout1 = action(PopupMenu1, "Effacertout1", QStringLiteral("Clear the list"));
    N1 = PopupMenu1->addSeparator();
    N1->setParent(this);
    N1->setObjectName(QStringLiteral("N1"));
    Rotation1 = PopupMenu1->addMenu(QStringLiteral("Rotation"));
    Rotation1->setObjectName(QStringLiteral("Rotation1"));
    N90horaire1 = action(Rotation1, "N90horaire1", QString::fromUtf8("90° CW"));
    N90antihoraire1 = action(Rotation1, "N90antihoraire1", QString::fromUtf8("90° ACW"));
    N1801 = action(Rotation1, "N1801", QString::fromUtf8("180°"));
    PopupMenu1->addSeparator();
    AddFolder1 = action(PopupMenu1, "AddFolder1", QString());
    AddFolder1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    addAction(AddFolder1); // its key works all over the window
    IncludeSubfolders1 = action(PopupMenu1, "IncludeSubfolders1", QString());
    IncludeSubfolders1->setCheckable(true);
    IncludeSubfolders1->setChecked(true);
    PopupMenu1->addSeparator();
    SortByName1 = action(PopupMenu1, "SortByName1", QString());
    SortByTaken1 = action(PopupMenu1, "SortByTaken1", QString());
    SortByModified1 = action(PopupMenu1, "SortByModified1", QString());
    Legende1 = action(PopupMenu1, "Legende1", QString::fromUtf8("Caption…"));

    MultiLang1 = new TMultiLang(this);
    MultiLang1->setObjectName(QStringLiteral("MultiLang1"));
    MultiLang1->SetLanguages(2);
    MultiLang1->SetActiveLanguage(1);
    MultiLang1->SetWords(MainWindowWords());
    MultiLang1->SetCharSets(MainWindowCharSets());
    MultiLang1->AfterLanguageChanged = [this](TBaseMultiLang*, std::uint8_t) {
        AddSaveTypes();
        AddOpenTypes();
        NamePictureSizes();
        NameListCommands();
        NamePlayback();
    };

    DropFileTarget1 = new TDropFileTarget(this);
    DropFileTarget1->setObjectName(QStringLiteral("DropFileTarget1"));
    DropFileTarget1->SetDragtypes(TDragTypes(dtCopy));
    DropFileTarget1->SetGetDataOnEnter(false);

    rDragController1 = new TrDragController(this);
    rDragController1->setObjectName(QStringLiteral("rDragController1"));
    rDragController1->SetListBox(ui_->ListBox1);

    ui_->NumSpinEdit1->SetMinValue(1);
    ui_->NumSpinEdit1->SetMaxValue(65535);
    ui_->NumSpinEdit1->SetValue(10);

    ui_->Tampon->SetJPegSaveQuality(75);
    ui_->Tampon->SetJPegSaveSmooth(5);
    ui_->Tampon->SetStretch(true);
    ui_->Image->SetStretch(true);
    ui_->Image->SetSmoothStretch(true);
    ui_->Image->SetJPegSaveSmooth(5);
    ui_->Image->SetImageDither(true);
    ui_->Image->SetTiffPage(1);
    ui_->Image->SetImageName(QStringLiteral("file not found"));
    ui_->Image1->SetStretch(false);
    ui_->Image2->setToolTip(QString());
}

void TForm1::ConnectHandlers() {
    // Handlers run under the default error display: what they raise is shown, not lost.
    auto handler = [this](void (TForm1::*method)()) {
        return [this, method] { Guarded([this, method] { (this->*method)(); }); };
    };
    connect(ui_->Button1, &QPushButton::clicked, this, handler(&TForm1::Button1Click));
    connect(ui_->Button4, &QPushButton::clicked, this, handler(&TForm1::Button4Click));
    connect(ui_->Button2, &QPushButton::clicked, this, handler(&TForm1::Button2Click));
    connect(ui_->Button3, &QPushButton::clicked, this, handler(&TForm1::Button3Click));
    connect(ui_->ListBox1, &QListWidget::itemSelectionChanged, this,
            handler(&TForm1::ListBox1Click));
    connect(ui_->ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        Guarded([&] {
            PopupMenu1Popup();
            PopupMenu1->popup(ui_->ListBox1->viewport()->mapToGlobal(at));
        });
    });
    connect(Effacer1, &QAction::triggered, this, handler(&TForm1::Effacer1Click));
    connect(Effacertout1, &QAction::triggered, this, handler(&TForm1::Effacertout1Click));
    connect(N90horaire1, &QAction::triggered, this, handler(&TForm1::N90horaire1Click));
    connect(N90antihoraire1, &QAction::triggered, this, handler(&TForm1::N90antihoraire1Click));
    connect(N1801, &QAction::triggered, this, handler(&TForm1::N1801Click));
    connect(AddFolder1, &QAction::triggered, this, handler(&TForm1::AddFolder1Click));
    connect(IncludeSubfolders1, &QAction::toggled, this, [this] { RememberSettings(); });
    const auto sort = [this](QAction* command, PictureOrder order) {
        connect(command, &QAction::triggered, this,
                [this, order] { Guarded([this, order] { SortPictures(order); }); });
    };
    sort(SortByName1, PictureOrder::Name);
    sort(SortByTaken1, PictureOrder::Taken);
    sort(SortByModified1, PictureOrder::Modified);
    connect(Legende1, &QAction::triggered, this, handler(&TForm1::Legende1Click));
    connect(ui_->PlaybackButton, &QPushButton::clicked, this, handler(&TForm1::PlaybackClick));
    connect(ui_->ScrollBar1, &QScrollBar::valueChanged, this, handler(&TForm1::ScrollBar1Change));
    connect(ui_->PictureSize, &QComboBox::currentIndexChanged, this,
            handler(&TForm1::PictureSizeChange));
    connect(ui_->NumSpinEdit1, &TNumSpinEdit::Change, this, handler(&TForm1::NumSpinEdit1Change));
    DropFileTarget1->OnDrop = [this](QObject*, TDragType, QPoint) { DropFileTarget1Drop(); };
    // The usual desktop keys for the numbered commands and the guide; a disabled button ignores
    // its key as it ignores a click.
    const auto key = [this](QKeySequence sequence, QAbstractButton* button) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, button,
                &QAbstractButton::click);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_O), ui_->Button1);
    key(QKeySequence(Qt::CTRL | Qt::Key_S), ui_->Button2);
    key(QKeySequence(Qt::Key_F5), ui_->Button4);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            [this] { Guarded([this] { Image2Click(); }); });
    connect(ui_->UrlLabel1, &TUrlLabel::OpenFailed, this,
            [this](const QString& address) { Guarded([&] { ReportGuideNotOpened(address); }); });
    ui_->ListBox1->installEventFilter(this);
    ui_->Image2->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->ListBox1 && event->type() == QEvent::KeyPress) {
        // The key goes on to the list as usual.
        const auto* key = static_cast<QKeyEvent*>(event);
        const std::uint16_t code = key->key() == Qt::Key_Delete ? VK_DELETE : 0;
        Guarded([&] { ListBox1KeyDown(code, key->modifiers()); });
    } else if (watched == ui_->Image2 && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            ui_->Image2->rect().contains(mouse->position().toPoint())) {
            Guarded([this] { Image2Click(); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::SetTestWindow(TForm2* form2) {
    form2_ = form2;
    converter_->SetLoader(form2_ != nullptr ? &form2_->Image1->Picture() : nullptr);
}

void TForm1::SetToolFolder(const QString& folder) {
    ToolFolder_ = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    StubPath_ = ToolFolder_ + QStringLiteral("TheExe.exe");
}

QString TForm1::ScratchFolder() const {
    return scratch_ && scratch_->isValid() ? scratch_->path() + QLatin1Char('/') : QString();
}

QString TForm1::ScratchPath() const {
    return converter_->ScratchPath();
}

void TForm1::FormCreate() {
    SetGlobalLanguage(1);
    SetApplicationTitle(QStringLiteral("Pelisto maker by Orvel"));
    setWindowTitle(ApplicationTitle());
    converter_ = std::make_unique<JpegConverter>(*ui_->Tampon);
    // A folder that cannot be made is reported by the first conversion, not at start. A
    // terminating signal removes it too.
    {
        const TerminationHeld held;
        scratch_ = MakeScratchFolder();
        if (scratch_ && scratch_->isValid()) {
            RemoveOnSignal(scratch_->path());
        }
    }
    converter_->SetScratchFolder(ScratchFolder());
    SetToolFolder(ExecutableFolder());
    DropFileTarget1->Attach(ui_->ListBox1);
    // A hint stays up seven seconds, whichever control shows it.
    for (QWidget* w : findChildren<QWidget*>()) {
        w->setToolTipDuration(7000);
    }
    // Our own address: the user guide that lies beside the tool.
    const QString guide =
        QUrl::fromLocalFile(ToolFolder_ + QStringLiteral("user-guide.html")).toString();
    ui_->Image2->setToolTip(guide);
    ui_->UrlLabel1->SetURL(guide);
    ui_->ScrollBar1->setValue(75);
    ScrollBar1Change();
    NamePictureSizes();
    NameListCommands();
    RestoreSettings();
}

void TForm1::RestoreSettings() {
    const RememberedSettings kept = LoadRememberedSettings();
    OpenDialog1->SetInitialDir(kept.picturesFolder);
    SaveDialog1->SetInitialDir(kept.slideshowFolder);
    SaveDialog1->SetFilterIndex(kept.slideshowType);
    signingCertificate_ = kept.signingCertificate;
    SaveDialog1->SetFileName(DefaultSaveName(kept.slideshowType));
    ui_->ScrollBar1->setValue(kept.quality);
    ScrollBar1Change();
    ui_->PictureSize->setCurrentIndex(kept.pictureSize);
    IncludeSubfolders1->setChecked(kept.includeSubfolders);
    ui_->CheckBox1->setChecked(kept.automatic);
    {
        // The unit's caption stays the language's own, as at any start.
        const QSignalBlocker quiet(ui_->NumSpinEdit1);
        ui_->NumSpinEdit1->SetValue(kept.delaySeconds);
    }
    play_ = {kept.shuffle, kept.stopAtEnd, static_cast<std::uint16_t>(kept.crossfadeMs)};
    caption_ = static_cast<CaptionKind>(kept.caption);
    restored_ = true;
}

void TForm1::RememberSettings() {
    if (!restored_) {
        return;
    }
    RememberedSettings kept;
    kept.picturesFolder = OpenDialog1->InitialDir();
    kept.slideshowFolder = SaveDialog1->InitialDir();
    kept.slideshowType = SaveDialog1->FilterIndex();
    kept.signingCertificate = signingCertificate_;
    kept.quality = ui_->ScrollBar1->value();
    kept.pictureSize = pictureSize_;
    kept.includeSubfolders = IncludeSubfolders1->isChecked();
    kept.automatic = ui_->CheckBox1->isChecked();
    kept.delaySeconds = ui_->NumSpinEdit1->Value();
    kept.shuffle = play_.shuffle;
    kept.stopAtEnd = play_.stopAtEnd;
    kept.crossfadeMs = play_.crossfadeMs;
    kept.caption = static_cast<int>(caption_);
    StoreRememberedSettings(kept);
}

void TForm1::FormDestroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    RememberSettings();
    if (DropFileTarget1 != nullptr) {
        DropFileTarget1->Detach();
    }
    if (scratch_ && scratch_->isValid()) {
        ForgetOnSignal(scratch_->path());
    }
    scratch_.reset();
}

int TForm1::SelectedIndex() const {
    const QListWidgetItem* current = ui_->ListBox1->currentItem();
    if (current == nullptr || !current->isSelected()) {
        return -1;
    }
    return ui_->ListBox1->row(current);
}

void TForm1::UpdateButtons() {
    const bool any = ui_->ListBox1->count() > 0;
    ui_->Button2->setEnabled(any);
    ui_->Button4->setEnabled(any);
}

void TForm1::ClearPreview() {
    ui_->Image1->Picture().SetGraphic(nullptr);
    ui_->Image1->update();
    ui_->Image->SetImageName(QString());
}

void TForm1::Button1Click() {
    if (!OpenDialog1->Execute()) {
        return;
    }
    RememberSettings();
    HourglassCursor busy;
    // In the order the dialog lists them, whatever order they were picked in.
    AddPictures(InNaturalOrder(OpenDialog1->Files()), {}, {});
    UpdateButtons();
    if (ui_->Button4->isEnabled()) {
        ui_->Button4->setFocus();
    }
}

void TForm1::Effacer1Click() {
    const int k = SelectedIndex();
    if (k < 0) {
        return;
    }
    {
        const QSignalBlocker quiet(ui_->ListBox1);
        delete ui_->ListBox1->takeItem(k);
        ui_->ListBox1->clearSelection();
        if (k > 0) {
            ui_->ListBox1->setCurrentRow(k - 1);
        } else {
            ui_->ListBox1->setCurrentRow(-1);
        }
    }
    ui_->ListBox1->viewport()->update();
    UpdateButtons();
    ListBox1Click();
}

void TForm1::ListBox1KeyDown(std::uint16_t key, Qt::KeyboardModifiers) {
    if (key == VK_DELETE) {
        Effacer1Click();
    }
}

void TForm1::Effacertout1Click() {
    if (ui_->ListBox1->count() == 0) {
        return;
    }
    if (MessageDlg(MultiLang1->LookupWord(QStringLiteral("@100")), MsgDlgType::Confirmation,
                   mbYes | mbNo) != mrYes) {
        return;
    }
    {
        const QSignalBlocker quiet(ui_->ListBox1);
        ui_->ListBox1->clear();
    }
    ui_->Button2->setEnabled(false);
    ui_->Button4->setEnabled(false);
    ClearPreview();
}

void TForm1::PopupMenu1Popup() {
    const int k = SelectedIndex();
    Effacer1->setEnabled(k >= 0);
    Effacertout1->setEnabled(ui_->ListBox1->count() > 0);
    const QString path = k >= 0 ? PathOf(*ui_->ListBox1->item(k)) : QString();
    Rotation1->setEnabled(k >= 0 && (CanWriteBack(path) || TurnRefusedWithReason(path)));
    for (QAction* sort : {SortByName1, SortByTaken1, SortByModified1}) {
        sort->setEnabled(ui_->ListBox1->count() > 1);
    }
    Legende1->setEnabled(k >= 0);
}

void TForm1::NameListCommands() {
    AddFolder1->setText(MultiLang1->LookupWord(QStringLiteral("@140")));
    IncludeSubfolders1->setText(MultiLang1->LookupWord(QStringLiteral("@142")));
    SortByName1->setText(MultiLang1->LookupWord(QStringLiteral("@144")));
    SortByTaken1->setText(MultiLang1->LookupWord(QStringLiteral("@145")));
    SortByModified1->setText(MultiLang1->LookupWord(QStringLiteral("@146")));
}

void TForm1::AddFolder1Click() {
    const auto folder = Dialogs().chooseFolder(
        {MultiLang1->LookupWord(QStringLiteral("@141")), OpenDialog1->InitialDir()});
    if (!folder || folder->isEmpty()) {
        return;
    }
    OpenDialog1->SetInitialDir(*folder);
    RememberSettings();
    HourglassCursor busy;
    AddNamed({*folder}, false);
    UpdateButtons();
    if (ui_->Button4->isEnabled()) {
        ui_->Button4->setFocus();
    }
}

void TForm1::SortPictures(PictureOrder order) {
    QListWidget& list = *ui_->ListBox1;
    if (list.count() < 2) {
        return;
    }
    HourglassCursor busy;
    QStringList shown;
    QStringList files;
    for (int i = 0; i < list.count(); ++i) {
        shown << list.item(i)->text();
        files << PathOf(*list.item(i));
    }
    const std::vector<int> positions = OrderOfPictures(shown, files, order);
    const int selected = SelectedIndex();
    QListWidgetItem* const kept = selected >= 0 ? list.item(selected) : nullptr;
    {
        // The same items move, so the selection and the preview stay with the picture.
        const QSignalBlocker quiet(list);
        std::vector<QListWidgetItem*> items;
        while (list.count() > 0) {
            items.push_back(list.takeItem(0));
        }
        for (const int p : positions) {
            list.addItem(items[static_cast<std::size_t>(p)]);
        }
        if (kept != nullptr) {
            list.setCurrentItem(kept);
            list.scrollToItem(kept);
        } else {
            list.setCurrentRow(-1);
        }
    }
    list.viewport()->update();
}

void TForm1::Button4Click() {
    ShowPointer(false);
    form2_->exec();
    ShowPointer(true);
    ui_->Button2->setFocus();
}

void TForm1::Button3Click() {
    close();
}

void TForm1::ScrollBar1Change() {
    ui_->Label1->setText(QString::number(ui_->ScrollBar1->value()));
    ui_->Label1->adjustSize();
    PictureQuality_ = static_cast<std::uint8_t>(ui_->ScrollBar1->value());
}

void TForm1::NamePictureSizes() {
    // Renamed in the language in place: the choice stays.
    const QSignalBlocker quiet(ui_->PictureSize);
    for (int i = 0; i < kPictureSizeCount; ++i) {
        const QString text = MultiLang1->LookupWord(QString::fromLatin1(kPictureSizes[i].word));
        if (i < ui_->PictureSize->count()) {
            ui_->PictureSize->setItemText(i, text);
        } else {
            ui_->PictureSize->addItem(text);
        }
    }
    ui_->PictureSize->setCurrentIndex(pictureSize_);
}

void TForm1::PictureSizeChange() {
    pictureSize_ = std::clamp(ui_->PictureSize->currentIndex(), 0, kPictureSizeCount - 1);
    converter_->SetFitBox(kPictureSizes[pictureSize_].width, kPictureSizes[pictureSize_].height);
}

void TForm1::NumSpinEdit1Change() {
    // The unit word in the window's own language, singular for exactly one second.
    ui_->Label3->setText(MultiLang1->LookupWord(
        ui_->NumSpinEdit1->Value() == 1.0 ? QStringLiteral("@104") : QStringLiteral("@105")));
    ui_->Label3->adjustSize();
}

void TForm1::Image2Click() {
    if (!ShellOpen(ui_->Image2->toolTip())) {
        ReportGuideNotOpened(ui_->Image2->toolTip());
    }
}

void TForm1::ReportGuideNotOpened(const QString& address) {
    // Without a browser or opener the user still learns where the guide is.
    const QUrl url(address);
    MessageDlg(MultiLang1->LookupWord(QStringLiteral("@131")) +
                   (url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : address),
               MsgDlgType::Information, mbOK);
}

void TForm1::DropFileTarget1Drop() {
    HourglassCursor busy;
    AddNamed(DropFileTarget1->DroppedFiles(), false);
    UpdateButtons();
}

void TForm1::AddNamedPictures(const QStringList& names) {
    HourglassCursor busy;
    AddNamed(names, true);
    UpdateButtons();
}

QString TForm1::Reachable(const QString& name) {
    if (!name.contains(QChar(0xFFFD)) || QFileInfo::exists(name) || !scratch_ ||
        !scratch_->isValid()) {
        return name;
    }
    const QByteArray bytes = build::BytesOfQtName(QFileInfo(name).absoluteFilePath());
    const QString link = bytes.isEmpty() ? QString() : ReachableBytes(bytes);
    return link.isEmpty() ? name : link;
}

QString TForm1::ReachableBytes(const QByteArray& bytes) {
    if (build::QtCanHold(bytes)) {
        return QFile::decodeName(bytes);
    }
    if (!scratch_ || !scratch_->isValid()) {
        return {};
    }
    if (!nameLinks_) {
        nameLinks_ = std::make_unique<build::NameLinks>(scratch_->path());
    }
    const QString link = nameLinks_->WorkingName(bytes);
    if (!link.isEmpty()) {
        shownAs_.insert(link, QDir::toNativeSeparators(QFile::decodeName(bytes)));
    }
    return link;
}

void TForm1::AddNamed(const QStringList& named, bool mustExist) {
    QStringList given;
    for (const QString& name : named) {
        given << Reachable(name);
    }
    const QString filter = OpenDialog1->Filter();
    const auto typeRead = [&](const QString& name) {
        return !FilesToAppend({}, {name}, filter).isEmpty();
    };
    QStringList names;
    QStringList refused;
    FolderTally folders;
    for (const QString& name : given) {
        if (mustExist && !QFileInfo::exists(name)) {
            refused << RefusedLine(name, MultiLang1->LookupWord(QStringLiteral("@135")));
        } else if (QFileInfo(name).isDir()) {
            // Walked by bytes: Qt's own listing drops names that are not UTF-8. A folder reached
            // through a link of ours is walked by its own name, which its pictures then show.
            QByteArray folder = QFile::encodeName(QFileInfo(name).absoluteFilePath());
            if (shownAs_.contains(name)) {
                if (char* real = ::realpath(folder.constData(), nullptr)) {
                    folder = real;
                    std::free(real);
                }
            }
            const FolderPictures found =
                PicturesInFolder(folder, IncludeSubfolders1->isChecked(), typeRead);
            for (const QByteArray& file : found.files) {
                if (const QString reached = ReachableBytes(file); !reached.isEmpty()) {
                    names << reached;
                }
            }
            folders.any = true;
            folders.skipped += found.skipped;
            folders.capped = folders.capped || found.capped;
        } else if (typeRead(name)) {
            names << name;
        } else {
            refused << RefusedLine(name, MultiLang1->LookupWord(QStringLiteral("@133")));
        }
    }
    AddPictures(names, refused, folders);
}

QString TForm1::RefusedLine(const QString& file, const QString& why) const {
    return QDir::toNativeSeparators(shownAs_.value(file, file)) + QStringLiteral(" : ") + why;
}

QString TForm1::WhyNotAPicture(const QString& file) {
    const QString ext = AsciiUpper(ExtensionOf(file));
    if (ext == QLatin1String(".WMF") || ext == QLatin1String(".ICO")) {
        try {
            TPicture probe;
            probe.LoadFromFile(file);
            if (probe.Width() > 0 && probe.Height() > 0) {
                return {};
            }
        } catch (const Exception& e) {
            return e.message();
        } catch (...) {
        }
        return MultiLang1->LookupWord(QStringLiteral("@134"));
    }
    // Read whole, as the save will read it: a cut file is found now, not at the save. The work
    // buffer is lent for it and left empty.
    QString why;
    bool read = false;
    try {
        ui_->Tampon->SetImageName(file);
        read = ui_->Tampon->LastError().isEmpty() && ui_->Tampon->HeldBitmap() != nullptr;
        why = ui_->Tampon->LastError();
    } catch (const Exception& e) {
        why = e.message(); // a file the library cannot even identify
    }
    ui_->Tampon->SetImageName(QString());
    if (read) {
        return {};
    }
    return why.isEmpty() ? MultiLang1->LookupWord(QStringLiteral("@134")) : why;
}

void TForm1::AddPictures(const QStringList& chosen, QStringList refused,
                         const FolderTally& folders) {
    int added = 0;
    for (const QString& given : chosen) {
        const QString file = Reachable(given);
        if (ListContains(*ui_->ListBox1, file)) {
            continue;
        }
        // A name that no longer exists is listed as before: the preview leaves it blank and
        // the save names it.
        if (QFileInfo(file).isFile()) {
            const QString why = WhyNotAPicture(file);
            if (!why.isEmpty()) {
                refused << RefusedLine(file, why);
                continue;
            }
        }
        AppendToList(*ui_->ListBox1, file, shownAs_.value(file, file));
        ++added;
    }
    // One message for the whole addition: what folders skipped in one line, then the refused.
    QStringList said;
    if (folders.any && (folders.skipped > 0 || folders.capped)) {
        said << MultiLang1->LookupWord(QStringLiteral("@143")).arg(added).arg(folders.skipped);
    }
    if (folders.capped) {
        said << MultiLang1->LookupWord(QStringLiteral("@147")).arg(kMaxFolderPictures);
    }
    if (!refused.isEmpty()) {
        said << MultiLang1->LookupWord(QStringLiteral("@132")) + QLatin1Char('\n') +
                    refused.join(QLatin1Char('\n'));
    }
    if (!said.isEmpty()) {
        SetScreenCursor(ScreenCursor::Default);
        MessageDlg(said.join(QLatin1Char('\n')),
                   refused.isEmpty() ? MsgDlgType::Information : MsgDlgType::Warning, mbOK);
    }
}

QStringList TForm1::Pictures() const {
    return ListItems(*ui_->ListBox1);
}

double TForm1::Delay() const {
    return ui_->NumSpinEdit1->Value();
}

bool TForm1::Automatic() const {
    return ui_->CheckBox1->isChecked();
}

} // namespace pelisto
