#include "app/code_signing.h"

#include "framework/exceptions.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace pelisto {

QString SigningToolPath() {
    return QStandardPaths::findExecutable(QStringLiteral("osslsigncode"));
}

QString SigningUnavailable(const CodeSigning& signing) {
    if (SigningToolPath().isEmpty()) {
        return QStringLiteral("Cannot sign: osslsigncode, the tool that signs Windows programs, "
                              "is not installed (Debian package osslsigncode)");
    }
    if (!QFileInfo(signing.certificate).isFile()) {
        return QStringLiteral("Cannot sign: the certificate %1 is missing")
            .arg(signing.certificate);
    }
    return {};
}

void SignProgram(const CodeSigning& signing, const QString& in, const QString& out) {
    if (const QString why = SigningUnavailable(signing); !why.isEmpty()) {
        throw Exception(why);
    }
    QStringList args{QStringLiteral("sign"), QStringLiteral("-pkcs12"), signing.certificate,
                     QStringLiteral("-h"), QStringLiteral("sha256")};
    if (!signing.password.isEmpty()) {
        // Read from the pipe: an argument would show in every process list.
        args << QStringLiteral("-readpass") << QStringLiteral("/dev/stdin");
    }
    if (!signing.timestampUrl.isEmpty()) {
        args << QStringLiteral("-ts") << signing.timestampUrl;
    }
    args << QStringLiteral("-in") << in << QStringLiteral("-out") << out;

    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(SigningToolPath(), args);
    if (!tool.waitForStarted(-1)) {
        throw Exception(
            QStringLiteral("Cannot sign: osslsigncode did not start (%1)").arg(tool.errorString()));
    }
    tool.write(signing.password);
    tool.closeWriteChannel();
    tool.waitForFinished(-1);
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0 ||
        !QFileInfo(out).isFile()) {
        // The tool's last lines say why; its first ones only repeat what it was asked.
        const QStringList lines =
            QString::fromLocal8Bit(tool.readAll()).trimmed().split(QLatin1Char('\n'));
        const QString said = lines.mid(std::max<qsizetype>(0, lines.size() - 4)).join(u' ');
        throw Exception(
            QStringLiteral("Signing with %1 failed: %2")
                .arg(signing.certificate, said.isEmpty() ? tool.errorString() : said.simplified()));
    }
}

QByteArray PasswordFromFile(const QByteArray& contents) {
    if (contents.endsWith("\r\n")) {
        return contents.chopped(2);
    }
    return contents.endsWith('\n') ? contents.chopped(1) : contents;
}

} // namespace pelisto
