#include "app/build_names.h"

#include "app/build_reporting.h"
#include "app/signal_cleanup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace pelisto::build {

QByteArray AbsoluteBytes(const QByteArray& given) {
    if (given.startsWith('/')) {
        return given;
    }
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (buffer.size() > (1u << 20)) {
            return given;
        }
        buffer.resize(buffer.size() * 2);
    }
    QByteArray folder(buffer.data());
    if (!folder.endsWith('/')) {
        folder += '/';
    }
    return folder + given;
}

bool QtCanHold(const QByteArray& bytes) {
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QByteArray FolderOf(const QByteArray& absolute) {
    const qsizetype slash = absolute.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : absolute.left(slash);
}

QByteArray BaseOf(const QByteArray& absolute) {
    return absolute.mid(absolute.lastIndexOf('/') + 1);
}

NameLinks::NameLinks(const QString& folder) : folder_(folder) {}

NameLinks::~NameLinks() {
    for (const QString& link : links_) {
        ::unlink(QFile::encodeName(link).constData());
    }
}

QString NameLinks::WorkingName(const QByteArray& absolute) {
    if (QtCanHold(absolute)) {
        return QFile::decodeName(absolute);
    }
    const QByteArray base = BaseOf(absolute);
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray extension = dot > 0 ? base.mid(dot) : QByteArray();
    QString link = folder_ + QStringLiteral("/picture%1").arg(links_.size());
    if (QtCanHold(extension)) {
        link += QFile::decodeName(extension);
    }
    if (::symlink(absolute.constData(), QFile::encodeName(link).constData()) != 0) {
        return {};
    }
    links_ << link;
    ShowNameAs(link, absolute);
    return link;
}

QString NameLinks::LinkTo(const QByteArray& folderBytes) {
    const QString link = folder_ + QStringLiteral("/folder%1").arg(links_.size());
    if (::symlink(folderBytes.constData(), QFile::encodeName(link).constData()) != 0) {
        return {};
    }
    links_ << link;
    return link;
}

ByteNamedOutput::ByteNamedOutput(const QByteArray& absolute, NameLinks& links)
    : absolute_(absolute) {
    const QByteArray folder = FolderOf(absolute);
    const QString folderLink = links.LinkTo(folder);
    if (folderLink.isEmpty()) {
        return;
    }
    QTemporaryFile reserve(folderLink + QStringLiteral("/.pelisto-build-XXXXXX"));
    reserve.setAutoRemove(false);
    TerminationHeld held;
    if (!reserve.open()) {
        return;
    }
    target_ = reserve.fileName();
    RemoveOnSignal(target_);
    reservedBytes_ = (folder == "/" ? QByteArray() : folder) + '/' +
                     QFile::encodeName(target_.mid(folderLink.size() + 1));
    // Messages about the target name the user's file, those about its folder the user's folder.
    ShowNameAs(target_, absolute);
    ShowNameAs(folderLink, folder);
    // Only the name is kept: the build makes the slideshow there as a new file.
    ::unlink(reservedBytes_.constData());
}

ByteNamedOutput::~ByteNamedOutput() {
    if (!moved_ && !target_.isEmpty()) {
        ::unlink(reservedBytes_.constData());
        ForgetOnSignal(target_);
    }
}

bool ByteNamedOutput::MoveIntoPlace() {
    TerminationHeld held;
    if (std::rename(reservedBytes_.constData(), absolute_.constData()) != 0) {
        return false;
    }
    moved_ = true;
    ForgetOnSignal(target_);
    return true;
}

} // namespace pelisto::build
