#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace pelisto {

// Writes a file beside its target and moves it over the target only once it is complete and on
// disk, so a failed write or a power cut leaves the old file as it was. The file is written
// through the descriptor that made it, never reopened by its name: in a folder others can write,
// that name could be swapped for a link meanwhile. The old file is respected: a symbolic link is
// followed (the file it names is replaced and the link stays), a file this user may not write is
// left alone, and the new file takes the old one's permission bits (never set-user or set-group
// ID) and, where the process may, its owner and group. A file with other hard links is refused:
// replacing it would cut it off from its other names, and writing it in place cannot be undone
// after a failure. A device or other special file is written directly.
class ReplaceFile {
public:
    enum class Kind {
        Data,    // a new file gets the usual 0666 less the umask
        Program, // 0777 less the umask; a replaced file also gets execute where it has read
    };

    // Checks the target and makes the file to write; ok() says whether it could.
    explicit ReplaceFile(const QString& target, Kind kind = Kind::Data);
    // The same for an absolute name in bytes, which a QString may not hold.
    ReplaceFile(const QByteArray& absoluteTarget, Kind kind);
    // Removes the written file unless it was committed.
    ~ReplaceFile();
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    bool ok() const { return ok_; }
    // Why no file could be made, or why Commit failed, in the system's words.
    const QString& error() const { return error_; }
    // The target had other hard links (ok() is false).
    bool severalLinks() const { return severalLinks_; }
    // The open file to write, at its start; -1 when !ok(). It stays open until Commit or
    // Discard.
    int descriptor() const { return fd_; }
    // A name for that same open file, for writers that take only a name: whatever happens to
    // the names in the folder, it leads to the file made here.
    const QString& writePath() const { return writePath_; }
    // The written file's own name, in bytes (the target itself when direct()), to remove it
    // after an interrupt.
    const QByteArray& writtenName() const { return writeNative_; }
    // The file that is replaced, after following any symbolic links.
    const QString& targetPath() const { return targetPath_; }
    bool direct() const { return direct_; }

    // Raises the error for a file that could not be made: the creation error with the name the
    // caller gave and its cause, or the hard-link refusal.
    [[noreturn]] void Raise() const;
    // Puts the written file on disk and moves it over the target with the old file's
    // permissions and owner. False (error() says why) when it could not; the target is then
    // unchanged.
    bool Commit();
    // Removes the written file now.
    void Discard();

private:
    void Prepare(const QByteArray& absoluteTarget, Kind kind);
    bool Fail(int error);
    bool StillOurs() const;
    void CloseFile();

    QString name_;
    QByteArray targetNative_;
    QByteArray writeNative_;
    QString targetPath_;
    QString writePath_;
    QString error_;
    int fd_ = -1;
    bool ok_ = false;
    bool direct_ = false;
    bool severalLinks_ = false;
    bool done_ = false;
    bool existed_ = false;
    mode_t mode_ = 0;
    uid_t owner_ = 0;
    gid_t group_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace pelisto
