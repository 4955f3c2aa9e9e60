#include "picture/safe_write.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace pelisto {
namespace {

// The process's file creation mask, read without changing it: umask() would change it for every
// thread meanwhile, and pictures are written on several at once.
mode_t CreationMask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    return static_cast<mode_t>(mask & 0777);
                }
            }
        }
    }
    return 022;
}

} // namespace

SaveTarget PrepareTarget(const QString& name) {
    SaveTarget t;
    if (name.isEmpty()) {
        return t;
    }
    QFileInfo info(name);
    t.finalName = info.isSymLink() ? info.canonicalFilePath() : info.absoluteFilePath();
    if (t.finalName.isEmpty()) {
        t.finalName = info.absoluteFilePath();
    }
    struct stat st {};
    const QByteArray native = QFile::encodeName(t.finalName);
    if (::stat(native.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            t.direct = true;
            t.writeName = t.finalName;
            t.ok = true;
            return t;
        }
        if (::access(native.constData(), W_OK) != 0) {
            t.error = QString::fromLocal8Bit(std::strerror(errno));
            return t; // a read-only file stays as it is
        }
    }
    QTemporaryFile temp(QFileInfo(t.finalName).absolutePath() + QStringLiteral("/.") +
                        QFileInfo(t.finalName).fileName() + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        t.error = temp.errorString();
        return t;
    }
    t.writeName = temp.fileName();
    temp.close();
    t.ok = true;
    return t;
}

bool CommitTarget(const SaveTarget& t) {
    if (t.direct) {
        return true;
    }
    const QByteArray from = QFile::encodeName(t.writeName);
    const QByteArray to = QFile::encodeName(t.finalName);
    // The new file takes the old file's permissions, or the usual ones for a new file.
    struct stat st {};
    mode_t mode = 0;
    if (::stat(to.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode = 0666 & ~CreationMask();
    }
    ::chmod(from.constData(), mode);
    return ::rename(from.constData(), to.constData()) == 0;
}

void DiscardTarget(const SaveTarget& target) {
    if (target.ok && !target.direct) {
        QFile::remove(target.writeName);
    }
}

} // namespace pelisto
