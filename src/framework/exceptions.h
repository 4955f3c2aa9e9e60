#pragma once

#include <QString>
#include <exception>
#include <string>

namespace pelisto {

// Base of every error the tool raises. Event handlers let these escape; the application's
// default error display shows the message (see error_display.h).
class Exception : public std::exception {
public:
    explicit Exception(QString message) : message_(std::move(message)) {}
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override;

private:
    QString message_;
    mutable std::string utf8_;
};

// Silent abort: the default error display drops it.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

class EStreamError : public Exception {
    using Exception::Exception;
};
class EFCreateError : public EStreamError {
public:
    // The cause, in the system's words, follows the name when there is one.
    explicit EFCreateError(const QString& fileName, const QString& cause = {});
};
// A file with other hard links, which a save does not replace.
class EFLinkedError : public EStreamError {
public:
    explicit EFLinkedError(const QString& fileName);
};
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const QString& fileName);
};
class EWriteError : public EStreamError {
public:
    EWriteError();
};
class EReadError : public EStreamError {
public:
    EReadError();
};

// A picture that cannot be read or has no graphic class.
class EInvalidGraphic : public Exception {
    using Exception::Exception;
};
class EInvalidGraphicOperation : public Exception {
    using Exception::Exception;
};

// Texts of the framework's own errors, which stay French whatever the word table says.
namespace framework_texts {
inline constexpr const char* FCreateError = "Impossible de créer le fichier %1";
inline constexpr const char* FLinkedError =
    "Le fichier %1 a d'autres liens physiques : il n'est pas remplacé";
inline constexpr const char* FOpenError = "Impossible d'ouvrir le fichier %1";
inline constexpr const char* WriteError = "Erreur d'écriture dans le flux";
inline constexpr const char* ReadError = "Erreur de lecture du flux";
} // namespace framework_texts

} // namespace pelisto
