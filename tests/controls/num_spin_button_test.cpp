#include "control_harness.h"
#include "controls/num_spin_button.h"
#include "controls/num_spin_edit.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

using namespace pelisto;
using pelisto::testing::FocusWindow;

namespace {

TEST(SpinButtonHitTest, TheLowerLeftToUpperRightDiagonalSplitsTheHalves) {
    const QSizeF square(18, 18);
    EXPECT_EQ(TNumSpinButton::HalfAt({0, 0}, square), SpinHalf::Up);
    EXPECT_EQ(TNumSpinButton::HalfAt({17, 17}, square), SpinHalf::Down);
    EXPECT_EQ(TNumSpinButton::HalfAt({9, 9}, square), SpinHalf::Up) << "on the line is up";
    EXPECT_EQ(TNumSpinButton::HalfAt({9, 10}, square), SpinHalf::Down);
    EXPECT_EQ(TNumSpinButton::HalfAt({2, 15}, square), SpinHalf::Up);
    EXPECT_EQ(TNumSpinButton::HalfAt({3, 16}, square), SpinHalf::Down);
    EXPECT_EQ(TNumSpinButton::HalfAt({16, 1}, square), SpinHalf::Up);
    EXPECT_EQ(TNumSpinButton::HalfAt({17, 2}, square), SpinHalf::Down);

    // A wide button: the slope is H / W, not 1.
    const QSizeF wide(40, 20);
    EXPECT_EQ(TNumSpinButton::HalfAt({20, 10}, wide), SpinHalf::Up);
    EXPECT_EQ(TNumSpinButton::HalfAt({20, 11}, wide), SpinHalf::Down);
    EXPECT_EQ(TNumSpinButton::HalfAt({30, 6}, wide), SpinHalf::Down);
    EXPECT_EQ(TNumSpinButton::HalfAt({10, 14}, wide), SpinHalf::Up);

    EXPECT_EQ(TNumSpinButton::HalfAt({0, 0}, QSizeF(0, 18)), SpinHalf::None);
}

class SpinButtonPress : public ::testing::Test {
protected:
    void SetUp() override {
        button.resize(40, 20);
        button.show();
    }
    int Ups() const { return static_cast<int>(ups.count()); }
    int Downs() const { return static_cast<int>(downs.count()); }
    void Tick() { QMetaObject::invokeMethod(button.RepeatTimer(), "timeout"); }

    TNumSpinButton button;
    QSignalSpy ups{&button, &TNumSpinButton::UpClick};
    QSignalSpy downs{&button, &TNumSpinButton::DownClick};
};

TEST_F(SpinButtonPress, StepsAtOnceThenAfter400AndEvery100Milliseconds) {
    EXPECT_EQ(button.RepeatTimer(), nullptr) << "made on first use";
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Ups(), 1);
    EXPECT_EQ(button.State(), SpinHalf::Up);
    QTimer* timer = button.RepeatTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 400);

    // One second held: the first tick at 400 ms, then six more at 100 ms.
    Tick();
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_EQ(Ups(), 2);
    for (int i = 0; i < 6; ++i) {
        Tick();
    }
    EXPECT_EQ(Ups(), 8);
    EXPECT_EQ(Downs(), 0);

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(button.State(), SpinHalf::None);
    EXPECT_FALSE(timer->isActive());

    // The next press starts with the long delay again.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(35, 15));
    EXPECT_EQ(Downs(), 1);
    EXPECT_EQ(timer->interval(), 400);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(35, 15));
}

TEST_F(SpinButtonPress, OnlyTheFirstPressedHalfShowsPressedAndRepeats) {
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(35, 15));
    ASSERT_EQ(button.State(), SpinHalf::Down);
    QTest::mouseMove(&button, QPoint(5, 5)); // over the other half
    EXPECT_EQ(button.State(), SpinHalf::None);
    Tick();
    EXPECT_EQ(Downs(), 1);
    EXPECT_EQ(Ups(), 0);

    QTest::mouseMove(&button, QPoint(60, 15)); // outside
    EXPECT_EQ(button.State(), SpinHalf::None);

    QTest::mouseMove(&button, QPoint(38, 18)); // back on the first half
    EXPECT_EQ(button.State(), SpinHalf::Down);
    Tick();
    EXPECT_EQ(Downs(), 2);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(38, 18));
}

TEST_F(SpinButtonPress, OtherButtonsAndDisabledButtonsDoNothing) {
    QTest::mousePress(&button, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(Ups(), 0);
    EXPECT_EQ(button.State(), SpinHalf::None);
    QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(5, 5));

    button.setEnabled(false);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Ups(), 0);
}

TEST_F(SpinButtonPress, ARepeatNeverOutlivesThePress) {
    // Hidden while held: the release can no longer come, the repeat must stop.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    button.hide();
    EXPECT_FALSE(button.RepeatTimer()->isActive());
    EXPECT_EQ(button.State(), SpinHalf::None);
    Tick();
    EXPECT_EQ(Ups(), 1);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));

    // The button came up somewhere the spin button never heard of (another window took the
    // mouse): the next tick stops instead of stepping on and on.
    button.show();
    QWidget elsewhere;
    elsewhere.resize(50, 50);
    elsewhere.show();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(35, 15));
    ASSERT_EQ(Downs(), 1);
    QTest::mouseRelease(&elsewhere, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_FALSE(QGuiApplication::mouseButtons() & Qt::LeftButton);
    Tick();
    Tick();
    EXPECT_EQ(Downs(), 1);
    EXPECT_FALSE(button.RepeatTimer()->isActive());
    EXPECT_EQ(button.State(), SpinHalf::None);
}

TEST(SpinButtonInEdit, PressFocusesTheEditAndStepsIt) {
    FocusWindow harness;
    auto* edit = harness.Add(new TNumSpinEdit);
    edit->SetMinValue(1);
    edit->SetMaxValue(65535);
    edit->SetValue(10);
    ASSERT_TRUE(harness.Show());
    harness.other->setFocus();
    QSignalSpy changes(edit, &TNumSpinEdit::Change);

    TNumSpinButton* button = edit->Button();
    ASSERT_NE(button, nullptr);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->text(), "11");
    EXPECT_EQ(changes.count(), 1);
    QMetaObject::invokeMethod(button->RepeatTimer(), "timeout");
    EXPECT_EQ(edit->text(), "12");
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(2, 2));

    const int w = button->width();
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(w - 2, w - 2));
    EXPECT_EQ(edit->text(), "11");
    EXPECT_EQ(changes.count(), 3);
}

// A glyph of one colour with a differently coloured lower-left pixel, which must not show.
QImage Glyph(QRgb ink) {
    QImage glyph(4, 3, QImage::Format_RGB32);
    glyph.fill(ink);
    glyph.setPixel(0, 2, qRgb(0, 255, 0));
    return glyph;
}

class SpinButtonFaces : public ::testing::Test {
protected:
    void SetUp() override {
        button.resize(18, 18);
        button.SetUpGlyph(Glyph(qRgb(255, 0, 0)));
        button.SetDownGlyph(Glyph(qRgb(0, 0, 255)));
    }
    QImage Face(SpinHalf state) { return button.Face(state).toImage(); }

    TNumSpinButton button;
};

TEST_F(SpinButtonFaces, GlyphsSitWhereTheirHalvesCentreThem) {
    const QRgb red = qRgb(255, 0, 0);
    const QRgb blue = qRgb(0, 0, 255);
    const QRgb key = qRgb(0, 255, 0);
    // Up glyph: (nearest(4.5 - 2) + 1, nearest(4.5 - 1.5) + 1) = (3, 4); halves go to even.
    const QImage normal = Face(SpinHalf::None);
    EXPECT_EQ(normal.pixel(3, 4), red);
    EXPECT_EQ(normal.pixel(6, 5), red);
    EXPECT_NE(normal.pixel(2, 4), red);
    EXPECT_NE(normal.pixel(3, 3), red);
    EXPECT_NE(normal.pixel(3, 6), key) << "lower-left colour is transparent";
    // Down glyph: (nearest(13.5 - 2) - 1, nearest(13.5 - 1.5) - 1) = (11, 11).
    EXPECT_EQ(normal.pixel(11, 11), blue);
    EXPECT_EQ(normal.pixel(14, 12), blue);
    EXPECT_NE(normal.pixel(10, 11), blue);
    EXPECT_NE(normal.pixel(11, 13), key);

    const QImage upPressed = Face(SpinHalf::Up);
    EXPECT_EQ(upPressed.pixel(4, 5), red);
    EXPECT_NE(upPressed.pixel(3, 4), red);
    const QImage downPressed = Face(SpinHalf::Down);
    EXPECT_EQ(downPressed.pixel(11, 11), blue);
    EXPECT_EQ(downPressed.pixel(3, 4), red);
}

TEST_F(SpinButtonFaces, PressedHalfHasItsBevelSwapped) {
    const QImage normal = Face(SpinHalf::None);
    const QImage upPressed = Face(SpinHalf::Up);
    const QImage downPressed = Face(SpinHalf::Down);
    const QPoint upperEdge(8, 1);  // top bevel of the up half
    const QPoint rightEdge(16, 9); // right bevel of the down half
    EXPECT_NE(normal.pixel(upperEdge), upPressed.pixel(upperEdge));
    EXPECT_EQ(normal.pixel(upperEdge), downPressed.pixel(upperEdge));
    EXPECT_NE(normal.pixel(rightEdge), downPressed.pixel(rightEdge));
    EXPECT_EQ(normal.pixel(rightEdge), upPressed.pixel(rightEdge));
    EXPECT_EQ(normal.pixel(upperEdge), downPressed.pixel(rightEdge)) << "light and dark swap";
    // Frame and diagonal.
    const QRgb frame = normal.pixel(0, 0);
    EXPECT_EQ(normal.pixel(17, 9), frame);
    EXPECT_EQ(normal.pixel(9, 8), frame);
    EXPECT_NE(normal.pixel(9, 9), frame);
}

TEST_F(SpinButtonFaces, FacesAreDrawnOnceUntilSizeGlyphsOrEnabledChange) {
    (void)button.Face(SpinHalf::None);
    const int drawn = button.FaceDrawCount();
    (void)button.Face(SpinHalf::Up);
    (void)button.Face(SpinHalf::Down);
    (void)button.grab();
    EXPECT_EQ(button.FaceDrawCount(), drawn);

    button.resize(20, 20);
    (void)button.Face(SpinHalf::None);
    EXPECT_EQ(button.FaceDrawCount(), drawn + 1);
    EXPECT_EQ(button.Face(SpinHalf::None).size(), QSize(20, 20));

    button.SetDownGlyph(Glyph(qRgb(0, 0, 0)));
    (void)button.Face(SpinHalf::None);
    EXPECT_EQ(button.FaceDrawCount(), drawn + 2);

    button.setEnabled(false);
    EXPECT_EQ(button.Face(SpinHalf::Up).toImage(), button.Face(SpinHalf::None).toImage())
        << "a disabled button shows no half pressed";
    EXPECT_EQ(button.FaceDrawCount(), drawn + 3);
}

} // namespace
