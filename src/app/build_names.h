#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// File names as bytes. A name is whatever bytes the system allows, and Qt cannot hold every
// such name (bytes that are not UTF-8 come back changed), so a name Qt cannot hold is reached
// through a link with a plain name in the build's scratch folder.
namespace pelisto::build {

// The name made absolute against the working folder, in bytes.
QByteArray AbsoluteBytes(const QByteArray& given);
// True when the name comes back unchanged through a QString.
bool QtCanHold(const QByteArray& bytes);
// The last part of an absolute name.
QByteArray BaseOf(const QByteArray& absolute);
// The bytes of the file an absolute name that came through Qt stands for. Qt turns bytes that
// are not UTF-8 into U+FFFD, so each part of the name holding one is matched against the entries
// of its folder. Empty when a part matches no entry or more than one.
QByteArray BytesOfQtName(const QString& name);

// Links with plain names to files named in any bytes; removed with this object
// (only the links: they are never followed).
class NameLinks {
public:
    explicit NameLinks(const QString& folder);
    ~NameLinks();
    NameLinks(const NameLinks&) = delete;
    NameLinks& operator=(const NameLinks&) = delete;

    // The name `absolute` is opened by: the name itself when Qt can hold it, else a link with the
    // name as Qt shows it (or a plain one with the same extension, which conversion goes by), one
    // link per file. Empty when the link cannot be made.
    QString WorkingName(const QByteArray& absolute);

private:
    QString folder_;
    QStringList links_;
    QHash<QByteArray, QString> linkOf_;
};

} // namespace pelisto::build
