#include "framework/exceptions.h"
#include "framework/replace_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using pelisto::ReplaceFile;

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

void Put(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

struct stat Stat(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

bool IsLink(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

enum Outcome { Replaced = 10, Refused, RefusedLinked, WriteFailed, RefusedWithoutItsCause };

// One save as the tools make it: the whole new content beside the target, then the move.
// Runs in a child process so it can be another user or have a file size limit; `meddle` acts
// on the folder between the making of the file and its writing, as another user could. A
// refusal must give the system's words for `cause`, when there is one.
Outcome SaveInChild(const QString& path, const QByteArray& bytes, ReplaceFile::Kind kind,
                    bool asNobody, rlim_t sizeLimit, int cause,
                    const std::function<void(const QString& dir)>& meddle) {
    const passwd* nobody = ::getpwnam("nobody");
    const group* nogroup = ::getgrnam("nogroup");
    const pid_t child = ::fork();
    if (child == 0) {
        if (asNobody && ::geteuid() == 0) {
            if (nobody == nullptr || nogroup == nullptr || ::setgroups(0, nullptr) != 0 ||
                ::setgid(nogroup->gr_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
                ::_exit(1);
            }
        }
        if (sizeLimit != 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{sizeLimit, sizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(1);
            }
        }
        // The helper's own clean-up is part of the test: it runs before the child ends.
        const Outcome outcome = [&] {
            ReplaceFile target(path, kind);
            if (!target.ok()) {
                try {
                    target.Raise();
                } catch (const pelisto::EFLinkedError&) {
                    return RefusedLinked;
                } catch (const pelisto::EFCreateError& e) {
                    const QString said = QString::fromLocal8Bit(std::strerror(cause));
                    return cause == 0 || e.message().endsWith(" : " + said)
                               ? Refused
                               : RefusedWithoutItsCause;
                }
            }
            if (meddle) {
                meddle(path.left(path.lastIndexOf('/')));
            }
            QFile out(target.writePath());
            const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                                 out.write(bytes) == bytes.size() && out.flush();
            out.close();
            return written && target.Commit() ? Replaced : WriteFailed;
        }();
        ::_exit(outcome);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? static_cast<Outcome>(WEXITSTATUS(status)) : Outcome{};
}

// Replacing a file keeps what belongs to the file rather than to its name, and a save that
// cannot or may not finish leaves the old file as it was, with nothing beside it.
TEST(ReplaceFileTest, ASaveRespectsTheFileItReplaces) {
    const bool root = ::geteuid() == 0;
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const QByteArray fresh(8192, 'n');

    struct Case {
        const char* name;
        // Makes the files in the folder; gives the name the save is made at.
        std::function<QString(const QString& dir)> setUp;
        ReplaceFile::Kind kind = ReplaceFile::Kind::Data;
        bool asNobody = false;
        rlim_t sizeLimit = 0;
        Outcome outcome = Replaced;
        // Further checks on the folder after the save.
        std::function<void(const QString& dir)> check = [](const QString&) {};
        int cause = 0; // of a refusal
        std::function<void(const QString& dir)> meddle = {};
    };
    const group* nogroup = ::getgrnam("nogroup");
    ASSERT_NE(nogroup, nullptr);
    const QString longName(250, QLatin1Char('n'));
    const auto give = [&](const QString& path) {
        if (root) {
            ASSERT_EQ(::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid),
                      0);
        }
    };
    const std::vector<Case> cases = {
        {"a read-only file",
         [&](const QString& d) {
             Put(d + "/f", "old", 0444);
             give(d + "/f");
             return d + "/f";
         },
         ReplaceFile::Kind::Data, true, 0, Refused},
        {"another user's file in a shared folder",
         [&](const QString& d) {
             Put(d + "/f", "old", 0644);
             return d + "/f";
         },
         // Only another user meets someone else's file.
         ReplaceFile::Kind::Data, true, 0, root ? Refused : Replaced},
        {"a chain of symbolic links",
         [&](const QString& d) {
             Put(d + "/f", "old", 0640);
             EXPECT_EQ(::symlink("f", QFile::encodeName(d + "/one").constData()), 0);
             EXPECT_EQ(::symlink((d + "/one").toUtf8().constData(),
                                 QFile::encodeName(d + "/two").constData()),
                       0);
             return d + "/two";
         },
         ReplaceFile::Kind::Data, false, 0, Replaced,
         [&](const QString& d) {
             EXPECT_TRUE(IsLink(d + "/one"));
             EXPECT_TRUE(IsLink(d + "/two"));
             EXPECT_TRUE(Bytes(d + "/f") == fresh);
             EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0640u);
         }},
        {"a dangling link",
         [&](const QString& d) {
             EXPECT_EQ(::symlink("made", QFile::encodeName(d + "/link").constData()), 0);
             return d + "/link";
         },
         ReplaceFile::Kind::Data, false, 0, Replaced,
         [&](const QString& d) {
             EXPECT_TRUE(IsLink(d + "/link"));
             EXPECT_TRUE(Bytes(d + "/made") == fresh);
         }},
        {"a file with another hard link",
         [&](const QString& d) {
             Put(d + "/f", "old", 0644);
             EXPECT_EQ(::link(QFile::encodeName(d + "/f").constData(),
                              QFile::encodeName(d + "/g").constData()),
                       0);
             return d + "/f";
         },
         ReplaceFile::Kind::Data, false, 0, RefusedLinked,
         [&](const QString& d) {
             EXPECT_EQ(Bytes(d + "/g"), "old");
             EXPECT_EQ(Stat(d + "/f").st_ino, Stat(d + "/g").st_ino);
         }},
        {"permissions and owner",
         [&](const QString& d) {
             Put(d + "/f", "old", 0604);
             give(d + "/f");
             return d + "/f";
         },
         ReplaceFile::Kind::Data, false, 0, Replaced,
         [&](const QString& d) {
             EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0604u);
             if (root) {
                 EXPECT_EQ(Stat(d + "/f").st_uid, nobody->pw_uid);
                 EXPECT_EQ(Stat(d + "/f").st_gid, nobody->pw_gid);
             }
         }},
        {"a program gets execute where it has read",
         [&](const QString& d) {
             Put(d + "/f", "old", 0640);
             return d + "/f";
         },
         ReplaceFile::Kind::Program, false, 0, Replaced,
         [&](const QString& d) { EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0750u); }},
        {"new files", [&](const QString& d) { return d + "/new"; }, ReplaceFile::Kind::Program,
         false, 0, Replaced,
         [&](const QString& d) { EXPECT_EQ(Stat(d + "/new").st_mode & 07777, 0777u & ~mask); }},
        {"a write that fails in the middle",
         [&](const QString& d) {
             Put(d + "/f", "old", 0644);
             return d + "/f";
         },
         ReplaceFile::Kind::Data, false, 2048, WriteFailed},
        {"the group alone differs",
         [&](const QString& d) {
             Put(d + "/f", "old", 0640);
             if (root) {
                 EXPECT_EQ(::chown(QFile::encodeName(d + "/f").constData(), 0, nogroup->gr_gid), 0);
             }
             return d + "/f";
         },
         ReplaceFile::Kind::Data, false, 0, Replaced,
         [&](const QString& d) {
             if (root) {
                 EXPECT_EQ(Stat(d + "/f").st_uid, 0u);
                 EXPECT_EQ(Stat(d + "/f").st_gid, nogroup->gr_gid);
             }
         }},
        {"set-user and set-group ID are not copied",
         [&](const QString& d) {
             Put(d + "/f", "old", 06755);
             return d + "/f";
         },
         ReplaceFile::Kind::Program, false, 0, Replaced,
         [&](const QString& d) { EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0755u); }},
        // The hidden file beside it needs room for a dot and a suffix.
        {"a name of 250 bytes", [&](const QString& d) { return d + "/" + longName; },
         ReplaceFile::Kind::Data, false, 0, Replaced},
        {"a name the file system refuses",
         [&](const QString& d) { return d + "/" + longName + "nnnnnn"; }, ReplaceFile::Kind::Data,
         false, 0, Refused, [](const QString&) {}, ENAMETOOLONG},
        // Another user swaps the hidden name for a link to one of their victim's files: the
        // write still goes to the file made, and the move is refused.
        {"the hidden name swapped for a link",
         [&](const QString& d) {
             Put(d + "/f", "old", 0644);
             Put(d + "/victim", "victim's", 0666);
             return d + "/f";
         },
         ReplaceFile::Kind::Data, false, 0, WriteFailed,
         [&](const QString& d) { EXPECT_EQ(Bytes(d + "/victim"), "victim's"); }, 0,
         [](const QString& d) {
             for (const QString& hidden : QDir(d).entryList({".f.*"}, QDir::Files | QDir::Hidden)) {
                 const QByteArray name = QFile::encodeName(d + "/" + hidden);
                 if (::rename(name.constData(), QFile::encodeName(d + "/f.moved").constData()) !=
                         0 ||
                     ::symlink("victim", name.constData()) != 0) {
                     ::_exit(1);
                 }
             }
         }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        // Anyone may make files here, as in /tmp; only their owners may remove them.
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
        const QString path = c.setUp(dir.path());
        const QStringList before =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
        const QByteArray old = Bytes(path);

        EXPECT_EQ(SaveInChild(path, fresh, c.kind, c.asNobody, c.sizeLimit, c.cause, c.meddle),
                  c.outcome);
        if (c.outcome == Replaced) {
            EXPECT_TRUE(Bytes(path) == fresh);
            EXPECT_EQ(QDir(dir.path()).entryList({".*"}, QDir::Files | QDir::Hidden | QDir::System),
                      QStringList{})
                << "a hidden file stayed";
        } else if (!c.meddle) {
            EXPECT_EQ(Bytes(path), old);
            EXPECT_EQ(QDir(dir.path())
                          .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot |
                                     QDir::System),
                      before);
        }
        c.check(dir.path());
    }
}

} // namespace
