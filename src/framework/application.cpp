#include "framework/application.h"

#include "framework/dialogs.h"
#include "framework/exceptions.h"

#include <QFileInfo>

namespace pelisto {

namespace {
QString& TitleStorage() {
    static QString title;
    return title;
}
} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleCurrentException();
    }
    return false;
}

QString ApplicationTitle() {
    if (TitleStorage().isEmpty()) {
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    }
    return TitleStorage();
}

void SetApplicationTitle(const QString& title) {
    TitleStorage() = title;
    QGuiApplication::setApplicationDisplayName(title);
}

QString ErrorDisplayText(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back() > QLatin1Char('.')) {
        text += QLatin1Char('.');
    }
    return text;
}

void ShowException(const std::exception& error) {
    if (dynamic_cast<const EAbort*>(&error) != nullptr) {
        return;
    }
    QString message;
    if (const auto* own = dynamic_cast<const Exception*>(&error)) {
        message = own->message();
    } else {
        message = QString::fromLocal8Bit(error.what());
    }
    MessageBox(ErrorDisplayText(message), ApplicationTitle(), MsgBoxIcon::Error, mbOK);
}

void HandleCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        MessageBox(ErrorDisplayText(QStringLiteral("Unknown error")), ApplicationTitle(),
                   MsgBoxIcon::Error, mbOK);
    }
}

QString ExecutableFolder() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

QString ExecutableFileName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

} // namespace pelisto
