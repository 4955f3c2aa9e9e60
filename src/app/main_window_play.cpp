// The main window's playback options: the dialog that sets them, and each picture's caption.

#include "app/main_window.h"

#include "app/picture_paths.h"
#include "app/playback_dialog.h"
#include "framework/dialogs.h"
#include "language/multi_lang.h"
#include "ui_main_window.h"

#include <QFileInfo>
#include <QListWidget>

namespace pelisto {
namespace {

// Where a list entry keeps the caption typed for its picture; it moves with the entry.
constexpr int kOwnCaptionRole = Qt::UserRole + 1;

} // namespace

void TForm1::SetPlayback(const PlayOptions& play, CaptionKind caption) {
    play_ = play;
    caption_ = caption;
    RememberSettings();
}

void TForm1::PlaybackClick() {
    PlaybackDialog dialog(
        this, [this](const char* id) { return MultiLang1->LookupWord(QLatin1String(id)); }, play_,
        caption_);
    if (dialog.exec() == QDialog::Accepted) {
        SetPlayback(dialog.Play(), dialog.Caption());
    }
}

void TForm1::NamePlayback() {
    ui_->PlaybackButton->setText(MultiLang1->LookupWord(QStringLiteral("@150")));
    Legende1->setText(MultiLang1->LookupWord(QStringLiteral("@166")));
}

QString TForm1::OwnCaption(int index) const {
    const QListWidgetItem* item = ui_->ListBox1->item(index);
    return item != nullptr ? item->data(kOwnCaptionRole).toString() : QString();
}

void TForm1::SetOwnCaption(int index, const QString& text) {
    QListWidgetItem* item = ui_->ListBox1->item(index);
    if (item == nullptr) {
        return;
    }
    const QString kept = text.simplified(); // one line, as it is drawn
    item->setData(kOwnCaptionRole, kept.isEmpty() ? QVariant() : QVariant(kept));
    item->setToolTip(kept);
}

void TForm1::Legende1Click() {
    const int k = SelectedIndex();
    if (k < 0) {
        return;
    }
    const auto typed = Dialogs().askText(
        {MultiLang1->LookupWord(QStringLiteral("@166")).remove(QString::fromUtf8("…")),
         MultiLang1->LookupWord(QStringLiteral("@167"))
             .arg(QFileInfo(ui_->ListBox1->item(k)->text()).fileName()),
         OwnCaption(k)});
    if (!typed) {
        return;
    }
    SetOwnCaption(k, *typed);
    // Typing a caption asks for own captions, unless the show already has another kind.
    if (caption_ == CaptionKind::None && !OwnCaption(k).isEmpty()) {
        SetPlayback(play_, CaptionKind::OwnText);
    }
}

QString TForm1::Caption(int index) const {
    const QListWidgetItem* item = ui_->ListBox1->item(index);
    if (item == nullptr || caption_ == CaptionKind::None) {
        return {};
    }
    return QString::fromStdString(
        CaptionText(caption_, PathOf(*item), item->text(), OwnCaption(index)));
}

std::vector<std::string> TForm1::CaptionTexts() const {
    std::vector<std::string> texts;
    if (caption_ == CaptionKind::None) {
        return texts;
    }
    for (int i = 0; i < ui_->ListBox1->count(); ++i) {
        texts.push_back(Caption(i).toStdString());
    }
    return texts;
}

} // namespace pelisto
