#include "framework/replace_file.h"

#include "framework/exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelisto {

namespace {

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Follows symbolic links from path to the file they name, as opening it would; a dangling link
// leads to the file that writing through it would create. Empty (errno set) on a loop.
QByteArray FollowLinks(QByteArray path) {
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            break;
        }
        if (hops == 40) {
            errno = ELOOP;
            return {};
        }
        QByteArray link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.constData(), link.data(), link.size());
        if (length <= 0 || length >= link.size()) {
            return {};
        }
        link.truncate(length);
        if (link.startsWith('/')) {
            path = link;
        } else {
            path = path.left(path.lastIndexOf('/') + 1) + link;
        }
    }
    return path;
}

} // namespace

ReplaceFile::ReplaceFile(const QString& target, Kind kind) : name_(target) {
    if (target.isEmpty()) {
        error_ = SystemError(ENOENT);
        return;
    }
    Prepare(QFile::encodeName(QFileInfo(target).absoluteFilePath()), kind, {});
}

ReplaceFile::ReplaceFile(const QByteArray& absoluteTarget, Kind kind, const FolderReach& reach)
    : name_(QFile::decodeName(absoluteTarget)) {
    Prepare(absoluteTarget, kind, reach);
}

void ReplaceFile::Prepare(const QByteArray& absoluteTarget, Kind kind, const FolderReach& reach) {
    const QByteArray path = FollowLinks(absoluteTarget);
    if (path.isEmpty()) {
        error_ = SystemError(errno);
        return;
    }
    targetNative_ = path;
    targetPath_ = QFile::decodeName(path);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            direct_ = true;
            writePath_ = targetPath_;
            ok_ = QFile::encodeName(writePath_) == path;
            error_ = ok_ ? QString() : SystemError(EILSEQ);
            return;
        }
        // As an in-place write would: a file this user may not write stays as it is.
        if (::access(path.constData(), W_OK) != 0) {
            error_ = SystemError(errno);
            return;
        }
        if (st.st_nlink > 1) {
            severalLinks_ = true;
            error_ = QStringLiteral("The file has other hard links");
            return;
        }
        existed_ = true;
        mode_ = st.st_mode & 07777;
        if (kind == Kind::Program) {
            mode_ |= (mode_ & 0444) >> 2;
        }
        owner_ = st.st_uid;
        group_ = st.st_gid;
    }
    // A replacement stays private until it is complete; a new file is made with the usual mode,
    // which the system cuts by the umask.
    const mode_t createMode = existed_ ? 0600 : (kind == Kind::Program ? 0777 : 0666);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash == 0 ? QByteArray("/") : path.left(slash);
    QByteArray base = path.mid(slash + 1);
    if (QFile::encodeName(QFile::decodeName(base)) != base) {
        base = "pelisto"; // a hidden name the writers can open through a link to the folder
    }
    const QByteArray prefix = path.left(slash + 1) + '.' + base + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            prefix + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(candidate.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            error_ = SystemError(errno);
            return;
        }
        struct stat made {};
        if (!existed_ && ::fstat(fd, &made) == 0) {
            mode_ = made.st_mode & 07777;
        }
        ::close(fd);
        writeNative_ = candidate;
        writePath_ = QFile::decodeName(candidate);
        if (QFile::encodeName(writePath_) != candidate) {
            // A folder whose name a QString cannot hold: the writers open the file through
            // the name the caller gives the folder.
            const QString reached = reach ? reach(folder) : QString();
            if (reached.isEmpty()) {
                ::unlink(candidate.constData());
                error_ = SystemError(EILSEQ);
                return;
            }
            writePath_ = reached + QLatin1Char('/') + QFile::decodeName(candidate.mid(slash + 1));
        }
        ok_ = true;
        return;
    }
    error_ = SystemError(EEXIST);
}

ReplaceFile::~ReplaceFile() {
    Discard();
}

void ReplaceFile::Raise() const {
    if (severalLinks_) {
        throw EFLinkedError(name_);
    }
    throw EFCreateError(name_);
}

bool ReplaceFile::Commit() {
    if (!ok_ || done_) {
        errno = EINVAL;
        return false;
    }
    if (direct_) {
        done_ = true;
        return true;
    }
    const QByteArray& from = writeNative_;
    const int fd = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (existed_ && ::fstat(fd, &st) == 0 && (st.st_uid != owner_ || st.st_gid != group_)) {
        // Root may give the file back to its owner; an owner may keep a group it belongs to.
        // Otherwise the file is this user's, as any file it writes. Before the mode: a change
        // of owner clears the set-id bits.
        if (::fchown(fd, owner_, group_) != 0) {
            (void)::fchown(fd, static_cast<uid_t>(-1), group_);
        }
    }
    const bool moded = ::fchmod(fd, mode_) == 0;
    const int modeError = errno;
    ::close(fd);
    if (!moded) {
        errno = modeError;
        return false;
    }
    if (::rename(from.constData(), targetNative_.constData()) != 0) {
        return false;
    }
    done_ = true;
    return true;
}

void ReplaceFile::Discard() {
    if (ok_ && !direct_ && !done_) {
        const int saved = errno;
        ::unlink(writeNative_.constData());
        errno = saved;
    }
    done_ = true;
}

} // namespace pelisto
