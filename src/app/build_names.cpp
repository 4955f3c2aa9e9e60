#include "app/build_names.h"

#include "app/build_reporting.h"

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

} // namespace pelisto::build
