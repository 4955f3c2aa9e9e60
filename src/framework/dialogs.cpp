#include "framework/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelisto {

namespace {

QMessageBox::Icon ToQtIcon(MsgBoxIcon icon) {
    switch (icon) {
    case MsgBoxIcon::Error:
        return QMessageBox::Critical;
    case MsgBoxIcon::Warning:
        return QMessageBox::Warning;
    case MsgBoxIcon::Information:
        return QMessageBox::Information;
    case MsgBoxIcon::Question:
        return QMessageBox::Question;
    case MsgBoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Splits a pipe filter into Qt's filter list; the patterns part keeps its own separators.
QStringList QtFilters(const QString& filter) {
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "Program (*.exe)" already names its patterns; Qt reads them from the parentheses.
        if (parts[i].endsWith(QStringLiteral("(%1)").arg(patterns))) {
            out << parts[i];
        } else {
            out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
        }
    }
    return out;
}

// Some dialogs (GTK's) match patterns in one letter case only; "*.jpg" becomes "*.[jJ][pP][gG]"
// so IMG_1.JPG shows too. The description is shown without its patterns.
QStringList AnyCaseFilters(const QString& filter) {
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString anyCase;
            for (const QChar c : pattern) {
                if (c.toLower() != c.toUpper() && c.unicode() < 128) {
                    anyCase += QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper());
                } else {
                    anyCase += c;
                }
            }
            patterns << anyCase;
            // GTK's dialog shows a name that is not UTF-8 as "caf\uFFFD.jpg (invalid encoding)",
            // in the user's language, and matches the filter against that. Qt splits patterns
            // at spaces and takes no parentheses: a space and then a sign other than a letter,
            // digit, dot, underscore or tilde (so "a.jpg.txt" and "a.jpg~" stay out).
            if (pattern.startsWith(QLatin1String("*.")) && pattern.size() > 2) {
                patterns << anyCase + QStringLiteral("?[!a-zA-Z0-9._~]*");
            }
        }
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return out;
}

// Buttons always come in the order Yes, No, OK, Cancel, with the framework's French captions.
void AppendButtons(MessageBoxRequest& request, MsgDlgButtons buttons) {
    if (buttons & mbYes) {
        request.buttons.push_back({QStringLiteral("&Oui"), mrYes});
    }
    if (buttons & mbNo) {
        request.buttons.push_back({QStringLiteral("&Non"), mrNo});
    }
    if (buttons & mbOK) {
        request.buttons.push_back({QStringLiteral("OK"), mrOk});
    }
    if (buttons & mbCancel) {
        request.buttons.push_back({QStringLiteral("Annuler"), mrCancel});
    }
}

class QtDialogProvider final : public DialogProvider {
public:
    int messageBox(const MessageBoxRequest& request) override {
        QMessageBox box(ToQtIcon(request.icon), request.title, request.text, QMessageBox::NoButton,
                        QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        QAbstractButton* escape = nullptr;
        for (const auto& b : request.buttons) {
            QPushButton* button = box.addButton(b.caption, QMessageBox::AcceptRole);
            button->setProperty("pelistoResult", b.result);
            if (b.result == request.defaultResult) {
                box.setDefaultButton(button);
            }
            if (b.result == request.escapeResult) {
                escape = button;
            }
        }
        if (escape != nullptr) {
            box.setEscapeButton(escape);
        }
        box.exec();
        if (box.clickedButton() == nullptr) {
            return request.escapeResult;
        }
        return box.clickedButton()->property("pelistoResult").toInt();
    }

    std::optional<QStringList> openFiles(const OpenDialogRequest& request) override {
        QFileDialog dialog(QApplication::activeWindow(), request.title, request.initialDir);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(AnyCaseFilters(request.filter));
        dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                               : QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.selectedFiles();
    }

    std::optional<QString> chooseFolder(const FolderDialogRequest& request) override {
        QFileDialog dialog(QApplication::activeWindow(), request.title, request.initialDir);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().front();
    }

    std::optional<QString> askText(const TextRequest& request) override {
        bool ok = false;
        const QString text =
            QInputDialog::getText(QApplication::activeWindow(), request.title, request.label,
                                  QLineEdit::Normal, request.text, &ok);
        return ok ? std::optional<QString>(text) : std::nullopt;
    }

    std::optional<PasswordAnswer> askPassword(const PasswordRequest& request) override {
        QDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(request.title);
        auto* layout = new QVBoxLayout(&dialog);
        auto* label = new QLabel(request.label, &dialog);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        auto* edit = new QLineEdit(&dialog);
        edit->setEchoMode(QLineEdit::Password);
        auto* buttons =
            new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        bool other = false;
        if (!request.otherFileButton.isEmpty()) {
            QPushButton* button =
                buttons->addButton(request.otherFileButton, QDialogButtonBox::ActionRole);
            QObject::connect(button, &QPushButton::clicked, &dialog, [&] {
                other = true;
                dialog.accept();
            });
        }
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(label);
        layout->addWidget(edit);
        layout->addWidget(buttons);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return PasswordAnswer{other ? QString() : edit->text(), other};
    }

    std::optional<QString> saveFile(const SaveDialogRequest& request) override {
        auto answer = saveFileAndType(request);
        if (!answer) {
            return std::nullopt;
        }
        return answer->fileName;
    }

    std::optional<SaveDialogAnswer> saveFileAndType(const SaveDialogRequest& request) override {
        QFileDialog dialog(QApplication::activeWindow(), request.title, request.initialDir);
        const QStringList filters = QtFilters(request.filter);
        dialog.setNameFilters(filters);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (request.filterIndex >= 1 && request.filterIndex <= filters.size()) {
            dialog.selectNameFilter(filters[request.filterIndex - 1]);
        }
        // A name typed without extension gets the extension of the type shown.
        auto suffixFor = [&](int index) {
            const QString ext = FilterExtension(request.filter, index);
            return ext.isEmpty() ? request.defaultExt : ext;
        };
        dialog.setDefaultSuffix(suffixFor(request.filterIndex));
        // Choosing a type swaps the typed name's extension (Qt does that itself, as the system's
        // dialog does); a name typed without one gets the type's.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString&) {
            dialog.setDefaultSuffix(
                suffixFor(static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1));
        });
        dialog.selectFile(request.fileName);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        const auto chosen = filters.indexOf(dialog.selectedNameFilter());
        return SaveDialogAnswer{dialog.selectedFiles().constFirst(),
                                chosen >= 0 ? static_cast<int>(chosen) + 1 : request.filterIndex};
    }
};

std::unique_ptr<DialogProvider>& Provider() {
    static std::unique_ptr<DialogProvider> provider = std::make_unique<QtDialogProvider>();
    return provider;
}

} // namespace

std::unique_ptr<DialogProvider> SetDialogProvider(std::unique_ptr<DialogProvider> provider) {
    if (!provider) {
        provider = std::make_unique<QtDialogProvider>();
    }
    std::swap(Provider(), provider);
    return provider;
}

DialogProvider& Dialogs() {
    return *Provider();
}

MessageBoxRequest BuildMessageDlg(const QString& text, MsgDlgType type, MsgDlgButtons buttons) {
    MessageBoxRequest request;
    request.text = text;
    switch (type) {
    case MsgDlgType::Warning:
        request.title = QStringLiteral("Avertissement");
        request.icon = MsgBoxIcon::Warning;
        break;
    case MsgDlgType::Error:
        request.title = QStringLiteral("Erreur");
        request.icon = MsgBoxIcon::Error;
        break;
    case MsgDlgType::Information:
        request.title = QStringLiteral("Information");
        request.icon = MsgBoxIcon::Information;
        break;
    case MsgDlgType::Confirmation:
        request.title = QStringLiteral("Confirmation");
        request.icon = MsgBoxIcon::Question;
        break;
    case MsgDlgType::Custom:
        request.title = QApplication::applicationDisplayName();
        break;
    }
    AppendButtons(request, buttons);
    if (buttons & mbOK) {
        request.defaultResult = mrOk;
    } else if (buttons & mbYes) {
        request.defaultResult = mrYes;
    }
    if (buttons & mbCancel) {
        request.escapeResult = mrCancel;
    } else if (buttons & mbNo) {
        request.escapeResult = mrNo;
    } else {
        request.escapeResult = mrOk;
    }
    return request;
}

int MessageDlg(const QString& text, MsgDlgType type, MsgDlgButtons buttons) {
    return Dialogs().messageBox(BuildMessageDlg(text, type, buttons));
}

int MessageBox(const QString& text, const QString& caption, MsgBoxIcon icon,
               MsgDlgButtons buttons) {
    MessageBoxRequest request;
    request.title = caption;
    request.text = text;
    request.icon = icon;
    AppendButtons(request, buttons);
    request.defaultResult = request.buttons.empty() ? mrNone : request.buttons.front().result;
    request.escapeResult = (buttons & mbCancel) ? mrCancel : request.defaultResult;
    return Dialogs().messageBox(request);
}

std::optional<PasswordAnswer> DialogProvider::askPassword(const PasswordRequest&) {
    return std::nullopt;
}

std::optional<QString> DialogProvider::chooseFolder(const FolderDialogRequest&) {
    return std::nullopt;
}

std::optional<QString> DialogProvider::askText(const TextRequest&) {
    return std::nullopt;
}

std::optional<SaveDialogAnswer> DialogProvider::saveFileAndType(const SaveDialogRequest& request) {
    auto chosen = saveFile(request);
    if (!chosen) {
        return std::nullopt;
    }
    return SaveDialogAnswer{*chosen, request.filterIndex};
}

QString FilterExtension(const QString& filter, int index) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    const qsizetype at = 2 * static_cast<qsizetype>(index) - 1;
    if (index < 1 || at >= parts.size()) {
        return {};
    }
    const QString& pattern = parts[at];
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.size() < 3 ||
        pattern.contains(QLatin1Char(';')) || pattern.indexOf(QLatin1Char('*'), 1) >= 0 ||
        pattern.contains(QLatin1Char('?'))) {
        return {};
    }
    return pattern.mid(2);
}

QString QtFilterFromPipes(const QString& filter) {
    return QtFilters(filter).join(QStringLiteral(";;"));
}

} // namespace pelisto
