#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

namespace pelisto {

// Modal results, numbered as the platform numbers them (Yes is 6).
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
};

enum class MsgDlgType { Warning, Error, Information, Confirmation, Custom };

enum MsgDlgButton : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
};
using MsgDlgButtons = unsigned;

enum class MsgBoxIcon { None, Error, Warning, Information, Question };

// One modal box as the tool asks for it. Message dialogs and plain message boxes both end up
// here, so tests can see exactly what would have been shown.
struct MessageBoxRequest {
    QString title;
    QString text;
    MsgBoxIcon icon = MsgBoxIcon::None;
    // Buttons in display order, each with its caption and the result it returns.
    struct Button {
        QString caption;
        int result;
    };
    std::vector<Button> buttons;
    int defaultResult = mrNone; // the button that Enter presses
    int escapeResult = mrNone;  // what Escape answers
};

struct OpenDialogRequest {
    QString title;
    QString filter; // "Description|*.a;*.b" as the word table holds it
    QString initialDir;
    bool multiSelect = false;
};

struct SaveDialogRequest {
    QString title;
    QString filter;
    QString defaultExt;
    QString fileName;
    QString initialDir;
    bool overwritePrompt = false;
    int filterIndex = 1; // the file type shown first, counted from 1 in the filter's pairs
};

struct FolderDialogRequest {
    QString title;
    QString initialDir;
};

// A save dialog's answer: the file and the file type chosen (counted from 1).
struct SaveDialogAnswer {
    QString fileName;
    int filterIndex = 1;
};

// Where modal boxes and file dialogs are answered. The running tool uses Qt's dialogs; tests
// install their own provider and answer without a modal loop.
// A password for a file that needs one (a code-signing certificate). The dialog may offer to
// choose another file instead.
struct PasswordRequest {
    QString title;
    QString label;
    QString otherFileButton; // empty: no such button
};

struct PasswordAnswer {
    QString password;
    bool otherFile = false; // the user asked to choose another file
};

// A line of text to type, shown first with the text it has now.
struct TextRequest {
    QString title;
    QString label;
    QString text;
};

class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    // The chosen files in the order the dialog returns them, or nothing when cancelled.
    virtual std::optional<QStringList> openFiles(const OpenDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(const SaveDialogRequest& request) = 0;
    // The file and the file type chosen. Providers that do not offer types answer with
    // saveFile and the type the dialog opened with.
    virtual std::optional<SaveDialogAnswer> saveFileAndType(const SaveDialogRequest& request);
    // The password typed, never shown; nothing when cancelled (the default).
    virtual std::optional<PasswordAnswer> askPassword(const PasswordRequest& request);
    // The folder chosen; nothing when cancelled (the default).
    virtual std::optional<QString> chooseFolder(const FolderDialogRequest& request);
    // The text typed; nothing when cancelled (the default).
    virtual std::optional<QString> askText(const TextRequest& request);
};

// Installs a provider (nullptr brings back the Qt dialogs) and returns the previous one.
std::unique_ptr<DialogProvider> SetDialogProvider(std::unique_ptr<DialogProvider> provider);
DialogProvider& Dialogs();

// The framework's message dialog: French title by type, stock icon, buttons in the order Yes,
// No, OK ("&Oui", "&Non", "OK"). Default OK when present, else Yes; Escape answers Cancel when
// present, else No, else OK. Returns the button pressed.
int MessageDlg(const QString& text, MsgDlgType type, MsgDlgButtons buttons);

// Builds the request MessageDlg shows; exposed for tests and for callers that must inspect it.
MessageBoxRequest BuildMessageDlg(const QString& text, MsgDlgType type, MsgDlgButtons buttons);

// A plain message box with a caption and one set of buttons (used by the default error display
// and by components that show a bare box).
int MessageBox(const QString& text, const QString& caption, MsgBoxIcon icon, MsgDlgButtons buttons);

// Turns a "Description|*.a;*.b|Other|*.c" filter into Qt's "Description (*.a *.b);;Other (*.c)".
QString QtFilterFromPipes(const QString& filter);

// The extension of a filter's file type (counted from 1) when its pattern is a single "*.ext",
// else empty: "Program (*.exe)|*.exe|Linux program (*.run)|*.run", 2 -> "run".
QString FilterExtension(const QString& filter, int index);

} // namespace pelisto
