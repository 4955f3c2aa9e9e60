#include "picture/call_guard.h"

#include "framework/application.h"
#include "framework/dialogs.h"

#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <vector>

namespace pelisto {
namespace {

constexpr int GuardedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// Library calls happen on the user-interface thread only; the active guard's jump point.
sigjmp_buf* activeJump = nullptr;
int faults = 0;

void ShowFaultBox() {
    MessageBox(QString::fromLatin1(LibraryFaultText), ApplicationTitle(), MsgBoxIcon::Error, mbOK);
}

LibraryFaultReporter reporter = ShowFaultBox;

void OnFault(int signal) {
    if (activeJump != nullptr) {
        siglongjmp(*activeJump, signal);
    }
    // Not inside a guarded call: let the fault take its usual course.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// An alternate stack, so that a fault caused by exhausting the stack can still be handled.
void EnsureAlternateStack() {
    static std::vector<char> stack;
    if (!stack.empty()) {
        return;
    }
    stack.resize(64 * 1024);
    stack_t alt{};
    alt.ss_sp = stack.data();
    alt.ss_size = stack.size();
    alt.ss_flags = 0;
    sigaltstack(&alt, nullptr);
}

struct SavedHandlers {
    struct sigaction old[std::size(GuardedSignals)];
};

void Install(SavedHandlers& saved) {
    struct sigaction action {};
    action.sa_handler = OnFault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_NODEFER;
    for (std::size_t i = 0; i < std::size(GuardedSignals); ++i) {
        sigaction(GuardedSignals[i], &action, &saved.old[i]);
    }
}

void Restore(const SavedHandlers& saved) {
    for (std::size_t i = 0; i < std::size(GuardedSignals); ++i) {
        sigaction(GuardedSignals[i], &saved.old[i], nullptr);
    }
}

// Kept free of objects with destructors: a fault jumps straight back into it.
bool Enter(void (*fn)(void*), void* context) {
    sigjmp_buf jump;
    sigjmp_buf* previous = activeJump;
    SavedHandlers saved;
    EnsureAlternateStack();
    Install(saved);
    if (sigsetjmp(jump, 1) != 0) {
        activeJump = previous;
        Restore(saved);
        return false;
    }
    activeJump = &jump;
    try {
        fn(context);
    } catch (...) {
        activeJump = previous;
        Restore(saved);
        throw;
    }
    activeJump = previous;
    Restore(saved);
    return true;
}

} // namespace

bool RunGuarded(void (*fn)(void*), void* context) {
    if (Enter(fn, context)) {
        return true;
    }
    ++faults;
    reporter();
    return false;
}

LibraryFaultReporter SetLibraryFaultReporter(LibraryFaultReporter next) {
    LibraryFaultReporter previous = reporter;
    reporter = next != nullptr ? next : ShowFaultBox;
    return previous;
}

int GuardedFaultCount() {
    return faults;
}

} // namespace pelisto
