#include "framework/exceptions.h"

namespace pelisto {

const char* Exception::what() const noexcept {
    utf8_ = message_.toStdString();
    return utf8_.c_str();
}

EFCreateError::EFCreateError(const QString& fileName, const QString& cause)
    : EStreamError(QString::fromUtf8(framework_texts::FCreateError).arg(fileName) +
                   (cause.isEmpty() ? QString() : QStringLiteral(" : ") + cause)) {}

EFLinkedError::EFLinkedError(const QString& fileName)
    : EStreamError(QString::fromUtf8(framework_texts::FLinkedError).arg(fileName)) {}

EFOpenError::EFOpenError(const QString& fileName)
    : EStreamError(QString::fromUtf8(framework_texts::FOpenError).arg(fileName)) {}

EWriteError::EWriteError() : EStreamError(QString::fromUtf8(framework_texts::WriteError)) {}

EReadError::EReadError() : EStreamError(QString::fromUtf8(framework_texts::ReadError)) {}

} // namespace pelisto
