#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class QObject;

namespace pelisto {

// Hands a document or web address to the desktop's associated program. Returns false when
// nothing could open it.
bool ShellOpen(const QString& target);

// Whether two paths name the same file as the file system compares names: exactly, letter case
// included (A.jpg and a.jpg are two files).
bool SameFilePath(const QString& a, const QString& b);

// The default beep.
void Beep();

// Milliseconds from a monotonic clock.
std::uint32_t TickCount();

// Test seams: replace what the three calls above do (an empty function restores the real one).
void SetShellOpenHandler(std::function<bool(const QString&)> handler);
void SetBeepHandler(std::function<void()> handler);
void SetTickSource(std::function<std::uint32_t()> source);

// Calls every child of owner, in creation order, that offers an invokable Loaded(): the end of
// loading a window's stored description.
void CallLoaded(QObject* owner);

} // namespace pelisto
