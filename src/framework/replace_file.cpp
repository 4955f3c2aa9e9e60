#include "framework/replace_file.h"

#include "framework/exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
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

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The longest file name the folder takes (255 where it cannot tell).
qsizetype NameMax(const QByteArray& folder) {
    const long max = ::pathconf(folder.constData(), _PC_NAME_MAX);
    return max > 0 ? static_cast<qsizetype>(max) : 255;
}

// The start of a name that fits in `room` bytes, cut between two UTF-8 characters.
QByteArray Stem(const QByteArray& name, qsizetype room) {
    if (name.size() <= room) {
        return name;
    }
    qsizetype n = std::max<qsizetype>(room, 0);
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) {
        --n;
    }
    return name.left(n);
}

} // namespace

ReplaceFile::ReplaceFile(const QString& target, Kind kind) : name_(target) {
    if (target.isEmpty()) {
        Fail(ENOENT);
        return;
    }
    Prepare(QFile::encodeName(QFileInfo(target).absoluteFilePath()), kind);
}

ReplaceFile::ReplaceFile(const QByteArray& absoluteTarget, Kind kind)
    : name_(QFile::decodeName(absoluteTarget)) {
    Prepare(absoluteTarget, kind);
}

bool ReplaceFile::Fail(int error) {
    error_ = SystemError(error);
    errno = error;
    return false;
}

void ReplaceFile::Prepare(const QByteArray& absoluteTarget, Kind kind) {
    const QByteArray path = FollowLinks(absoluteTarget);
    if (path.isEmpty()) {
        Fail(errno);
        return;
    }
    targetNative_ = path;
    targetPath_ = QFile::decodeName(path);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            direct_ = true;
            fd_ = ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            if (fd_ < 0) {
                Fail(errno);
                return;
            }
            writeNative_ = path;
            writePath_ = QStringLiteral("/proc/self/fd/%1").arg(fd_);
            ok_ = true;
            return;
        }
        // As an in-place write would: a file this user may not write stays as it is.
        if (::access(path.constData(), W_OK) != 0) {
            Fail(errno);
            return;
        }
        if (st.st_nlink > 1) {
            severalLinks_ = true;
            error_ = QStringLiteral("The file has other hard links");
            return;
        }
        existed_ = true;
        // A copy made by someone else must not run with the old file's privileges.
        mode_ = st.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
        if (kind == Kind::Program) {
            mode_ |= (mode_ & 0444) >> 2;
        }
        owner_ = st.st_uid;
        group_ = st.st_gid;
    }
    const QByteArray folder = FolderOf(path);
    const QByteArray base = path.mid(path.lastIndexOf('/') + 1);
    const qsizetype nameMax = NameMax(folder);
    if (base.size() > nameMax) {
        Fail(ENAMETOOLONG);
        return;
    }
    // A replacement stays private until it is complete; a new file is made with the usual mode,
    // which the system cuts by the umask. The hidden name keeps as much of the target's as fits
    // beside a dot and a random suffix of up to 7 characters.
    const mode_t createMode = existed_ ? 0600 : (kind == Kind::Program ? 0777 : 0666);
    const QByteArray prefix =
        path.left(path.size() - base.size()) + '.' + Stem(base, nameMax - 9) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            prefix + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(candidate.constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            Fail(errno);
            return;
        }
        struct stat made {};
        if (::fstat(fd, &made) != 0) {
            const int error = errno;
            ::unlink(candidate.constData());
            ::close(fd);
            Fail(error);
            return;
        }
        if (!existed_) {
            mode_ = made.st_mode & 07777;
        }
        device_ = made.st_dev;
        inode_ = made.st_ino;
        fd_ = fd;
        writeNative_ = candidate;
        writePath_ = QStringLiteral("/proc/self/fd/%1").arg(fd_);
        ok_ = true;
        return;
    }
    Fail(EEXIST);
}

ReplaceFile::~ReplaceFile() {
    Discard();
}

void ReplaceFile::Raise() const {
    if (severalLinks_) {
        throw EFLinkedError(name_);
    }
    throw EFCreateError(name_, error_);
}

bool ReplaceFile::StillOurs() const {
    struct stat st {};
    return ::lstat(writeNative_.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_dev == device_ && st.st_ino == inode_;
}

void ReplaceFile::CloseFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool ReplaceFile::Commit() {
    if (!ok_ || done_) {
        return Fail(EINVAL);
    }
    if (direct_) {
        done_ = true;
        CloseFile();
        return true;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return Fail(errno);
    }
    if (existed_ && (st.st_uid != owner_ || st.st_gid != group_)) {
        // Root may give the file back to its owner; an owner may keep a group it belongs to.
        // Otherwise the file is this user's, as any file it writes. Before the mode: a change
        // of owner clears the set-id bits.
        if (::fchown(fd_, owner_, group_) != 0) {
            (void)::fchown(fd_, static_cast<uid_t>(-1), group_);
        }
    }
    if (::fchmod(fd_, mode_) != 0) {
        return Fail(errno);
    }
    // On disk before its name is: after a power cut the target holds the old file or the new
    // one, never an empty one. A file system that cannot sync says so with these.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return Fail(errno);
    }
    // In a folder others can write, the hidden name may lead elsewhere by now.
    if (!StillOurs()) {
        error_ = QStringLiteral("its temporary file was replaced by another meanwhile");
        errno = EEXIST;
        return false;
    }
    if (::rename(writeNative_.constData(), targetNative_.constData()) != 0) {
        return Fail(errno);
    }
    done_ = true;
    CloseFile();
    // The new name on disk too.
    const int folder =
        ::open(FolderOf(targetNative_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
    return true;
}

void ReplaceFile::Discard() {
    const int saved = errno;
    if (ok_ && !direct_ && !done_ && StillOurs()) {
        ::unlink(writeNative_.constData());
    }
    CloseFile();
    done_ = true;
    errno = saved;
}

} // namespace pelisto
