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

// A save dialog is an open dialog with a default extension and an overwrite prompt.
class TSaveDialog : public TOpenDialog {
    Q_OBJECT

public:
    explicit TSaveDialog(QObject* owner = nullptr);

    QString DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const QString& ext) { defaultExt_ = ext; }
    bool OverwritePrompt() const { return overwritePrompt_; }
    void SetOverwritePrompt(bool on) { overwritePrompt_ = on; }

    bool Execute() override;

private:
    QString defaultExt_;
    bool overwritePrompt_ = false;
};

} // namespace pelisto
