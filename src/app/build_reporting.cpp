#include "app/build_reporting.h"

#include "app/signal_cleanup.h"
#include "framework/dialogs.h"
#include "framework/graphics/metafile_renderer.h"
#include "picture/call_guard.h"
#include "picture/codec_library.h"

#include <QFile>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

// Present when the build runs under a sanitizer: its report ends the process without a signal.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace pelisto::build {
namespace {

std::atomic<long> warnings{0};
std::vector<std::pair<QByteArray, QByteArray>> shownNames; // working bytes -> user's bytes
// The picture being converted on this thread, as the user named it: a fault is reported on the
// thread that faulted, without allocating.
thread_local char currentPicture[4096];
thread_local std::size_t currentPictureLength = 0;

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

// Async-signal-safe: used after a fault and while the process dies.
void WriteRaw(int channel, const char* bytes, std::size_t size) {
    for (std::size_t at = 0; at < size;) {
        const ssize_t n = ::write(channel, bytes + at, size - at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // nobody reads any more: the build goes on
        }
        at += static_cast<std::size_t>(n);
    }
}

void WriteRaw(int channel, const char* text) {
    WriteRaw(channel, text, std::strlen(text));
}

void Write(std::FILE* to, const QByteArray& bytes) {
    WriteRaw(to == stderr ? errorChannel : outputChannel, bytes.constData(),
             static_cast<std::size_t>(bytes.size()));
}

// "pelisto-build: N warnings from the picture libraries", without allocating.
void WriteWarningSummary(long n) {
    if (n <= 0) {
        return;
    }
    char digits[24];
    std::size_t length = 0;
    for (unsigned long left = static_cast<unsigned long>(n); left > 0; left /= 10) {
        digits[sizeof digits - 1 - length++] = static_cast<char>('0' + left % 10);
    }
    WriteRaw(errorChannel, "pelisto-build: ");
    WriteRaw(errorChannel, digits + sizeof digits - length, length);
    WriteRaw(errorChannel, n == 1 ? " warning from the picture libraries\n"
                                  : " warnings from the picture libraries\n");
}

// While the libraries' output is caught, the descriptor of the file that holds it.
std::atomic<int> caughtOutput{-1};

// The build dies (an abort, a fault outside the guard, a sanitizer's report): what the
// libraries printed last (the fatal message is at its end) goes to the terminal, and the
// partial output and scratch folder go. Async-signal-safe, and done once.
void LastWords() {
    static std::atomic<bool> said{false};
    if (said.exchange(true)) {
        return;
    }
    const int caught = caughtOutput.exchange(-1);
    if (caught >= 0) {
        ::dup2(outputChannel, STDOUT_FILENO);
        ::dup2(errorChannel, STDERR_FILENO);
        constexpr off_t kTail = 32 * 1024;
        const off_t end = ::lseek(caught, 0, SEEK_END);
        off_t at = end > kTail ? end - kTail : 0;
        char buffer[4096];
        ssize_t n = 0;
        while (at < end && (n = ::pread(caught, buffer, sizeof buffer, at)) > 0) {
            WriteRaw(errorChannel, buffer, static_cast<std::size_t>(n));
            at += n;
        }
    }
    RemoveRegisteredPaths();
}

struct sigaction formerAbort {};

void OnAbort(int signal, siginfo_t*, void*) {
    LastWords();
    sigaction(signal, &formerAbort, nullptr);
    raise(signal); // delivered once this handler returns
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
// build stops here, without calling into it again. The partial output and the scratch folder
// go, as on an interrupt. Nothing here allocates: the fault may have struck inside malloc,
// whose lock then stays taken.
void EndOnFault() {
    WriteRaw(errorChannel, "pelisto-build: ");
    if (currentPictureLength > 0) {
        WriteRaw(errorChannel, currentPicture, currentPictureLength);
        WriteRaw(errorChannel, ": ");
    }
    WriteRaw(errorChannel, LibraryFaultText);
    WriteRaw(errorChannel, "\n");
    WriteWarningSummary(warnings.load() + MetafileWarningCount());
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
    SetUnguardedFaultHook(LastWords);
    struct sigaction action {};
    action.sa_sigaction = OnAbort;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGABRT, &action, &formerAbort);
    if (__sanitizer_set_death_callback != nullptr) {
        __sanitizer_set_death_callback(LastWords);
    }
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
    caughtOutput = fd_;
}

LibraryMessagesCaught::~LibraryMessagesCaught() {
    if (fd_ < 0) {
        return;
    }
    if (caughtOutput.exchange(-1) < 0) {
        return; // the process is dying: its last words have the file
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
    const QByteArray given = workingName.isEmpty() ? QByteArray() : AsGiven(workingName);
    currentPictureLength = std::min(static_cast<std::size_t>(given.size()), sizeof currentPicture);
    std::memcpy(currentPicture, given.constData(), currentPictureLength);
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
    WriteWarningSummary(warnings.load() + LibraryWarningCount());
}

} // namespace pelisto::build
