#pragma once

#include <QObject>
#include <QString>
#include <atomic>

class QProgressDialog;
class QWidget;

namespace pelisto {

class TBaseMultiLang;

// The save's progress dialog: picture k of N and its name, with Cancel. Told from any thread;
// the dialog itself lives on the user-interface thread.
class SaveProgress : public QObject {
    Q_OBJECT
public:
    SaveProgress(QWidget* window, TBaseMultiLang& words, int count);
    ~SaveProgress() override;

    // Called by the build before picture index (from 0) is written; any thread.
    void Tell(int index, const QString& picture);
    // Whether Cancel was pressed; any thread.
    bool Cancelled() const { return cancelled_.load(); }
    const std::atomic<bool>& CancelFlag() const { return cancelled_; }

    QProgressDialog& Dialog() { return *dialog_; }

private:
    void Show(int index, const QString& picture);

    TBaseMultiLang& words_;
    int count_;
    QProgressDialog* dialog_;
    std::atomic<bool> cancelled_{false};
};

// The status line's text for a saved file: its name and size.
QString SavedStatusText(TBaseMultiLang& words, const QString& path);

} // namespace pelisto
