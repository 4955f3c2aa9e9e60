#include "app/build_names.h"

#include "app/build_reporting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
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

QByteArray BaseOf(const QByteArray& absolute) {
    return absolute.mid(absolute.lastIndexOf('/') + 1);
}

QByteArray BytesOfQtName(const QString& name) {
    constexpr QChar kReplaced(0xFFFD);
    if (!name.startsWith(QLatin1Char('/')) || !name.contains(kReplaced)) {
        return QFile::encodeName(name);
    }
    QByteArray bytes;
    for (const QString& part : name.mid(1).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!part.contains(kReplaced)) {
            bytes += '/' + QFile::encodeName(part);
            continue;
        }
        DIR* folder = ::opendir(bytes.isEmpty() ? "/" : bytes.constData());
        if (folder == nullptr) {
            return {};
        }
        QByteArray found;
        int matches = 0;
        while (const dirent* entry = ::readdir(folder)) {
            if (QFile::decodeName(entry->d_name) == part) {
                found = entry->d_name;
                ++matches;
            }
        }
        ::closedir(folder);
        if (matches != 1) {
            return {};
        }
        bytes += '/' + found;
    }
    return bytes;
}

NameLinks::NameLinks(const QString& folder) : folder_(folder) {}

NameLinks::~NameLinks() {
    for (const QString& link : links_) {
        const QByteArray bytes = QFile::encodeName(link);
        ::unlink(bytes.constData());
        ::rmdir(bytes.left(bytes.lastIndexOf('/')).constData());
    }
}

QString NameLinks::WorkingName(const QByteArray& absolute) {
    if (QtCanHold(absolute)) {
        return QFile::decodeName(absolute);
    }
    if (const auto known = linkOf_.constFind(absolute); known != linkOf_.constEnd()) {
        return *known;
    }
    // Each link in a folder of its own, so it can bear the name as shown.
    const QString folder = folder_ + QStringLiteral("/link%1").arg(links_.size());
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        return {};
    }
    const QByteArray base = BaseOf(absolute);
    QString shown = QFile::decodeName(base);
    if (QFile::encodeName(shown).size() > 255) {
        const qsizetype dot = base.lastIndexOf('.');
        const QByteArray extension = dot > 0 ? base.mid(dot) : QByteArray();
        shown = QStringLiteral("picture") +
                (QtCanHold(extension) ? QFile::decodeName(extension) : QString());
    }
    const QString link = folder + QLatin1Char('/') + shown;
    if (::symlink(absolute.constData(), QFile::encodeName(link).constData()) != 0) {
        ::rmdir(QFile::encodeName(folder).constData());
        return {};
    }
    links_ << link;
    linkOf_.insert(absolute, link);
    ShowNameAs(link, absolute);
    return link;
}

} // namespace pelisto::build
