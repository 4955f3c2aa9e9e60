#include "control_harness.h"
#include "controls/url_label.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace pelisto;
using pelisto::testing::SystemRecorder;

namespace {

const QColor Blue(0, 0, 255);
const QColor Purple(128, 0, 128);

class UrlLabelTest : public ::testing::Test {
protected:
    void SetUp() override {
        label.setText("www.example.org/pelisto");
        label.adjustSize();
        label.show();
    }
    void Click() { QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(3, 3)); }

    SystemRecorder system;
    TUrlLabel label;
};

TEST_F(UrlLabelTest, LooksLikeALink) {
    EXPECT_EQ(label.FontColor(), Blue);
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(label.ActiveColor(), Purple);
}

TEST_F(UrlLabelTest, PurpleOnlyWhileTheLeftButtonIsHeld) {
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(label.FontColor(), Purple);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(label.FontColor(), Blue);

    // Released away from the label: colour back, nothing opened.
    system.opened.clear();
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(-50, 300));
    EXPECT_EQ(label.FontColor(), Blue);
    EXPECT_TRUE(system.opened.isEmpty());

    QTest::mousePress(&label, Qt::RightButton, {}, QPoint(3, 3));
    EXPECT_EQ(label.FontColor(), Blue);
    QTest::mouseRelease(&label, Qt::RightButton, {}, QPoint(3, 3));

    // A changed colour is what comes back.
    label.SetActiveColor(Qt::red);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(label.FontColor(), QColor(Qt::red));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(label.FontColor(), Blue);
}

TEST_F(UrlLabelTest, OpensTheUrlOrElseTheCaptionUntrimmed) {
    QStringList order;
    QObject::connect(&label, &TUrlLabel::Click,
                     [&] { order << "click:" + system.opened.join(","); });

    Click(); // no URL
    label.SetURL("  \t ");
    Click();
    label.SetURL(" https://example.org/a ");
    Click();
    EXPECT_EQ(system.opened, QStringList({"www.example.org/pelisto", "www.example.org/pelisto",
                                          " https://example.org/a "}));
    EXPECT_EQ(order.first(), "click:") << "the owner's click runs before opening";

    // Nothing to open: nothing is asked of the shell.
    label.SetURL("");
    label.setText("  ");
    system.opened.clear();
    Click();
    EXPECT_TRUE(system.opened.isEmpty());
}

TEST_F(UrlLabelTest, ContextMenuCopiesTheCaptionNotTheUrl) {
    label.SetURL("https://example.org/target");
    QMenu* menu = label.ContextMenu();
    ASSERT_EQ(menu->actions().size(), 1);
    QAction* copy = menu->actions().first();
    EXPECT_EQ(copy->text(), "Copy");

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(3, 3),
                            label.mapToGlobal(QPoint(3, 3)));
    QApplication::sendEvent(&label, &event);
    EXPECT_TRUE(menu->isVisible());
    copy->trigger();
    menu->close();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "www.example.org/pelisto");
    EXPECT_TRUE(system.opened.isEmpty());
}

} // namespace
