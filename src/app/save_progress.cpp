#include "app/save_progress.h"

#include "language/base_multi_lang.h"

#include <QFileInfo>
#include <QProgressDialog>

namespace pelisto {

SaveProgress::SaveProgress(QWidget* window, TBaseMultiLang& words, int count)
    : words_(words), count_(count), dialog_(new QProgressDialog(window)) {
    dialog_->setWindowTitle(words.LookupWord(QStringLiteral("@108")));
    dialog_->setCancelButtonText(words.LookupWord(QStringLiteral("@110")));
    dialog_->setRange(0, count);
    dialog_->setValue(0);
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumWidth(420);
    connect(dialog_, &QProgressDialog::canceled, this, [this] { cancelled_ = true; });
    // Shown at once, even for a save that is over in a moment: while the save runs the window's
    // events are served, and only the modal dialog keeps a click from clearing the list or
    // starting a second save underneath it.
    dialog_->show();
}

SaveProgress::~SaveProgress() {
    delete dialog_;
}

void SaveProgress::Tell(int index, const QString& picture) {
    QMetaObject::invokeMethod(
        this, [this, index, picture] { Show(index, picture); }, Qt::QueuedConnection);
}

void SaveProgress::Show(int index, const QString& picture) {
    if (cancelled_) {
        return;
    }
    dialog_->setLabelText(words_.LookupWord(QStringLiteral("@109"))
                              .arg(index + 1)
                              .arg(count_)
                              .arg(QFileInfo(picture).fileName()));
    dialog_->setValue(index);
}

QString SavedStatusText(TBaseMultiLang& words, const QString& path) {
    const qint64 kilobytes = (QFileInfo(path).size() + 1023) / 1024;
    return words.LookupWord(QStringLiteral("@111"))
        .arg(QFileInfo(path).fileName(), QString::number(kilobytes));
}

} // namespace pelisto
