#pragma once

#include <QByteArray>
#include <QString>

namespace pelisto {

// How a Windows slideshow is signed: a code-signing certificate with its private key in a
// PKCS#12 file (.pfx, .p12), the file's password and, if wanted, a time-stamping service, so the
// signature stays valid after the certificate expires.
struct CodeSigning {
    QString certificate;
    QByteArray password; // handed to the signing tool through a pipe, never stored
    QString timestampUrl;
};

// The signing tool, osslsigncode, found on the PATH; empty when it is not installed.
QString SigningToolPath();

// Why signing cannot start (the tool or the certificate is missing), or empty.
QString SigningUnavailable(const CodeSigning& signing);

// Signs the Windows program `in` into the new file `out` (SHA-256 Authenticode). Throws
// Exception with the tool's own words when it fails: a wrong password, a certificate that is no
// PKCS#12 file, an unreachable time-stamping service.
void SignProgram(const CodeSigning& signing, const QString& in, const QString& out);

// The password in a file: its bytes, less one final line end.
QByteArray PasswordFromFile(const QByteArray& contents);

} // namespace pelisto
