#include "picture/call_guard.h"

#include "framework/application.h"
#include "framework/dialogs.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace pelisto {
namespace {

constexpr int GuardedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// Library calls run on several threads at once (a slideshow converts pictures in parallel):
// each thread has its own jump point; the handlers are the process's, installed once.
thread_local sigjmp_buf* activeJump = nullptr;
std::atomic<int> faults{0};
struct sigaction previousActions[std::size(GuardedSignals)];

void ShowFaultBox() {
    auto show = [] {
        MessageBox(QString::fromLatin1(LibraryFaultText), ApplicationTitle(), MsgBoxIcon::Error,
                   mbOK);
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() != app->thread()) {
        // A box belongs to the user-interface thread; the worker goes on meanwhile.
        QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);
        return;
    }
    show();
}

std::atomic<LibraryFaultReporter> reporter{ShowFaultBox};
std::atomic<UnguardedFaultHook> unguardedHook{nullptr};

void OnFault(int signal) {
    if (activeJump != nullptr) {
        siglongjmp(*activeJump, signal);
    }
    // Not inside a guarded call on this thread: the fault takes the course it had before.
    if (const UnguardedFaultHook hook = unguardedHook.load()) {
        hook();
    }
    for (std::size_t i = 0; i < std::size(GuardedSignals); ++i) {
        if (GuardedSignals[i] == signal) {
            sigaction(signal, &previousActions[i], nullptr);
        }
    }
    std::raise(signal);
}

// An alternate stack for each thread, so that a fault caused by exhausting the stack can still
// be handled; ours is taken down again before its memory goes at thread exit.
class AlternateStack {
public:
    AlternateStack() {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0 &&
            current.ss_size >= kEnough) {
            return; // the thread has one already (a sanitizer's runtime sets its own): keep it
        }
        memory_.resize(kSize);
        stack_t alt{};
        alt.ss_sp = memory_.data();
        alt.ss_size = memory_.size();
        alt.ss_flags = 0;
        if (sigaltstack(&alt, nullptr) != 0) {
            memory_.clear();
        }
    }
    ~AlternateStack() {
        stack_t current{};
        if (!memory_.empty() && sigaltstack(nullptr, &current) == 0 &&
            current.ss_sp == memory_.data()) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
    }
    AlternateStack(const AlternateStack&) = delete;
    AlternateStack& operator=(const AlternateStack&) = delete;

private:
    static constexpr std::size_t kSize = 64 * 1024;
    static constexpr std::size_t kEnough = 16 * 1024;
    std::vector<char> memory_;
};

void EnsureAlternateStack() {
    thread_local AlternateStack stack;
}

void InstallOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = OnFault;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_ONSTACK | SA_NODEFER;
        for (std::size_t i = 0; i < std::size(GuardedSignals); ++i) {
            sigaction(GuardedSignals[i], &action, &previousActions[i]);
        }
    });
}

// Kept free of objects with destructors: a fault jumps straight back into it.
bool Enter(void (*fn)(void*), void* context) {
    sigjmp_buf jump;
    sigjmp_buf* previous = activeJump;
    EnsureAlternateStack();
    InstallOnce();
    if (sigsetjmp(jump, 1) != 0) {
        activeJump = previous;
        return false;
    }
    activeJump = &jump;
    try {
        fn(context);
    } catch (...) {
        activeJump = previous;
        throw;
    }
    activeJump = previous;
    return true;
}

} // namespace

bool RunGuarded(void (*fn)(void*), void* context) {
    if (Enter(fn, context)) {
        return true;
    }
    ++faults;
    reporter.load()();
    return false;
}

LibraryFaultReporter SetLibraryFaultReporter(LibraryFaultReporter next) {
    return reporter.exchange(next != nullptr ? next : ShowFaultBox);
}

void SetUnguardedFaultHook(UnguardedFaultHook hook) {
    unguardedHook = hook;
    InstallOnce();
}

int GuardedFaultCount() {
    return faults;
}

} // namespace pelisto
