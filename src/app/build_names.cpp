#include "app/build_names.h"

#include "app/build_reporting.h"
#include "app/signal_cleanup.h"
#include "framework/replace_file.h"

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

ByteNamedOutput::ByteNamedOutput(const QByteArray& absolute, NameLinks& links) {
    // Made and registered as one step: an interrupted build removes it.
    TerminationHeld held;
    replace_.emplace(absolute, ReplaceFile::Kind::Program, [&](const QByteArray& folder) {
        const QString link = links.LinkTo(folder);
        // Messages about the folder name the user's folder.
        ShowNameAs(link, folder);
        return link;
    });
    if (!replace_->ok()) {
        return;
    }
    target_ = replace_->writePath();
    if (!replace_->direct()) {
        RemoveOnSignal(target_);
    }
    // Messages about the target name the user's file.
    ShowNameAs(target_, absolute);
}

ByteNamedOutput::~ByteNamedOutput() {
    TerminationHeld held;
    if (!target_.isEmpty() && !replace_->direct()) {
        ForgetOnSignal(target_);
    }
    replace_.reset();
}

bool ByteNamedOutput::SeveralLinks() const {
    return replace_->severalLinks();
}

bool ByteNamedOutput::MoveIntoPlace() {
    TerminationHeld held;
    if (!replace_->Commit()) {
        return false;
    }
    if (!replace_->direct()) {
        ForgetOnSignal(target_);
    }
    return true;
}

} // namespace pelisto::build
