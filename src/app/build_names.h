#pragma once

#include "framework/replace_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

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

// The slideshow's place when Qt cannot hold its name: the build writes to a hidden file beside
// the output (reached through a link to its folder), and MoveIntoPlace moves it over the output
// as any save does (framework/replace_file.h). The hidden file is removed if it never moves
// (also on an interrupt).
class ByteNamedOutput {
public:
    // Empty Target() when the output may not be replaced or the file not made.
    ByteNamedOutput(const QByteArray& absolute, NameLinks& links);
    ~ByteNamedOutput();
    ByteNamedOutput(const ByteNamedOutput&) = delete;
    ByteNamedOutput& operator=(const ByteNamedOutput&) = delete;

    const QString& Target() const { return target_; }
    // The output was refused because it has other hard links.
    bool SeveralLinks() const;
    bool MoveIntoPlace();

private:
    std::optional<ReplaceFile> replace_;
    QString target_; // the hidden file through the folder link
};

} // namespace pelisto::build
