#include "framework/common_dialogs.h"

#include "framework/dialogs.h"

#include <QDir>
#include <QFileInfo>

namespace pelisto {

TOpenDialog::TOpenDialog(QObject* owner) : QObject(owner) {}

bool TOpenDialog::Execute() {
    OpenDialogRequest request;
    request.title = title_;
    request.filter = filter_;
    request.initialDir = initialDir_;
    request.multiSelect = multiSelect_;
    auto chosen = Dialogs().openFiles(request);
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    QStringList files;
    for (const QString& f : *chosen) {
        files << QDir::toNativeSeparators(QFileInfo(f).absoluteFilePath());
    }
    Remember(files);
    return true;
}

void TOpenDialog::Remember(const QStringList& files) {
    files_ = files;
    fileName_ = files_.constFirst();
    initialDir_ = QFileInfo(fileName_).absolutePath();
}

TSaveDialog::TSaveDialog(QObject* owner) : TOpenDialog(owner) {}

bool TSaveDialog::Execute() {
    SaveDialogRequest request;
    request.title = title_;
    request.filter = filter_;
    request.defaultExt = defaultExt_;
    request.fileName = fileName_;
    request.initialDir = initialDir_;
    request.overwritePrompt = overwritePrompt_;
    request.filterIndex = filterIndex_;
    auto chosen = Dialogs().saveFileAndType(request);
    if (!chosen || chosen->fileName.isEmpty()) {
        return false;
    }
    filterIndex_ = chosen->filterIndex;
    const QString typeExt = FilterExtension(filter_, filterIndex_);
    const QString ext = typeExt.isEmpty() ? defaultExt_ : typeExt;
    QString path = QFileInfo(chosen->fileName).absoluteFilePath();
    if (!ext.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
        path += QLatin1Char('.') + ext;
    }
    Remember(QStringList{path});
    return true;
}

} // namespace pelisto
