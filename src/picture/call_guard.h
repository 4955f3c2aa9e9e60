#pragma once

#include <utility>

namespace pelisto {

// The text shown when a codec library call faults.
inline constexpr const char* LibraryFaultText =
    "An exception error occured in the picturelib dll. We recommend to exit the application and "
    "to restart it by clicking its icon!";

// Runs fn with handlers for the fault signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL) in place. A
// fault inside it jumps back here: the fault message is shown and false returned, so the call
// counts as failed and the tool goes on. The previous handlers are back in place afterwards.
// fn must only call into the library and store plain results: a fault skips its destructors.
bool RunGuarded(void (*fn)(void*), void* context);

template <typename F> bool CallGuarded(F&& body) {
    auto trampoline = [](void* context) { (*static_cast<std::remove_reference_t<F>*>(context))(); };
    return RunGuarded(trampoline, &body);
}

// How many faults the guard has caught in this process (for diagnostics and tests).
int GuardedFaultCount();

} // namespace pelisto
