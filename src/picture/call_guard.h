#pragma once

#include <utility>

namespace pelisto {

// The text shown when a codec library call faults.
inline constexpr const char* LibraryFaultText =
    "An exception error occured in the picturelib dll. We recommend to exit the application and "
    "to restart it by clicking its icon!";

// Runs fn with handlers for the fault signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL) in place. A
// fault inside it jumps back here: the fault is reported and false returned, so the call counts
// as failed and the tool goes on (unless the reporter ends the program). Safe on any thread: each
// thread's guarded calls catch that thread's faults; a fault outside any guarded call takes the
// course it would have taken without the guard. fn must only call into the library and store
// plain results: a fault skips its destructors.
bool RunGuarded(void (*fn)(void*), void* context);

template <typename F> bool CallGuarded(F&& body) {
    auto trampoline = [](void* context) { (*static_cast<std::remove_reference_t<F>*>(context))(); };
    return RunGuarded(trampoline, &body);
}

// Tells of a fault that the guard caught, on the thread that faulted. The window shows
// LibraryFaultText in a message box (the default; a worker thread's box is shown by the
// user-interface thread); a program with nobody to answer a box sets its own reporter at start.
using LibraryFaultReporter = void (*)();
// Sets the reporter (nullptr brings back the message box) and returns the previous one.
LibraryFaultReporter SetLibraryFaultReporter(LibraryFaultReporter reporter);

// Called on the faulting thread for a fault outside any guarded call, before the fault takes the
// course it would have taken without the guard: a program's last words (it must be
// async-signal-safe and must not allocate). Setting it installs the handlers at once.
using UnguardedFaultHook = void (*)();
void SetUnguardedFaultHook(UnguardedFaultHook hook);

// How many faults the guard has caught in this process (for diagnostics and tests).
int GuardedFaultCount();

} // namespace pelisto
