#pragma once

#include <QByteArray>
#include <QString>

// How pelisto-build reports: everything goes to stderr, nothing ever waits for a person.
namespace pelisto::build {

// Routes every message box and dialog to stderr, counts library warnings instead of printing
// them, and makes a codec-library fault print its message and end the build. Call once, after
// the application object exists.
void ReportToTerminal();

// While alive, what the libraries print themselves on stdout and stderr (libwmf, for one, a
// line per damaged record) goes to `file` instead; each line counts as a warning. The build's
// own messages still reach the terminal.
class LibraryMessagesCaught {
public:
    explicit LibraryMessagesCaught(const QString& file);
    ~LibraryMessagesCaught();
    LibraryMessagesCaught(const LibraryMessagesCaught&) = delete;
    LibraryMessagesCaught& operator=(const LibraryMessagesCaught&) = delete;

private:
    QByteArray path_;
    int fd_ = -1;
};

// Names as the user gave them, in their bytes: messages show these in place of the names the
// build works with (an alias stands for a name that Qt cannot hold).
void ShowNameAs(const QString& workingName, const QByteArray& userBytes);
// The picture being converted on this thread, named in a fault's message.
void SetCurrentPicture(const QString& workingName);

// "pelisto-build: " + message, with the names shown as given, on stderr.
void PrintError(const QString& message);
// "pelisto-build: " + before + the name's bytes + after, on stderr.
void PrintNamedError(const QString& before, const QByteArray& name, const QString& after);
// A line on stdout, with the names shown as given.
void PrintLine(const QString& line);
// The one line that sums up the picture libraries' warnings, if there were any.
void PrintWarningSummary();

} // namespace pelisto::build
