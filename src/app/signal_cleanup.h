#pragma once

#include <QByteArray>
#include <QString>

namespace pelisto {

// Files and folders that a terminating signal (SIGINT, SIGTERM, SIGHUP) removes before the
// process ends: a save's partial output and its scratch folders. Registering costs little and
// does no harm where no handler is installed (the tests).

// Registers a file, or a folder whose contents go with it, by its bytes.
void RemoveOnSignal(const QByteArray& nativePath);
void RemoveOnSignal(const QString& path);
// Forgets a path: it was committed, or removed in the ordinary way.
void ForgetOnSignal(const QByteArray& nativePath);
void ForgetOnSignal(const QString& path);

// Registers a path for as long as it lives.
class RemovedOnSignal {
public:
    explicit RemovedOnSignal(const QString& path) : path_(path) { RemoveOnSignal(path_); }
    ~RemovedOnSignal() { ForgetOnSignal(path_); }
    RemovedOnSignal(const RemovedOnSignal&) = delete;
    RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

private:
    QString path_;
};

// Holds off the removal while alive, so that making a file and registering it (or moving it
// into place and forgetting it) happen as one step. Holds may nest.
class TerminationHeld {
public:
    TerminationHeld();
    ~TerminationHeld();
    TerminationHeld(const TerminationHeld&) = delete;
    TerminationHeld& operator=(const TerminationHeld&) = delete;
};

// Blocks the terminating signals in the calling thread; threads started afterwards inherit the
// block. Call first in main, before any thread starts.
void BlockTerminationSignals();
// Starts the thread that takes the terminating signals: a signal removes the registered paths,
// latest first, and ends the process by the same signal, at once, even in the middle of a
// long picture. False when the thread cannot be started.
bool InstallSignalCleanup();
// The same through signal handlers, for a program that starts others (the window opens the
// user guide in a browser): they would inherit a blocked mask and never end on these signals.
void InstallSignalCleanupHandlers();
// Removes the registered paths now, as on a signal, for a process that is ending: nothing
// registers afterwards. After a fault too: no allocation, and no waiting for ever on a thread
// that holds the table.
void RemoveRegisteredPaths();

} // namespace pelisto
