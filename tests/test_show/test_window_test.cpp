#include "framework/cursor_state.h"
#include "framework/exceptions.h"
#include "framework/image_box.h"
#include "picture/jpeg_image.h"
#include "support/fake_dialogs.h"
#include "test_show/test_window.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariantAnimation>
#include <algorithm>
#include <gtest/gtest.h>

using namespace pelisto;
using pelisto::testing::ScopedFakeDialogs;

namespace {

// Pictures are listed by size ("800x1000"); converting one writes a JPEG of that size, or
// raises when the name says so, the old scratch file removed first as the converter does.
class FakeSource : public SlideshowSource {
public:
    explicit FakeSource(const QString& folder) : folder_(folder) {}
    QStringList pictures;
    double delay = 10;
    bool automatic = false;
    PlayOptions play;
    QStringList captions;
    QStringList conversions;

    QStringList Pictures() const override { return pictures; }
    double Delay() const override { return delay; }
    bool Automatic() const override { return automatic; }
    PlayOptions Play() const override { return play; }
    QString Caption(int index) const override { return captions.value(index); }
    QString ConvertToJpeg(const QString& name) override {
        conversions << name;
        const QString path = folder_ + "/temp.jpg";
        QFile::remove(path);
        if (name == "broken") {
            throw Exception("Unable to convert broken to JPEG");
        }
        const QStringList wh = name.split('x'); // "800x600" red, "800x600xblue" blue
        QImage image(wh[0].toInt(), wh[1].toInt(), QImage::Format_RGB32);
        image.fill(wh.size() > 2 ? QColor(wh[2]) : QColor(Qt::red));
        image.save(path, "JPG");
        return path;
    }

private:
    QString folder_;
};

class TestWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterJPEGGraphic(); }
    void SetUp() override { form.setGeometry(0, 0, 1024, 768); }
    void TearDown() override { form.close(); }
    void Start(const QStringList& pictures) {
        source.pictures = pictures;
        form.show();
    }
    QRect Shown() const { return form.Image1->geometry(); }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::KeypadModifier) {
        QTest::keyClick(&form, key, mods);
    }

    ScopedFakeDialogs dialogs;
    QTemporaryDir dir;
    FakeSource source{dir.path()};
    TForm2 form{&source};
};

TEST_F(TestWindowTest, FitsLargePicturesToTheWindowAndCentresThem) {
    Start({"1600x1200", "800x1000", "300x200"});
    EXPECT_EQ(Shown(), QRect(0, 0, 1024, 768));
    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_EQ(Shown(), QRect(205, 0, 614, 768));
    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_EQ(Shown(), QRect(362, 284, 300, 200)); // natural size, never enlarged
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_TRUE(form.Image1->Stretch());
}

// The laptop keys of the saved slideshow zoom too: the main keyboard's +, = (+ unshifted) and -.
TEST_F(TestWindowTest, ZoomKeysOfTheKeypadAndTheMainKeyboard) {
    Start({"925x500"});
    EXPECT_EQ(Shown().width(), 925);
    Key(Qt::Key_Plus);
    Key(Qt::Key_Plus, Qt::NoModifier);
    // 1125 wide on a 1024 window: the left edge is -50, the division truncating toward zero.
    EXPECT_EQ(Shown(), QRect(-50, 80, 1125, 608));
    Key(Qt::Key_Asterisk);
    EXPECT_EQ(Shown().width(), 925);
    Key(Qt::Key_Equal, Qt::NoModifier);
    EXPECT_EQ(Shown().width(), 1025);
    Key(Qt::Key_Minus, Qt::NoModifier);
    Key(Qt::Key_Minus);
    EXPECT_EQ(Shown().width(), 825);
    Key(Qt::Key_Asterisk, Qt::NoModifier); // only the keypad's * fits
    EXPECT_EQ(Shown().width(), 825);
}

TEST_F(TestWindowTest, ZoomingOutStopsAt100PixelsAndKeepsTheAspectRatio) {
    Start({"800x600"});
    form.Image1->setGeometry(0, 0, 150, 50); // the height is recomputed from the picture
    Key(Qt::Key_Minus);
    EXPECT_EQ(Shown().size(), QSize(150, 112)); // 112.5 goes to the even 112
    form.Image1->setGeometry(0, 0, 200, 50);
    Key(Qt::Key_Minus);
    EXPECT_EQ(Shown().size(), QSize(100, 75));
}

TEST_F(TestWindowTest, SpaceAndBackspaceWrapAround) {
    Start({"10x10", "20x20", "30x30"});
    EXPECT_EQ(form.CurrentIndex, 0);
    Key(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(form.CurrentIndex, 2);
    EXPECT_EQ(Shown().width(), 30);
    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_EQ(form.CurrentIndex, 0);
    EXPECT_EQ(Shown().width(), 10);
    EXPECT_EQ(source.conversions, (QStringList{"10x10", "30x30", "10x10"}));
}

// The saved slideshow's laptop keys and its click step here too.
TEST_F(TestWindowTest, ArrowsPageKeysAndAClickStepAsTheSlideshowDoes) {
    Start({"10x10", "20x20", "30x30"});
    const auto steps = {std::pair{Qt::Key_Left, 2}, {Qt::Key_Right, 0},  {Qt::Key_PageDown, 1},
                        {Qt::Key_PageUp, 0},        {Qt::Key_PageUp, 2}, {Qt::Key_Right, 0}};
    for (const auto& [key, index] : steps) {
        Key(key, Qt::NoModifier);
        EXPECT_EQ(form.CurrentIndex, index) << key;
    }
    QTest::mouseClick(form.Image1, Qt::LeftButton);
    EXPECT_EQ(form.CurrentIndex, 1);
    QTest::mouseClick(&form, Qt::RightButton);
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(2, 2)); // on the black
    EXPECT_EQ(form.CurrentIndex, 2);
}

TEST_F(TestWindowTest, OnePictureListIgnoresSteppingAndTheTimer) {
    source.automatic = true;
    Start({"400x300"});
    Key(Qt::Key_Space, Qt::NoModifier);
    Key(Qt::Key_Backspace, Qt::NoModifier);
    form.Timer1Timer();
    EXPECT_EQ(source.conversions.size(), 1);
    Key(Qt::Key_Plus);
    EXPECT_EQ(Shown().width(), 500);
}

TEST_F(TestWindowTest, TimerRunsOnlyWithTheFlagAndStopsOnEscape) {
    source.delay = 10;
    Start({"10x10", "20x20"});
    EXPECT_FALSE(form.Timer1->isActive());
    form.close();

    source.automatic = true;
    source.delay = 3;
    form.show();
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer1->interval(), 3000);
    EXPECT_EQ(form.CurrentIndex, 0);
    form.Timer1Timer();
    EXPECT_EQ(form.CurrentIndex, 1);
    Key(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST_F(TestWindowTest, AConversionErrorIsShownAndTheNextKeyStillWorks) {
    const int pointer = PointerDisplayCount();
    Start({"10x10", "broken", "30x30"});
    Key(Qt::Key_Space, Qt::NoModifier);
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].text, "Unable to convert broken to JPEG.");
    EXPECT_TRUE(form.isVisible());
    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_EQ(form.CurrentIndex, 2);
    EXPECT_EQ(Shown().width(), 30);
    EXPECT_EQ(PointerDisplayCount(), pointer);
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

// Once a picture is shown, the next one is converted in an idle moment; the step to it uses
// that conversion, and a conversion that fails ahead is reported only by the step to it.
TEST_F(TestWindowTest, TheNextPictureIsConvertedAheadAndItsErrorWaitsForTheStep) {
    const auto idle = [this](int conversions) {
        for (int i = 0; i < 200 && source.conversions.size() < conversions; ++i) {
            QTest::qWait(10);
        }
    };
    Start({"10x10", "20x20", "broken", "40x40"});
    idle(2);
    EXPECT_EQ(source.conversions, (QStringList{"10x10", "20x20"}));
    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_EQ(Shown().width(), 20);
    EXPECT_EQ(source.conversions.size(), 2);
    idle(3); // "broken" fails ahead, silently
    EXPECT_EQ(source.conversions.size(), 3);
    EXPECT_TRUE(dialogs->boxes.empty());
    Key(Qt::Key_Plus); // the shown picture's scratch file is still there to zoom
    EXPECT_EQ(Shown().width(), 120);
    Key(Qt::Key_Backspace, Qt::NoModifier); // not the one prepared: converted now
    EXPECT_EQ(Shown().width(), 10);
    Key(Qt::Key_Space, Qt::NoModifier);
    Key(Qt::Key_Space, Qt::NoModifier);
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].text, "Unable to convert broken to JPEG.");
    form.close();
    QTest::qWait(50); // nothing is prepared for a closed window
    EXPECT_EQ(source.conversions,
              (QStringList{"10x10", "20x20", "broken", "10x10", "20x20", "broken"}));
}

// Shuffle shows every picture once a round (the prepared picture is the one that comes next),
// Backspace goes back through what was shown; stopping at the end, neither the timer nor
// Backspace on the first wraps, and the next key on the last ends the show.
TEST_F(TestWindowTest, ShuffleRoundsAndTheStopAtTheEnd) {
    source.play.shuffle = true;
    Start({"10x10", "20x20", "30x30", "40x40", "50x50"});
    QList<int> shown{form.CurrentIndex};
    for (int step = 1; step < 15; ++step) {
        const qsizetype converted = source.conversions.size();
        for (int i = 0; i < 200 && source.conversions.size() == converted; ++i) {
            QTest::qWait(5);
        }
        EXPECT_EQ(source.conversions.size(), converted + 1) << "prepared ahead, step " << step;
        Key(Qt::Key_Space, Qt::NoModifier);
        EXPECT_EQ(source.conversions.size(), converted + 1) << "the prepared one shown " << step;
        EXPECT_EQ(Shown().width(), 10 * (form.CurrentIndex + 1));
        shown << form.CurrentIndex;
    }
    for (int round = 0; round < 3; ++round) {
        QList<int> sorted = shown.mid(5 * round, 5);
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, (QList<int>{0, 1, 2, 3, 4})) << round;
    }
    for (int back = 13; back >= 11; --back) {
        Key(Qt::Key_Backspace, Qt::NoModifier);
        EXPECT_EQ(form.CurrentIndex, shown[back]);
    }
    form.close();

    source.play = {false, true, 0};
    source.automatic = true;
    Start({"10x10", "20x20", "30x30"});
    Key(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(form.CurrentIndex, 0);
    form.Timer1Timer();
    form.Timer1Timer();
    EXPECT_EQ(form.CurrentIndex, 2);
    form.Timer1Timer();
    EXPECT_EQ(form.CurrentIndex, 2);
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_TRUE(form.isVisible());
    Key(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(form.CurrentIndex, 1);
    Key(Qt::Key_Space, Qt::NoModifier);
    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_FALSE(form.isVisible());
}

// The caption is a dark band across the foot of the screen with light text in it; a crossfade's
// middle frame is half of each picture; without either nothing is drawn over the picture.
TEST_F(TestWindowTest, TheCaptionBandAndTheCrossfadeOnScreen) {
    const auto pixel = [this](int x, int y) { return form.grab().toImage().pixelColor(x, y); };
    source.captions = {"Harbour at dawn", ""};
    source.play.crossfadeMs = 1000;
    Start({"1024x768", "1024x768xblue"});
    const QRect band = form.CaptionBand->geometry();
    ASSERT_TRUE(form.CaptionBand->isVisible());
    EXPECT_EQ(band.bottom(), 767);
    EXPECT_EQ(band.width(), 1024);
    const QImage shot = form.grab().toImage();
    int light = 0;
    for (int x = 0; x < 1024; ++x) {
        const QColor c = shot.pixelColor(x, band.center().y());
        light += c.green() > 200 ? 1 : 0;
        if (x < 100) {
            EXPECT_TRUE(c.red() > 40 && c.red() < 120 && c.green() < 30) << x; // red, darkened
        }
    }
    EXPECT_GT(light, 10) << "text in the band";
    EXPECT_GT(shot.pixelColor(5, band.top() - 3).red(), 240); // above it the picture as it is

    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_FALSE(form.CaptionBand->isVisible()); // the second has none
    ASSERT_EQ(form.Fade->state(), QAbstractAnimation::Running);
    form.Fade->setCurrentTime(500);
    const QColor middle = pixel(512, 300);
    EXPECT_NEAR(middle.red(), 127, 12);
    EXPECT_NEAR(middle.blue(), 127, 12);
    form.Fade->setCurrentTime(1000);
    EXPECT_GT(pixel(512, 300).blue(), 240);
    EXPECT_LT(pixel(512, 300).red(), 15);
    form.close();

    source.play.crossfadeMs = 0;
    source.captions.clear();
    Start({"1024x768", "1024x768xblue"});
    EXPECT_FALSE(form.CaptionBand->isVisible());
    EXPECT_GT(pixel(5, 765).red(), 240);
    Key(Qt::Key_Space, Qt::NoModifier);
    EXPECT_NE(form.Fade->state(), QAbstractAnimation::Running);
    EXPECT_GT(pixel(512, 300).blue(), 240);
}

TEST(TestWindowKeys, KeypadAndMainKeyboardHaveDifferentCodes) {
    QKeyEvent padPlus(QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier);
    QKeyEvent mainPlus(QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier);
    QKeyEvent padStar(QEvent::KeyPress, Qt::Key_Asterisk, Qt::KeypadModifier);
    QKeyEvent padMinus(QEvent::KeyPress, Qt::Key_Minus, Qt::KeypadModifier | Qt::ShiftModifier);
    EXPECT_EQ(TForm2::VirtualKey(&padPlus), VK_ADD);
    EXPECT_NE(TForm2::VirtualKey(&mainPlus), VK_ADD);
    EXPECT_EQ(TForm2::VirtualKey(&padStar), VK_MULTIPLY);
    EXPECT_EQ(TForm2::VirtualKey(&padMinus), VK_SUBTRACT);
}

} // namespace
