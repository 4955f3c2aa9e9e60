#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace pelisto {

// The open dialog component a window owns: its title and filter come from the word table, and
// Execute() runs the dialog through the dialog provider.
class TOpenDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ Title WRITE SetTitle)
    Q_PROPERTY(QString filter READ Filter WRITE SetFilter)

public:
    explicit TOpenDialog(QObject* owner = nullptr);

    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }
    // "Description|*.a;*.b" pairs separated by bars.
    QString Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool on) { multiSelect_ = on; }
    QString InitialDir() const { return initialDir_; }
    void SetInitialDir(const QString& dir) { initialDir_ = dir; }

    // The chosen files in the order the dialog returned them, and the first of them.
    const QStringList& Files() const { return files_; }
    QString FileName() const { return fileName_; }
    void SetFileName(const QString& name) { fileName_ = name; }

    // Shows the dialog; false when the user cancels.
    virtual bool Execute();

protected:
    // Keeps a non-empty choice: the files, the first of them, and its folder for next time.
    void Remember(const QStringList& files);

    QString title_;
    QString filter_;
    QString initialDir_;
    QString fileName_;
    QStringList files_;
    bool multiSelect_ = false;
};

// A save dialog is an open dialog with a default extension, an overwrite prompt and a chosen
// file type.
class TSaveDialog : public TOpenDialog {
    Q_OBJECT

public:
    explicit TSaveDialog(QObject* owner = nullptr);

    QString DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const QString& ext) { defaultExt_ = ext; }
    bool OverwritePrompt() const { return overwritePrompt_; }
    void SetOverwritePrompt(bool on) { overwritePrompt_ = on; }
    // The file type, counted from 1 in the filter's pairs: shown first, then the one chosen.
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int index) { filterIndex_ = index; }

    // A name without extension gets the chosen type's extension (the default extension when
    // the type has no single one).
    bool Execute() override;

private:
    QString defaultExt_;
    bool overwritePrompt_ = false;
    int filterIndex_ = 1;
};

} // namespace pelisto
