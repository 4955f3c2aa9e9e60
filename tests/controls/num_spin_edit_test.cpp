#include "control_harness.h"
#include "controls/num_spin_button.h"
#include "controls/num_spin_edit.h"
#include "controls/num_up_down.h"

#include <QClipboard>
#include <QDialog>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace pelisto;
using pelisto::testing::FocusWindow;
using pelisto::testing::SystemRecorder;

namespace {

// The delay field as the main window sets it up.
void SetUpAsDelay(TNumSpinEdit& edit) {
    edit.SetMinValue(1);
    edit.SetMaxValue(65535);
    edit.SetValue(10);
}

class SpinEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        edit = harness.Add(new TNumSpinEdit);
        SetUpAsDelay(*edit);
        ASSERT_TRUE(harness.Show());
        edit->setFocus(Qt::OtherFocusReason);
        changes = std::make_unique<QSignalSpy>(edit, &TNumSpinEdit::Change);
    }
    void Type(const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void Leave() { QTest::keyClick(edit, Qt::Key_Tab); }
    int Changes() const { return static_cast<int>(changes->count()); }

    SystemRecorder system;
    FocusWindow harness;
    TNumSpinEdit* edit = nullptr;
    std::unique_ptr<QSignalSpy> changes;
};

TEST(SpinEditReading, TextThatIsNotAWholeNumberReadsAsTheMinimum) {
    TNumSpinEdit edit;
    SetUpAsDelay(edit);
    for (const char* text : {"", "-", "+", "abc", "12a", "4.5", "99999999999"}) {
        edit.setText(QString::fromLatin1(text));
        EXPECT_EQ(edit.Value(), 1.0) << text;
    }
    edit.setText("+7");
    EXPECT_EQ(edit.Value(), 7.0);
    edit.setText("-3");
    EXPECT_EQ(edit.Value(), -3.0);
    // Reading never clamps.
    edit.setText("70000");
    EXPECT_EQ(edit.Value(), 70000.0);
    edit.setText("0");
    EXPECT_EQ(edit.Value(), 0.0);
    // Whole numbers fall back to the minimum's whole part.
    edit.SetMinValue(2.7);
    edit.setText("x");
    EXPECT_EQ(edit.Value(), 2.0);
}

TEST(SpinEditReading, DecimalsUseTheLocaleSeparatorAndFallBackToTheExactMinimum) {
    TNumSpinEdit edit;
    edit.SetValueType(TNumSpinEdit::vtFloat);
    edit.SetMinValue(0.5);
    edit.SetMaxValue(10);
    const QString sep = QLocale::system().decimalPoint();
    edit.setText("2" + sep + "25");
    EXPECT_DOUBLE_EQ(edit.Value(), 2.25);
    edit.setText("two");
    EXPECT_EQ(edit.Value(), 0.5);
}

TEST(SpinEditWriting, ClampsRoundsHalvesToEvenAndFormats) {
    TNumSpinEdit edit;
    EXPECT_EQ(edit.text(), "0");
    SetUpAsDelay(edit);
    EXPECT_EQ(edit.text(), "10");
    edit.SetValue(70000);
    EXPECT_EQ(edit.text(), "65535");
    edit.SetValue(0);
    EXPECT_EQ(edit.text(), "1");
    edit.SetValue(2.5);
    EXPECT_EQ(edit.text(), "2");
    edit.SetValue(3.5);
    EXPECT_EQ(edit.text(), "4");
    edit.SetValue(1234.4);
    EXPECT_EQ(edit.text(), "1234") << "no thousands separator";

    edit.SetValueType(TNumSpinEdit::vtFloat);
    edit.SetValue(3.14159);
    const QString sep = QLocale::system().decimalPoint();
    EXPECT_EQ(edit.text(), "3" + sep + "14");
    edit.SetDecimal(0);
    edit.SetValue(7.25);
    EXPECT_EQ(edit.text(), "7");
}

TEST(SpinEditWriting, EqualBoundsMeanNoBoundAndWholeNumbersStayReadable) {
    TNumSpinEdit edit; // both bounds 0
    edit.SetValue(-5);
    EXPECT_EQ(edit.text(), "-5");
    edit.SetValue(123456);
    EXPECT_EQ(edit.text(), "123456");
    // Beyond what reads back as a 32-bit whole number, writing stops at the limit instead of
    // producing text that would read as the minimum.
    edit.SetValue(1e12);
    EXPECT_EQ(edit.text(), "2147483647");
    EXPECT_EQ(edit.Value(), 2147483647.0);
    edit.StepUp();
    EXPECT_EQ(edit.text(), "2147483647");
    edit.SetValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(edit.text(), "0");
}

TEST_F(SpinEditTest, StepsFireOneChangeAndNothingAtTheBounds) {
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), "11");
    EXPECT_EQ(Changes(), 1) << "a step fires once, not once more for its own text change";
    EXPECT_TRUE(edit->isModified());

    edit->SetValue(1);
    changes->clear();
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), "1");
    EXPECT_EQ(Changes(), 0);

    edit->SetValue(65535);
    changes->clear();
    edit->StepUp();
    EXPECT_EQ(edit->text(), "65535");
    EXPECT_EQ(Changes(), 0);

    // A step from text that is not a number starts at the minimum.
    edit->setText("abc");
    changes->clear();
    edit->StepUp();
    EXPECT_EQ(edit->text(), "2");
    EXPECT_EQ(Changes(), 1);

    edit->SetIncrement(100);
    edit->SetValue(65500);
    edit->StepUp();
    EXPECT_EQ(edit->text(), "65535");
    EXPECT_EQ(system.beeps, 0);
}

TEST_F(SpinEditTest, ReadOnlyStepsOnlyBeep) {
    edit->setReadOnly(true);
    QTest::keyClick(edit, Qt::Key_Up);
    edit->StepDown();
    EXPECT_EQ(edit->text(), "10");
    EXPECT_EQ(system.beeps, 2);
    EXPECT_EQ(Changes(), 0);
}

TEST_F(SpinEditTest, ArrowKeysCanBeTurnedOff) {
    edit->SetArrowKeys(false);
    QTest::keyClick(edit, Qt::Key_Up);
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), "10");
    EXPECT_EQ(Changes(), 0);
}

TEST_F(SpinEditTest, TypingAcceptsOnlyNumberCharactersAndBeepsForTheRest) {
    Type("abc");
    EXPECT_EQ(system.beeps, 3);
    EXPECT_EQ(edit->text(), "10");
    EXPECT_EQ(Changes(), 0);

    Type("-4");
    EXPECT_EQ(edit->text(), "-4");
    EXPECT_EQ(Changes(), 2) << "each typed character fires at once";
    QTest::keyClicks(edit, " .,e");
    EXPECT_EQ(system.beeps, 7);
    EXPECT_EQ(edit->text(), "-4");

    // Editing keys are not characters to filter.
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(edit->Value(), 1.0);
    EXPECT_EQ(system.beeps, 7);

    // Typing beyond the maximum is not clamped yet.
    Type("99999");
    EXPECT_EQ(edit->text(), "99999");
}

TEST_F(SpinEditTest, DecimalsAcceptTheLocaleSeparator) {
    edit->SetValueType(TNumSpinEdit::vtFloat);
    const QString sep = QLocale::system().decimalPoint();
    Type("2" + sep + "5");
    EXPECT_EQ(system.beeps, 0);
    EXPECT_DOUBLE_EQ(edit->Value(), 2.5);
}

TEST_F(SpinEditTest, PastedLettersGetInAndReadAsTheMinimum) {
    QGuiApplication::clipboard()->setText("abc");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "abc");
    EXPECT_EQ(edit->Value(), 1.0);
    EXPECT_EQ(system.beeps, 0);
    EXPECT_GE(Changes(), 1);
}

TEST_F(SpinEditTest, WithTheEditorOffOnlyStepsChangeTheText) {
    edit->SetEditorEnabled(false);
    QGuiApplication::clipboard()->setText("77");
    edit->selectAll();
    QTest::keyClicks(edit, "5a");
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(system.beeps, 4);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "10");
    EXPECT_EQ(Changes(), 0);

    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), "11");

    // The context menu offers copying but not cutting or pasting.
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                edit->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(edit, &menuEvent);
    auto* menu = edit->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* action : menu->actions()) {
        texts << action->text();
    }
    EXPECT_FALSE(texts.join(" ").contains("Paste")) << texts.join("|").toStdString();
    EXPECT_FALSE(texts.join(" ").contains("Cu&t"));
    EXPECT_TRUE(texts.contains("&Copy"));
    menu->close();
}

TEST_F(SpinEditTest, LeavingClampsButKeepsTextThatIsNotANumber) {
    Type("0");
    ASSERT_EQ(Changes(), 1);
    EXPECT_EQ(edit->Value(), 0.0);
    Leave();
    EXPECT_FALSE(edit->hasFocus());
    EXPECT_EQ(edit->text(), "1");
    EXPECT_EQ(Changes(), 2);

    edit->setFocus(Qt::TabFocusReason);
    Type("70000");
    Leave();
    EXPECT_EQ(edit->text(), "65535");

    edit->setFocus(Qt::TabFocusReason);
    edit->setText("abc");
    changes->clear();
    Leave();
    EXPECT_EQ(edit->text(), "abc");
    EXPECT_EQ(Changes(), 0);

    // In range: no rewrite, so no change event.
    edit->setFocus(Qt::TabFocusReason);
    Type("42");
    changes->clear();
    Leave();
    EXPECT_EQ(Changes(), 0);
}

TEST_F(SpinEditTest, AnotherWindowTakingOverIsNotLeaving) {
    Type("0");
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(edit, &out);
    EXPECT_EQ(edit->text(), "0");
}

TEST_F(SpinEditTest, KeyboardEntrySelectsAllButAClickDoesNot) {
    harness.other->setFocus(Qt::OtherFocusReason);
    edit->deselect();
    QTest::keyClick(harness.other, Qt::Key_Tab);
    ASSERT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), "10");

    QTest::keyClick(edit, Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_TRUE(harness.other->hasFocus());
    edit->deselect();
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2));
    ASSERT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), "");
}

TEST(SpinEditDialogKeys, EnterPressesTheDefaultButtonAndEscapeCancels) {
    SystemRecorder system;
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new TNumSpinEdit(&dialog);
    SetUpAsDelay(*edit);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    layout->addWidget(edit);
    layout->addWidget(ok);
    QSignalSpy clicked(ok, &QPushButton::clicked);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();
    edit->setText("0");

    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(edit->text(), "0") << "Enter is not leaving the field";
    EXPECT_EQ(system.beeps, 0);

    dialog.show();
    edit->setFocus();
    finished.clear();
    QTest::keyClick(edit, Qt::Key_Escape);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Rejected);
    EXPECT_EQ(system.beeps, 0);
}

TEST(SpinEditLayout, SquareButtonAtTheEndAndTextKeptClearOfIt) {
    QWidget box;
    box.resize(400, 100);
    TNumSpinEdit edit(&box);
    edit.setGeometry(296, 28, 57, 21);
    box.show();
    QWidget* holder = edit.Button()->parentWidget();
    EXPECT_EQ(holder->geometry(), QRect(38, 1, 18, 18));
    EXPECT_EQ(edit.textMargins().right(), 18);
    edit.setLayoutDirection(Qt::RightToLeft);
    EXPECT_EQ(holder->geometry(), QRect(1, 1, 18, 18));
    EXPECT_EQ(edit.textMargins().left(), 18);
}

TEST(SpinEditLayout, StandardKindStepsThroughItsOwnButtons) {
    TNumSpinEdit edit;
    SetUpAsDelay(edit);
    edit.resize(80, 24);
    edit.SetButtonKind(TNumSpinEdit::bkStandard);
    EXPECT_EQ(edit.Button(), nullptr);
    ASSERT_NE(edit.UpDown(), nullptr);
    const auto buttons = edit.UpDown()->findChildren<QToolButton*>();
    ASSERT_EQ(buttons.size(), 2);
    for (QToolButton* b : buttons) {
        b->click();
    }
    EXPECT_EQ(edit.text(), "10"); // one up, one down
    buttons.at(0)->arrowType() == Qt::UpArrow ? buttons.at(0)->click() : buttons.at(1)->click();
    EXPECT_EQ(edit.text(), "11");
}

} // namespace
