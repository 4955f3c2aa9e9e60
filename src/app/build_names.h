#pragma once

#include <QByteArray>
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

// Links with plain names to files named in any bytes; removed with this object
// (only the links: they are never followed).
class NameLinks {
public:
    explicit NameLinks(const QString& folder);
    ~NameLinks();
    NameLinks(const NameLinks&) = delete;
    NameLinks& operator=(const NameLinks&) = delete;

    // The name the build opens `absolute` by: the name itself when Qt can hold it, else a link
    // keeping the extension (conversion goes by it). Empty when the link cannot be made.
    QString WorkingName(const QByteArray& absolute);

private:
    QString folder_;
    QStringList links_;
};

} // namespace pelisto::build
