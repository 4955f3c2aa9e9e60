#pragma once

#include <QApplication>
#include <QString>
#include <exception>

namespace pelisto {

// The tool's application object. Exceptions that leave an event handler end that handler and
// are shown by the default error display; the tool keeps running.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The application title: the caption of the default error display's boxes.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// Shows an exception as the default error display does: a message box with the application
// title as caption, an error icon and OK; a period is appended when the message's last
// character sorts after "."; EAbort is dropped silently.
void ShowException(const std::exception& error);
void HandleCurrentException();

// The message as the default error display shows it.
QString ErrorDisplayText(const QString& message);

// Runs an event handler body under the default error display: what it throws is shown and
// swallowed. Slots connected to signals use this, since Qt does not let exceptions pass.
template <typename F> void Guarded(F&& body) {
    try {
        body();
    } catch (...) {
        HandleCurrentException();
    }
}

// The folder of the running executable with its trailing delimiter.
QString ExecutableFolder();
// The running executable's file name with its extension, without folder.
QString ExecutableFileName();

} // namespace pelisto
