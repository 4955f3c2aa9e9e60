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
// The folder part of an absolute name ("/" for a file at the root), and the rest.
QByteArray FolderOf(const QByteArray& absolute);
QByteArray BaseOf(const QByteArray& absolute);

// Links with plain names to files and folders named in any bytes; removed with this object
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
    // A link to `folderBytes`; empty when it cannot be made.
    QString LinkTo(const QByteArray& folderBytes);

private:
    QString folder_;
    QStringList links_;
};

// The slideshow's place when Qt cannot hold its name: the build writes a new file under a hidden
// name that this reserves in the output's folder (reached through a link), and MoveIntoPlace
// renames it to the name's bytes. The hidden file is removed if it never moves (also on an
// interrupt).
class ByteNamedOutput {
public:
    // Empty Target() when the folder cannot be reached or the file not made.
    ByteNamedOutput(const QByteArray& absolute, NameLinks& links);
    ~ByteNamedOutput();
    ByteNamedOutput(const ByteNamedOutput&) = delete;
    ByteNamedOutput& operator=(const ByteNamedOutput&) = delete;

    const QString& Target() const { return target_; }
    bool MoveIntoPlace();

private:
    QByteArray absolute_;
    QByteArray reservedBytes_; // the hidden file by its own bytes
    QString target_;           // the hidden file through the folder link
    bool moved_ = false;
};

} // namespace pelisto::build
