#pragma once

#include "controls/num_spin_button.h"
#include "controls/num_up_down.h"

#include <QLineEdit>
#include <QPointer>

namespace pelisto {

// A one-line number box with a spin button at its end. The number lives only as the text:
// reading parses it (text that is not a number reads as the minimum), writing clamps and formats
// it. Typing is filtered to number characters; the value is clamped when the focus leaves.
class TNumSpinEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(double Value READ Value WRITE SetValue NOTIFY Change STORED false)
    Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(TValueType ValueType READ ValueType WRITE SetValueType)
    Q_PROPERTY(int Decimal READ Decimal WRITE SetDecimal)
    Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
    Q_PROPERTY(bool ArrowKeys READ ArrowKeys WRITE SetArrowKeys)
    Q_PROPERTY(TButtonKind ButtonKind READ ButtonKind WRITE SetButtonKind)

public:
    enum TValueType { vtInteger, vtFloat };
    Q_ENUM(TValueType)
    enum TButtonKind { bkStandard, bkDiagonal };
    Q_ENUM(TButtonKind)

    explicit TNumSpinEdit(QWidget* parent = nullptr);
    ~TNumSpinEdit() override;

    // The number the text holds; never clamped. Text that does not parse reads as MinValue
    // (its whole part for whole numbers).
    double Value() const;
    // Writes the clamped number as text (rounded, halves to even, for whole numbers).
    void SetValue(double value);

    // When both bounds are equal there is no bound at all.
    double MinValue() const { return minValue_; }
    void SetMinValue(double value) { minValue_ = value; }
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double value) { maxValue_ = value; }
    double Clamp(double value) const;

    double Increment() const { return increment_; }
    void SetIncrement(double value) { increment_ = value; }

    TValueType ValueType() const { return valueType_; }
    void SetValueType(TValueType type) { valueType_ = type; }

    // Digits after the separator with decimals (0..255).
    int Decimal() const { return decimal_; }
    void SetDecimal(int digits);

    // Whether typing, cutting and pasting are allowed (stepping always is).
    bool EditorEnabled() const { return editorEnabled_; }
    void SetEditorEnabled(bool enabled);

    // Whether the Up and Down keys step the value.
    bool ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(bool enabled) { arrowKeys_ = enabled; }

    TButtonKind ButtonKind() const { return buttonKind_; }
    void SetButtonKind(TButtonKind kind);

    // The diagonal button (null with the standard kind) and the standard pair (null with the
    // diagonal kind).
    TNumSpinButton* Button() const { return button_; }
    TNumUpDown* UpDown() const { return upDown_; }

public slots:
    // One step by Increment; a read-only edit only beeps. The text change of a step fires
    // Change once, and only when the text really changed.
    void StepUp();
    void StepDown();

signals:
    // Any change of the text: typing, pasting, writing Value, a step.
    void Change();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Step(double delta);
    bool IsValidChar(QChar c) const;
    bool MayEditText() const { return editorEnabled_ && !isReadOnly(); }
    void OnTextChanged();
    void MakeButton();
    void PlaceButton();

    double minValue_ = 0;
    double maxValue_ = 0;
    double increment_ = 1;
    TValueType valueType_ = vtInteger;
    int decimal_ = 2;
    bool editorEnabled_ = true;
    bool arrowKeys_ = true;
    TButtonKind buttonKind_ = bkDiagonal;
    // Set only while a step writes the text: the step fires Change itself.
    bool holdBackChange_ = false;

    QPointer<QWidget> buttonHolder_;
    QPointer<TNumSpinButton> button_;
    QPointer<TNumUpDown> upDown_;
};

} // namespace pelisto
