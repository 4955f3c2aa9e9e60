#pragma once

#include "framework/exceptions.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace pelisto {

// Errors of the picture library; the message is the codec library's text for the failing call.
class ErrorInvalid : public Exception {
public:
    using Exception::Exception;
};

// One of the two run-time codec libraries. It loads at its first use, looked for in the tool
// folder, then by name through the system's search, then in the current folder; once loaded it
// stays until the process ends, even after a failed call: other threads may be inside it, and a
// failure's text is read from it afterwards.
class CodecLibrary {
public:
    enum Which { Main, Processing };
    static CodecLibrary& Get(Which which);

    // The file name looked for (libcrde2000.so / libisp2000.so).
    const QString& FileName() const { return fileName_; }
    bool IsLoaded() const { return handle_ != nullptr; }

    // The entry's address, loading the library first. When the library cannot be loaded the
    // main library raises ErrorInvalid "Can't load ...", the processing library shows that
    // text in a message box; both then give nullptr. A missing entry gives nullptr.
    void* Entry(const char* name);
    // As Entry, but a missing entry raises ErrorInvalid naming it and the main library.
    void* RequiredEntry(const char* name);

    QString LoadErrorText() const;

    // Test seam: look for another file name (an empty name restores the default).
    void SetFileName(const QString& fileName);

private:
    explicit CodecLibrary(Which which);
    bool Load();
    void Unload();

    // Loading, dropping and looking up entries may happen on several threads.
    std::recursive_mutex mutex_;
    Which which_;
    QString defaultName_;
    QString fileName_;
    std::atomic<void*> handle_{nullptr};
};

// State of the picture library, per thread (pictures are converted on several at once): the
// last failing status and its text, the progress text.
struct PictureLibraryState {
    static thread_local std::int16_t lastErrorCode;
    static thread_local QString lastErrorText;
    static thread_local QString progressText;
};

// Records the status of a library call: a status of 0 or below becomes the last error with the
// main library's text for it, followed by what the library said of the cause (the picture's
// size, the point where the data was damaged, the system's reason) when detail is given; for a
// status that no call returned, the cause given here (or none).
void NoteLibraryStatus(std::int16_t status);
void NoteLibraryStatus(std::int16_t status, const QString& cause);

// The warnings that the image libraries counted instead of printing, in this process.
long LibraryWarningCount();

// Writes the program's name (file name without extension, lower case) as "App Name" into
// section "PictureLib Twain" of "pltwain.ini" in the user configuration folder. Called once at
// start-up.
bool RecordTwainAppName();

} // namespace pelisto
