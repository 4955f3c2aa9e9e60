#include "app/signal_cleanup.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace pelisto {
namespace {

constexpr int TerminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The signals are blocked in every thread and taken by one waiting thread, so the removal runs
// as ordinary code; the lock makes "make a file and register it" one step against it.
std::recursive_mutex tableLock;
// Entries are appended and the table shrinks from its end, so later entries are removed first
// (a partial output reached through a link in the scratch folder goes before that folder).
// Fixed storage, so that removing after a fault needs no allocation.
constexpr int MaxPaths = 8;
constexpr std::size_t MaxPathBytes = 4096;
struct Entry {
    char path[MaxPathBytes];
    bool used;
};
Entry entries[MaxPaths];
int entryCount = 0;

sigset_t TerminationSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : TerminationSignals) {
        sigaddset(&set, s);
    }
    return set;
}

// Directory entries as the kernel hands them out; readdir may allocate, this does not.
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Empties the folder open as fd: files and links go, sub-folders are emptied and removed. Links
// are removed, never followed. Async-signal-safe: system calls and stack memory only.
void EmptyFolder(int fd, int depth) {
    alignas(8) char buffer[4096];
    for (int pass = 0; pass < 16; ++pass) {
        bool removed = false;
        lseek(fd, 0, SEEK_SET);
        for (;;) {
            const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            for (long at = 0; at < n;) {
                const auto* d = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                at += d->d_reclen;
                const char* name = d->d_name;
                if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                    continue;
                }
                bool folder = d->d_type == DT_DIR;
                if (d->d_type == DT_UNKNOWN) {
                    struct stat st;
                    folder =
                        fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                }
                if (folder && depth < 8) {
                    const int sub = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
                    if (sub >= 0) {
                        EmptyFolder(sub, depth + 1);
                        close(sub);
                    }
                    removed |= unlinkat(fd, name, AT_REMOVEDIR) == 0;
                } else {
                    removed |= unlinkat(fd, name, 0) == 0;
                }
            }
        }
        if (!removed) {
            return;
        }
    }
}

void RemovePath(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0) {
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        // Other threads go on converting meanwhile and may put a file in it again.
        const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        for (int pass = 0; pass < 64; ++pass) {
            if (fd >= 0) {
                EmptyFolder(fd, 0);
            }
            if (rmdir(path) == 0 || errno != ENOTEMPTY) {
                break;
            }
        }
        if (fd >= 0) {
            close(fd);
        }
    } else {
        unlink(path);
    }
}

// Waits for a terminating signal, removes the registered paths and ends the process by that
// signal, as a process without a handler would. It takes the lock for good: nothing registers
// or moves into place after this.
void WaitForTermination() {
    const sigset_t set = TerminationSet();
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    tableLock.lock();
    RemoveRegisteredPaths();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    _exit(128 + signal);
}

// Takes the table for good, so that nothing is made and registered after the removal (other
// threads go on meanwhile); a thread that holds it but is stuck is waited for a second at most.
void HoldTableForGood() {
    for (int tries = 0; tries < 200 && !tableLock.try_lock(); ++tries) {
        const timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
}

void OnTermination(int signal) {
    RemoveRegisteredPaths();
    raise(signal);
}

} // namespace

TerminationHeld::TerminationHeld() {
    tableLock.lock();
}

TerminationHeld::~TerminationHeld() {
    tableLock.unlock();
}

void RemoveOnSignal(const QByteArray& nativePath) {
    if (nativePath.isEmpty() || static_cast<std::size_t>(nativePath.size()) >= MaxPathBytes) {
        return;
    }
    TerminationHeld held;
    if (entryCount == MaxPaths) {
        return;
    }
    Entry& e = entries[entryCount];
    std::memcpy(e.path, nativePath.constData(), static_cast<std::size_t>(nativePath.size()));
    e.path[nativePath.size()] = '\0';
    e.used = true;
    ++entryCount;
}

void RemoveOnSignal(const QString& path) {
    RemoveOnSignal(QFile::encodeName(path));
}

void ForgetOnSignal(const QByteArray& nativePath) {
    TerminationHeld held;
    for (int i = 0; i < entryCount; ++i) {
        if (entries[i].used && nativePath == entries[i].path) {
            entries[i].used = false;
        }
    }
    while (entryCount > 0 && !entries[entryCount - 1].used) {
        --entryCount;
    }
}

void ForgetOnSignal(const QString& path) {
    ForgetOnSignal(QFile::encodeName(path));
}

void BlockTerminationSignals() {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool InstallSignalCleanup() {
    BlockTerminationSignals();
    try {
        std::thread(WaitForTermination).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void InstallSignalCleanupHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTermination;
    sigemptyset(&action.sa_mask);
    // The handler ends the process by the default action, at once.
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (const int s : TerminationSignals) {
        sigaction(s, &action, nullptr);
    }
}

void RemoveRegisteredPaths() {
    // The process is ending. A thread that holds the table may be stuck for good (waiting for
    // malloc's lock, which a fault left taken): after a second the paths are removed without
    // it. The entries are fixed storage, so the worst a change half made can do is miss the
    // newest one.
    HoldTableForGood();
    const int saved = errno;
    for (int i = entryCount - 1; i >= 0; --i) {
        if (entries[i].used) {
            RemovePath(entries[i].path);
        }
    }
    errno = saved;
}

} // namespace pelisto
