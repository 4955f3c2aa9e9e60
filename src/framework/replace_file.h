#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/types.h>

namespace pelisto {

// Writes a file beside its target and moves it over the target only once it is complete, so a
// failed write leaves the old file as it was. The old file is respected: a symbolic link is
// followed (the file it names is replaced and the link stays), a file this user may not write is
// left alone, and the new file takes the old one's permission bits and, where the process may,
// its owner and group. A file with other hard links is refused: replacing it would cut it off
// from its other names, and writing it in place cannot be undone after a failure. A device or
// other special file is written directly.
class ReplaceFile {
public:
    enum class Kind {
        Data,    // a new file gets the usual 0666 less the umask
        Program, // 0777 less the umask; a replaced file also gets execute where it has read
    };

    // A name for a folder (given by its bytes) that a QString can hold, or empty.
    using FolderReach = std::function<QString(const QByteArray& folder)>;

    // Checks the target and makes the file to write; ok() says whether it could.
    explicit ReplaceFile(const QString& target, Kind kind = Kind::Data);
    // The same for an absolute name in bytes that a QString may not hold; when the file to write
    // lies in such a folder, writePath() reaches it through the name that `reach` gives.
    ReplaceFile(const QByteArray& absoluteTarget, Kind kind, const FolderReach& reach);
    // Removes the written file unless it was committed.
    ~ReplaceFile();
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    bool ok() const { return ok_; }
    // Why no file could be made, in the system's words, when ok() is false.
    const QString& error() const { return error_; }
    // The target had other hard links (ok() is false).
    bool severalLinks() const { return severalLinks_; }
    // The file to write: beside the target, or the target itself when direct().
    const QString& writePath() const { return writePath_; }
    // The file that is replaced, after following any symbolic links.
    const QString& targetPath() const { return targetPath_; }
    bool direct() const { return direct_; }

    // Raises the error for a file that could not be made: the creation error with the name the
    // caller gave, or the hard-link refusal.
    [[noreturn]] void Raise() const;
    // Moves the written file over the target with the old file's permissions and owner. False
    // (errno set) when it could not; the target is then unchanged.
    bool Commit();
    // Removes the written file now.
    void Discard();

private:
    void Prepare(const QByteArray& absoluteTarget, Kind kind, const FolderReach& reach);

    QString name_;
    QByteArray targetNative_;
    QByteArray writeNative_;
    QString targetPath_;
    QString writePath_;
    QString error_;
    bool ok_ = false;
    bool direct_ = false;
    bool severalLinks_ = false;
    bool done_ = false;
    bool existed_ = false;
    mode_t mode_ = 0;
    uid_t owner_ = 0;
    gid_t group_ = 0;
};

} // namespace pelisto
