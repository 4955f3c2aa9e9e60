#include "controls/num_spin_edit.h"

#include "controls/num_spin_button.h"
#include "controls/num_up_down.h"
#include "framework/nearest.h"
#include "framework/system.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace pelisto {

namespace {

// The user's number format without thousands separators, which typing cannot produce.
QLocale NumberLocale() {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QChar DecimalSeparator() {
    const QString point = NumberLocale().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.front();
}

// Keys that change the text without typing a character.
bool IsEditingShortcut(QKeyEvent* event) {
    static constexpr QKeySequence::StandardKey editing[] = {
        QKeySequence::Cut,
        QKeySequence::Paste,
        QKeySequence::Delete,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfWord,
        QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine,
        QKeySequence::Undo,
        QKeySequence::Redo,
    };
    for (auto key : editing) {
        if (event->matches(key)) {
            return true;
        }
    }
    return event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete;
}

// Clears a flag however the scope ends.
struct FlagScope {
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;
    bool& flag_;
};

} // namespace

TNumSpinEdit::TNumSpinEdit(QWidget* parent) : QLineEdit(parent) {
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, &TNumSpinEdit::OnTextChanged);
    MakeButton();
}

TNumSpinEdit::~TNumSpinEdit() = default;

double TNumSpinEdit::Value() const {
    bool ok = false;
    if (valueType_ == vtInteger) {
        const int whole = text().toInt(&ok, 10);
        return ok ? whole : std::trunc(minValue_);
    }
    const double number = NumberLocale().toDouble(text(), &ok);
    return ok && std::isfinite(number) ? number : minValue_;
}

double TNumSpinEdit::Clamp(double value) const {
    if (minValue_ != maxValue_) {
        if (value < minValue_) {
            return minValue_;
        }
        if (value > maxValue_) {
            return maxValue_;
        }
    }
    return value;
}

void TNumSpinEdit::SetValue(double value) {
    // A value that cannot be written as text is taken as the minimum, as unreadable text is.
    if (!std::isfinite(value)) {
        value = std::isfinite(minValue_) ? minValue_ : 0.0;
    }
    value = Clamp(value);
    QString written;
    if (valueType_ == vtInteger) {
        // Whole numbers are read back as 32-bit integers, so write nothing that would not read
        // back as itself.
        const long double bounded =
            std::clamp<long double>(value, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max());
        written = QString::number(static_cast<qint64>(Nearest(bounded)));
    } else {
        written = NumberLocale().toString(value, 'f', decimal_);
    }
    setText(written);
}

void TNumSpinEdit::SetDecimal(int digits) {
    decimal_ = std::clamp(digits, 0, 255);
}

void TNumSpinEdit::SetEditorEnabled(bool enabled) {
    editorEnabled_ = enabled;
    setAcceptDrops(enabled);
}

void TNumSpinEdit::SetButtonKind(TButtonKind kind) {
    if (kind != buttonKind_) {
        buttonKind_ = kind;
        MakeButton();
    }
}

void TNumSpinEdit::StepUp() {
    Step(increment_);
}
void TNumSpinEdit::StepDown() {
    Step(-increment_);
}

void TNumSpinEdit::Step(double delta) {
    if (isReadOnly()) {
        Beep();
        return;
    }
    const QString before = text();
    {
        FlagScope holdBack(holdBackChange_);
        SetValue(Value() + delta);
    }
    if (text().compare(before, Qt::CaseInsensitive) != 0) {
        setModified(true);
        emit Change();
    }
}

void TNumSpinEdit::OnTextChanged() {
    if (!holdBackChange_) {
        emit Change();
    }
}

bool TNumSpinEdit::IsValidChar(QChar c) const {
    const char16_t code = c.unicode();
    if (code == 8 || code == 127) { // Backspace, Delete
        return editorEnabled_;
    }
    if (code < 32) {
        return true;
    }
    if (!editorEnabled_) {
        return false;
    }
    if ((code >= '0' && code <= '9') || code == '+' || code == '-') {
        return true;
    }
    return valueType_ == vtFloat && c == DecimalSeparator();
}

void TNumSpinEdit::keyPressEvent(QKeyEvent* event) {
    if (arrowKeys_ && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        event->accept();
        if (event->key() == Qt::Key_Up) {
            StepUp();
        } else {
            StepDown();
        }
        return;
    }
    if (!editorEnabled_ && IsEditingShortcut(event)) {
        event->accept();
        if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
            Beep();
        }
        return;
    }
    // With Control held the text is a shortcut (Ctrl+V, Ctrl+A...), not typing.
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    const QString typed = shortcut ? QString() : event->text();
    for (QChar c : typed) {
        if (!IsValidChar(c)) {
            event->accept();
            Beep();
            return;
        }
    }
    // Enter and Escape go on to the window (default and cancel buttons of a dialog).
    QLineEdit::keyPressEvent(event);
}

void TNumSpinEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString committed = event->commitString();
    bool valid = true;
    for (QChar c : committed) {
        valid = valid && IsValidChar(c);
    }
    if (valid) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    Beep();
    QInputMethodEvent dropped(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&dropped);
    event->accept();
}

void TNumSpinEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Entering by keyboard (or from the spin button) selects everything; a click places the
    // caret, and coming back to the window or from a menu keeps the selection as it was.
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::MouseFocusReason && reason != Qt::ActiveWindowFocusReason &&
        reason != Qt::PopupFocusReason) {
        selectAll();
    }
}

void TNumSpinEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Only leaving for another control counts, not a menu or another window taking over.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
        return;
    }
    const double value = Value();
    if (Clamp(value) != value) {
        SetValue(Clamp(value));
    }
}

void TNumSpinEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (editorEnabled_) {
        QLineEdit::contextMenuEvent(event);
        return;
    }
    // Only what leaves the text alone, in the line edit's own (translated) words.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copyAction =
        menu->addAction(QCoreApplication::translate("QLineEdit", "&Copy"), this, &QLineEdit::copy);
    copyAction->setEnabled(hasSelectedText() && echoMode() == QLineEdit::Normal);
    menu->addSeparator();
    QAction* all = menu->addAction(QCoreApplication::translate("QLineEdit", "Select All"), this,
                                   &QLineEdit::selectAll);
    all->setEnabled(!text().isEmpty());
    menu->popup(event->globalPos());
    event->accept();
}

void TNumSpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    PlaceButton();
}

void TNumSpinEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange || event->type() == QEvent::StyleChange) {
        PlaceButton();
    }
}

void TNumSpinEdit::MakeButton() {
    delete buttonHolder_;
    auto* holder = new QWidget(this);
    holder->setCursor(Qt::ArrowCursor);
    holder->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (buttonKind_ == bkDiagonal) {
        auto* button = new TNumSpinButton(holder);
        button->SetFocusControl(this);
        connect(button, &TNumSpinButton::UpClick, this, &TNumSpinEdit::StepUp);
        connect(button, &TNumSpinButton::DownClick, this, &TNumSpinEdit::StepDown);
        layout->addWidget(button);
        button_ = button;
    } else {
        auto* upDown = new TNumUpDown(holder);
        connect(upDown, &TNumUpDown::UpClick, this, &TNumSpinEdit::StepUp);
        connect(upDown, &TNumUpDown::DownClick, this, &TNumSpinEdit::StepDown);
        layout->addWidget(upDown);
        upDown_ = upDown;
    }
    buttonHolder_ = holder;
    PlaceButton();
    holder->show();
}

void TNumSpinEdit::PlaceButton() {
    if (!buttonHolder_) {
        return;
    }
    const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
    int side = 0;
    if (buttonKind_ == bkDiagonal) {
        // A square as high as the box, kept off the sunken frame's top and outer edges.
        const bool sunken = hasFrame();
        const int inset = sunken ? 1 : 0;
        side = std::max(sunken ? height() - 3 : height(), 1);
        const int left = rightToLeft ? inset : width() - side - inset;
        buttonHolder_->setGeometry(left, inset, side, side);
    } else {
        side = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        buttonHolder_->setGeometry(rightToLeft ? 0 : width() - side, 0, side, height());
    }
    // Text never runs under the button.
    QMargins margins;
    if (rightToLeft) {
        margins.setLeft(side);
    } else {
        margins.setRight(side);
    }
    if (textMargins() != margins) {
        setTextMargins(margins);
    }
}

} // namespace pelisto
