// The main window's save, preview, rotation and conversion commands.
#include "app/jpeg_converter.h"
#include "app/main_window.h"
#include "app/picture_paths.h"
#include "app/picture_sizes.h"
#include "app/preview_fit.h"
#include "app/save_progress.h"
#include "app/signal_cleanup.h"
#include "app/slideshow_builder.h"
#include "controls/num_spin_edit.h"
#include "framework/application.h"
#include "framework/common_dialogs.h"
#include "framework/cursor_state.h"
#include "framework/dialogs.h"
#include "framework/exceptions.h"
#include "framework/image_box.h"
#include "language/multi_lang.h"
#include "picture/file_turn.h"
#include "picture/multi_picture.h"
#include "ui_main_window.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

namespace pelisto {
QString TForm1::ConvertToJpeg(const QString& fileName) {
    if (ScratchFolder().isEmpty()) {
        throw Exception(
            QStringLiteral("Unable to convert %1 to JPEG: no private scratch folder could be made "
                           "(%2)")
                .arg(fileName, scratch_ ? scratch_->errorString()
                                        : QStringLiteral("no usable temporary folder")));
    }
    return converter_->ConvertToJpeg(fileName, PictureQuality_);
}

void TForm1::AddSaveTypes() {
    // The word table's record gives the save dialog its first type, "Program (*.exe)"; the
    // others follow it from messages of their own, in the same language. The video comes last
    // so that a remembered type keeps naming the type it named before.
    SaveDialog1->SetFilter(SaveDialog1->Filter() + QLatin1Char('|') +
                           MultiLang1->LookupWord(QStringLiteral("@106")) + QLatin1Char('|') +
                           MultiLang1->LookupWord(QStringLiteral("@112")) + QLatin1Char('|') +
                           MultiLang1->LookupWord(QStringLiteral("@115")) + QLatin1Char('|') +
                           MultiLang1->LookupWord(QStringLiteral("@170")));
}

void TForm1::AddOpenTypes() {
    // Today's phone and web formats came after the record's filter; the whole filter, with
    // them, is a message of its own in the same language.
    OpenDialog1->SetFilter(MultiLang1->LookupWord(QStringLiteral("@136")));
}

std::optional<CodeSigning> TForm1::AskSigning() {
    CodeSigning signing{signingCertificate_, {}, {}};
    if (SigningToolPath().isEmpty()) {
        MessageDlg(SigningUnavailable(signing), MsgDlgType::Error, mbOK);
        return std::nullopt;
    }
    for (;;) {
        if (!QFileInfo(signing.certificate).isFile()) {
            const auto chosen = Dialogs().openFiles(
                {MultiLang1->LookupWord(QStringLiteral("@116")),
                 MultiLang1->LookupWord(QStringLiteral("@117")),
                 signingCertificate_.isEmpty() ? QString()
                                               : QFileInfo(signingCertificate_).absolutePath()});
            if (!chosen || chosen->isEmpty()) {
                return std::nullopt;
            }
            signing.certificate = chosen->front();
            signingCertificate_ = signing.certificate;
            RememberSettings();
        }
        const auto answer =
            Dialogs().askPassword({MultiLang1->LookupWord(QStringLiteral("@118")),
                                   MultiLang1->LookupWord(QStringLiteral("@119"))
                                       .arg(QDir::toNativeSeparators(signing.certificate)),
                                   MultiLang1->LookupWord(QStringLiteral("@120"))});
        if (!answer) {
            return std::nullopt;
        }
        if (!answer->otherFile) {
            signing.password = answer->password.toUtf8();
            return signing;
        }
        signing.certificate.clear();
    }
}

// The save dialog's types in order: the Windows program, the Linux program, the web page, the
// signed Windows program, the video.
SlideshowTarget TargetOfSaveType(int type) {
    switch (type) {
    case 2:
        return SlideshowTarget::Linux;
    case 3:
        return SlideshowTarget::Web;
    case 5:
        return SlideshowTarget::Video;
    default:
        return SlideshowTarget::Windows;
    }
}

int SaveTypeOf(SlideshowTarget target) {
    switch (target) {
    case SlideshowTarget::Linux:
        return 2;
    case SlideshowTarget::Web:
        return 3;
    case SlideshowTarget::Video:
        return 5;
    case SlideshowTarget::Windows:
        break;
    }
    return 1;
}

QString DefaultSaveName(int type) {
    return OutputNameFor(QStringLiteral("Pelisto"), TargetOfSaveType(type));
}

void TForm1::ReportMissingStub(SlideshowTarget target) {
    const QString said =
        target == SlideshowTarget::Windows ? QStringLiteral("@101") : QStringLiteral("@107");
    MessageDlg(StubPath(target) + MultiLang1->LookupWord(said) + ExecutableFileName() +
                   QStringLiteral(". Bye bye ;-("),
               MsgDlgType::Error, mbOK);
}

void TForm1::Button2Click() {
    // With neither stub there is nothing to save; the dialog's first type names its stub. A
    // folder of that name is no stub either.
    const bool haveWindows = QFileInfo(StubPath(SlideshowTarget::Windows)).isFile();
    const bool haveLinux = QFileInfo(StubPath(SlideshowTarget::Linux)).isFile();
    if (!haveWindows && !haveLinux) {
        ReportMissingStub(SlideshowTarget::Windows);
        return;
    }
    if (!SaveDialog1->Execute()) {
        return;
    }
    // A typed name's own extension decides the type, as pelisto-build decides it; any other
    // name gets the chosen type's extension. The type is then the one saved, for next time.
    const QString typed = SaveDialog1->FileName();
    const int type = SaveDialog1->FilterIndex();
    const QString path = OutputNameFor(typed, TargetOfSaveType(type));
    const SlideshowTarget target = TargetForOutputName(path);
    // The dialog asked about the name typed; a file under the longer name is asked about here.
    if (path != typed && QFileInfo::exists(path) &&
        MessageDlg(QDir::toNativeSeparators(path) + MultiLang1->LookupWord(QStringLiteral("@130")),
                   MsgDlgType::Confirmation, mbYes | mbNo) != mrYes) {
        return;
    }
    SaveDialog1->SetFileName(path);
    // The fourth type, the signed Windows program, stays chosen while the name is a program's.
    const bool signedProgram = type == 4 && target == SlideshowTarget::Windows;
    SaveDialog1->SetFilterIndex(signedProgram ? 4 : SaveTypeOf(target));
    RememberSettings();
    // The page and the video need no stub.
    if (!StubFileName(target).isEmpty() &&
        !(target == SlideshowTarget::Windows ? haveWindows : haveLinux)) {
        ReportMissingStub(target);
        return;
    }
    std::optional<CodeSigning> signing;
    if (signedProgram && !(signing = AskSigning())) {
        return;
    }
    BuildSlideshow(path, target, signing ? &*signing : nullptr);
    if (ui_->Button3->isEnabled()) {
        ui_->Button3->setFocus();
    }
}

void TForm1::BuildSlideshow(const QString& path, SlideshowTarget target,
                            const CodeSigning* signing) {
    SlideshowSettings settings;
    settings.automatic = ui_->CheckBox1->isChecked();
    settings.delaySeconds = ui_->NumSpinEdit1->Value();
    settings.play = play_;
    settings.captions = CaptionTexts();
    const QStringList pictures = Pictures();
    const QString stub = StubPath(target);
    // The page speaks the tool's language.
    const WebPageWords page{MultiLang1->ActiveLanguage() == 0 ? QStringLiteral("fr")
                                                              : QStringLiteral("en"),
                            {MultiLang1->LookupWord(QStringLiteral("@113")),
                             MultiLang1->LookupWord(QStringLiteral("@114"))},
                            {}};
    ui_->SaveStatus->clear();
    ui_->SaveStatus->setToolTip({});
    // Made and registered as one step: an interrupted save removes it.
    std::unique_ptr<QTemporaryDir> scratchFolder;
    std::optional<RemovedOnSignal> scratchGoes;
    {
        const TerminationHeld held;
        scratchFolder = std::make_unique<QTemporaryDir>();
        if (scratchFolder->isValid()) {
            scratchGoes.emplace(scratchFolder->path());
        }
    }
    const QTemporaryDir& scratch = *scratchFolder;
    if (!scratch.isValid()) {
        throw EFCreateError(QDir::tempPath(), scratch.errorString());
    }
    // The pictures are converted on worker threads and the file written on a thread of its own,
    // so the window stays responsive and the dialog can cancel; this one waits for it here.
    SaveProgress progress(this, *MultiLang1, static_cast<int>(pictures.size()));
    // A video's pictures are fitted into its frame (Full HD at the pictures' own size) at a
    // fixed quality; the quality setting is the encoder's.
    const PictureConversion made = PictureConversionFor(
        target, PictureQuality_, converter_->FitWidth(), converter_->FitHeight());
    const PictureWorkerFactory workers = JpegWorkerFactory(made.quality, made.width, made.height);
    std::exception_ptr error;
    QEventLoop waiting;
    std::thread build;
    try {
        build = std::thread([&] {
            try {
                const BuildProgress tell = [&](int index, int, const QString& picture) {
                    progress.Tell(index, picture);
                };
                if (target == SlideshowTarget::Video) {
                    BuildVideoFile(path, pictures, settings, {made.width, made.height},
                                   PictureQuality_, DefaultWorkerCount(), scratch.path(), workers,
                                   tell, &progress.CancelFlag());
                } else if (target == SlideshowTarget::Web) {
                    BuildSlideshowFile(path, page, pictures, settings, DefaultWorkerCount(),
                                       scratch.path(), workers, tell, &progress.CancelFlag());
                } else {
                    ProgramSigner sign;
                    if (signing != nullptr) {
                        sign = [signing](const QString& in, const QString& out) {
                            SignProgram(*signing, in, out);
                        };
                    }
                    BuildSlideshowFile(path, stub, pictures, settings, DefaultWorkerCount(),
                                       scratch.path(), workers, tell, &progress.CancelFlag(), sign);
                }
            } catch (...) {
                error = std::current_exception();
            }
            QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error& e) {
        throw Exception(QStringLiteral("The slideshow cannot be saved: no thread could be started "
                                       "(%1)")
                            .arg(QString::fromLocal8Bit(e.what())));
    }
    waiting.exec();
    build.join();
    progress.Dialog().hide();
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const EAbort&) {
            if (!progress.Cancelled()) {
                throw;
            }
            return; // cancelled: the old file stays as it was, and nothing more is said
        }
    }
    ui_->SaveStatus->setText(SavedStatusText(*MultiLang1, path));
    ui_->SaveStatus->setToolTip(QDir::toNativeSeparators(path));
    // The smaller sizes it names are those smaller than what was made: a video's frame.
    const QString tooLarge =
        MailSizeWarning(*MultiLang1, QFileInfo(path).size(), made.width, made.height);
    if (!tooLarge.isEmpty()) {
        ui_->SaveStatus->setText(ui_->SaveStatus->text() + QLatin1Char('\n') + tooLarge);
    }
    // The warning takes more lines: the line grows upward from the panel's foot.
    QLabel& status = *ui_->SaveStatus;
    status.setWordWrap(true);
    const QRect line = status.geometry();
    const int height = std::max(16, status.heightForWidth(line.width()));
    status.setGeometry(line.left(), line.bottom() + 1 - height, line.width(), height);
}

void TForm1::ListBox1Click() {
    const int k = SelectedIndex();
    if (k < 0) {
        ClearPreview();
        return;
    }
    const QString ext = AsciiUpper(ExtensionOf(PathOf(*ui_->ListBox1->item(k))));
    const bool platform = ext == QLatin1String(".WMF") || ext == QLatin1String(".ICO");
    ui_->Image1->setVisible(platform);
    ui_->Image->setVisible(!platform);
    ShowPreview();
}

void TForm1::ShowPreview() {
    const int k = SelectedIndex();
    if (k < 0) {
        return;
    }
    const QString path = PathOf(*ui_->ListBox1->item(k));
    if (!QFileInfo(path).isFile()) {
        ClearPreview();
        return;
    }
    // The preview never complains: a picture it cannot show simply stays blank, never showing
    // the picture before it.
    const QString ext = AsciiUpper(ExtensionOf(path));
    const bool platform = ext == QLatin1String(".WMF") || ext == QLatin1String(".ICO");
    const auto blank = [&] {
        if (platform) {
            ui_->Image1->Picture().SetGraphic(nullptr);
            ui_->Image1->update();
        } else {
            ui_->Image->SetImageName(QString());
        }
    };
    try {
        HourglassCursor busy;
        QWidget* shown = nullptr;
        int w = 0;
        int h = 0;
        if (platform) {
            ui_->Image1->Picture().LoadFromFile(path);
            w = ui_->Image1->Picture().Width();
            h = ui_->Image1->Picture().Height();
            shown = ui_->Image1;
        } else {
            ui_->Image->SetImageName(path);
            if (!ui_->Image->LastError().isEmpty() || ui_->Image->HeldBitmap() == nullptr) {
                blank();
                return;
            }
            w = ui_->Image->ImageWidth();
            h = ui_->Image->ImageHeight();
            shown = ui_->Image;
        }
        const PreviewPlacement place =
            PlacePreview(w, h, ui_->Panel->width(), ui_->Panel->height());
        if (shown == ui_->Image1) {
            ui_->Image1->SetStretch(place.stretch);
        } else {
            ui_->Image->SetStretch(place.stretch);
        }
        shown->setGeometry(place.rect);
        shown->update();
    } catch (...) {
        blank();
    }
}

void TForm1::N90horaire1Click() {
    RotatePicture(-90);
}

void TForm1::N90antihoraire1Click() {
    RotatePicture(90);
}

void TForm1::N1801Click() {
    RotatePicture(180);
}

void TForm1::RotatePicture(int angle) {
    const int k = SelectedIndex();
    if (k < 0) {
        return;
    }
    const QString path = PathOf(*ui_->ListBox1->item(k));
    {
        HourglassCursor busy;
        if (!QFileInfo(path).isFile()) {
            SetScreenCursor(ScreenCursor::Default);
            MessageDlg(path + MultiLang1->LookupWord(QStringLiteral("@102")), MsgDlgType::Warning,
                       mbOK);
            return;
        }
        // The file is turned as it is stored, never decoded and encoded again: nothing of the
        // picture is lost. A turn that cannot be made raises (the default display shows why)
        // before anything is written.
        const int turns = angle == 90 ? 1 : angle == 180 ? 2 : -1;
        const bool saved = TurnPictureFile(path, turns);
        if (!saved) {
            // The hourglass is application-wide here: it would cover the box and tell the user
            // the tool is still busy.
            SetScreenCursor(ScreenCursor::Default);
            MessageDlg(MultiLang1->LookupWord(QStringLiteral("@103")), MsgDlgType::Error, mbOK);
        }
    }
    ShowPreview();
}

} // namespace pelisto
