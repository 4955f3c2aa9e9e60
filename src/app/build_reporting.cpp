#include "app/build_reporting.h"

#include "app/signal_cleanup.h"
#include "framework/dialogs.h"
#include "picture/call_guard.h"
#include "picture/codec_library.h"

#include <QFile>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pelisto::build {
namespace {

std::atomic<long> warnings{0};
std::vector<std::pair<QByteArray, QByteArray>> shownNames; // working bytes -> user's bytes
thread_local QString currentPicture; // a fault is reported on the thread that faulted

QByteArray AsGiven(const QString& text) {
    QByteArray bytes = QFile::encodeName(text);
    for (const auto& [working, user] : shownNames) {
        bytes.replace(working, user);
    }
    return bytes;
}

// The terminal's stdout and stderr, kept apart: during a conversion descriptors 1 and 2 catch
// what libraries print themselves.
int outputChannel = STDOUT_FILENO;
int errorChannel = STDERR_FILENO;

void Write(std::FILE* to, const QByteArray& bytes) {
    const int channel = to == stderr ? errorChannel : outputChannel;
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n =
            ::write(channel, bytes.constData() + at, static_cast<std::size_t>(bytes.size() - at));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // nobody reads any more: the build goes on
        }
        at += n;
    }
}

// Boxes and dialogs answered at once: the text goes to stderr, boxes take their default.
class TerminalDialogs final : public DialogProvider {
public:
    int messageBox(const MessageBoxRequest& request) override {
        PrintError(request.text);
        return request.defaultResult;
    }
    std::optional<QStringList> openFiles(const OpenDialogRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const SaveDialogRequest&) override { return std::nullopt; }
};

// Library warnings (image readers, GraphicsMagick) come one per damaged record; only their
// number is told, at the end. Fatal messages still go out as they are.
void CountMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    switch (type) {
    case QtWarningMsg:
    case QtCriticalMsg:
        ++warnings;
        break;
    case QtFatalMsg:
        Write(stderr, AsGiven(text) + '\n');
        break;
    default:
        break;
    }
}

// A fault inside the codec library: the library's state cannot be trusted afterwards, so the
// build stops here. The partial output and the scratch folder go, as on an interrupt.
void EndOnFault() {
    QString message = QString::fromLatin1(LibraryFaultText);
    if (!currentPicture.isEmpty()) {
        message = currentPicture + QStringLiteral(": ") + message;
    }
    PrintError(message);
    PrintWarningSummary();
    RemoveRegisteredPaths();
    _exit(1);
}

} // namespace

void ReportToTerminal() {
    std::fflush(stdout);
    const int keptOut = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int keptErr = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (keptOut >= 0 && keptErr >= 0) {
        outputChannel = keptOut;
        errorChannel = keptErr;
    }
    SetDialogProvider(std::make_unique<TerminalDialogs>());
    qInstallMessageHandler(CountMessage);
    SetLibraryFaultReporter(EndOnFault);
}

LibraryMessagesCaught::LibraryMessagesCaught(const QString& file) : path_(QFile::encodeName(file)) {
    if (errorChannel == STDERR_FILENO) {
        return; // no terminal channel apart: let them through
    }
    std::fflush(stdout);
    std::fflush(stderr);
    fd_ = ::open(path_.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ >= 0 && (::dup2(fd_, STDOUT_FILENO) < 0 || ::dup2(fd_, STDERR_FILENO) < 0)) {
        ::dup2(outputChannel, STDOUT_FILENO);
        ::close(fd_);
        fd_ = -1;
    }
}

LibraryMessagesCaught::~LibraryMessagesCaught() {
    if (fd_ < 0) {
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(outputChannel, STDOUT_FILENO);
    ::dup2(errorChannel, STDERR_FILENO);
    char buffer[65536];
    ::lseek(fd_, 0, SEEK_SET);
    ssize_t n = 0;
    bool open = false; // a last line without its line end counts too
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                ++warnings;
            }
        }
        open = buffer[n - 1] != '\n';
    }
    warnings += open ? 1 : 0;
    ::close(fd_);
    ::unlink(path_.constData());
}

void ShowNameAs(const QString& workingName, const QByteArray& userBytes) {
    const QByteArray working = QFile::encodeName(workingName);
    if (working != userBytes) {
        // Longest first, so that a name is not taken for the start of a longer one.
        auto at = std::find_if(shownNames.begin(), shownNames.end(),
                               [&](const auto& n) { return n.first.size() < working.size(); });
        shownNames.emplace(at, working, userBytes);
    }
}

void SetCurrentPicture(const QString& workingName) {
    currentPicture = workingName;
}

void PrintError(const QString& message) {
    Write(stderr, "pelisto-build: " + AsGiven(message) + '\n');
}

void PrintNamedError(const QString& before, const QByteArray& name, const QString& after) {
    Write(stderr, "pelisto-build: " + AsGiven(before) + name + AsGiven(after) + '\n');
}

void PrintLine(const QString& line) {
    Write(stdout, AsGiven(line) + '\n');
}

void PrintWarningSummary() {
    // The codec libraries and the metafile player count their own warnings; the rest are the
    // lines caught here.
    const long n = warnings.load() + LibraryWarningCount();
    if (n > 0) {
        PrintError(QStringLiteral("%1 warning%2 from the picture libraries")
                       .arg(n)
                       .arg(n == 1 ? "" : "s"));
    }
}

} // namespace pelisto::build
