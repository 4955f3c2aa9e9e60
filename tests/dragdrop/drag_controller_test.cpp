#include "dragdrop/drag_controller.h"
#include "dragdrop/drag_list.h"
#include "dragdrop/drag_mark.h"
#include "framework/system.h"
#include "support/fake_dialogs.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using namespace pelisto;
using pelisto::testing::ScopedFakeDialogs;

namespace {

QStringList Items(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->item(i)->text();
    }
    return out;
}

// A window with a list of entries and a controller bound to it, shown.
struct DragWindow {
    QWidget window;
    QListWidget* list = new QListWidget(&window);
    TrDragController* controller = new TrDragController(&window);

    explicit DragWindow(const QStringList& entries = {"A", "B", "C", "D"}, int height = 200) {
        list->setObjectName("ListBox1");
        list->setGeometry(8, 8, 200, height);
        list->addItems(entries);
        controller->SetListBox(list);
        window.resize(300, height + 60);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QWidget* Viewport() const { return list->viewport(); }
    QPoint Center(int row) const { return list->visualItemRect(list->item(row)).center(); }

    void Press(int row) { QTest::mousePress(Viewport(), Qt::LeftButton, {}, Center(row)); }
    void MoveTo(QPoint local) {
        QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(Viewport()->mapToGlobal(local)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Viewport(), &move);
    }
    void MoveOver(int row) { MoveTo(Center(row)); }
    // Sideways within the pressed entry, just past the drag distance: the drag begins.
    void Lift(int row) { MoveTo(Center(row) + QPoint(QApplication::startDragDistance() + 1, 0)); }
    void Release(QPoint local) { QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, local); }
    void DragRow(int from, int to) {
        Press(from);
        Lift(from);
        MoveOver(to);
        Release(Center(to));
    }
    QList<int> Marks() const {
        const DragMarkOverlay* overlay = DragMarkOverlay::Find(list);
        return overlay ? overlay->MarkedRows() : QList<int>{};
    }
};

TEST(DragController, DraggingMovesTheEntryAndKeepsItSelected) {
    DragWindow w;
    QSignalSpy moves(w.controller, &TrDragController::OnItemMove);
    w.list->setCurrentRow(1);
    w.DragRow(1, 3);
    EXPECT_EQ(Items(w.list), (QStringList{"A", "C", "D", "B"}));
    EXPECT_EQ(w.list->currentRow(), 3);
    EXPECT_TRUE(w.list->item(3)->isSelected());
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(moves[0][0].value<QObject*>(), w.list);
    EXPECT_EQ(moves[0][1].toInt(), 1);
    EXPECT_EQ(moves[0][2].toInt(), 3);

    DragWindow up;
    up.DragRow(3, 1); // the press selects D
    EXPECT_EQ(Items(up.list), (QStringList{"A", "D", "B", "C"}));
    EXPECT_EQ(up.list->currentRow(), 1);
}

TEST(DragController, DroppingOnItselfOrNowhereChangesNothing) {
    DragWindow w;
    QSignalSpy moves(w.controller, &TrDragController::OnItemMove);
    w.DragRow(2, 2);
    EXPECT_EQ(Items(w.list), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(w.list->currentRow(), 2);
    ASSERT_EQ(moves.count(), 1); // raised for a move onto itself too
    EXPECT_EQ(moves[0][1].toInt(), moves[0][2].toInt());

    // Mark D, then leave the list sideways and release there.
    w.Press(0);
    w.MoveOver(3);
    EXPECT_EQ(w.controller->TargetMark(), 3);
    const QPoint outside(w.Viewport()->width() + 40, w.Center(3).y());
    w.MoveTo(outside);
    EXPECT_EQ(w.controller->TargetMark(), -1);
    EXPECT_TRUE(w.Marks().isEmpty());
    w.Release(outside);
    EXPECT_EQ(Items(w.list), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(w.list->currentRow(), 0);
    EXPECT_FALSE(w.Viewport()->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(moves.count(), 1);

    // A click without a move is no drag.
    w.Press(1);
    w.Release(w.Center(1));
    EXPECT_EQ(Items(w.list), (QStringList{"A", "B", "C", "D"}));
}

TEST(DragController, TheMarkFollowsTheCursorButNeverTheDraggedEntry) {
    DragWindow w;
    w.Press(1);
    EXPECT_FALSE(IsDragListDragging(w.list));
    w.Lift(1);
    EXPECT_TRUE(IsDragListDragging(w.list));
    EXPECT_EQ(w.Viewport()->cursor().shape(), Qt::DragMoveCursor);
    w.MoveOver(2);
    EXPECT_EQ(w.Marks(), QList<int>{2});
    w.MoveOver(3);
    EXPECT_EQ(w.Marks(), QList<int>{3}); // the old one is erased
    w.MoveOver(1);
    EXPECT_EQ(w.controller->TargetMark(), 1);
    EXPECT_TRUE(w.Marks().isEmpty()); // over the dragged entry: no mark
    w.MoveOver(0);
    EXPECT_EQ(w.Marks(), QList<int>{0});
    w.Release(w.Center(0));
    EXPECT_TRUE(w.Marks().isEmpty());
    EXPECT_EQ(Items(w.list), (QStringList{"B", "A", "C", "D"}));
}

TEST(DragController, EscapeCancelsTheDrag) {
    DragWindow w;
    QSignalSpy moves(w.controller, &TrDragController::OnItemMove);
    w.Press(0);
    w.MoveOver(2);
    ASSERT_EQ(w.Marks(), QList<int>{2});
    QTest::keyClick(w.list, Qt::Key_Escape);
    EXPECT_FALSE(IsDragListDragging(w.list));
    EXPECT_TRUE(w.Marks().isEmpty());
    EXPECT_EQ(w.controller->TargetMark(), -1);
    EXPECT_FALSE(w.Viewport()->testAttribute(Qt::WA_SetCursor));
    w.Release(w.Center(2)); // the button comes up after the cancel: no drop
    EXPECT_EQ(Items(w.list), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(moves.count(), 0);
}

TEST(DragController, AMoveIsNotReportedAsASelectionChange) {
    DragWindow w;
    w.list->setCurrentRow(3);
    QSignalSpy rows(w.list, &QListWidget::currentRowChanged);
    w.Press(1); // the press is a click: it selects
    EXPECT_EQ(rows.count(), 1);
    w.MoveOver(3);
    w.Release(w.Center(3));
    EXPECT_EQ(rows.count(), 1);
    EXPECT_EQ(w.list->currentItem()->text(), "B");
}

TEST(DragController, HoldingTheCursorBelowTheListScrollsIt) {
    QStringList entries;
    for (int i = 0; i < 60; ++i) {
        entries << QString("P%1").arg(i, 2, 10, QChar('0'));
    }
    DragWindow w(entries, 120);
    std::uint32_t now = 1000;
    SetTickSource([&] { return now; });
    ASSERT_EQ(w.list->verticalScrollBar()->value(), 0);

    w.Press(0);
    const QPoint below(w.Center(0).x(), w.Viewport()->height() + 5);
    w.MoveTo(below);
    const int afterMove = w.list->verticalScrollBar()->value();
    EXPECT_EQ(afterMove, 1);
    DragListTimerTick(w.list); // same instant: the pace holds it back
    EXPECT_EQ(w.list->verticalScrollBar()->value(), afterMove);
    for (int i = 0; i < 10; ++i) {
        now += DragListScrollPace;
        DragListTimerTick(w.list);
    }
    EXPECT_EQ(w.list->verticalScrollBar()->value(), afterMove + 10);

    // Back over a now visible entry: the dragged entry takes its place.
    const int top = w.list->indexAt(QPoint(5, 2)).row();
    ASSERT_GT(top, 5);
    const int target = top + 1;
    const QString onto = w.list->item(target)->text();
    w.MoveOver(target);
    w.Release(w.Center(target));
    SetTickSource({});
    EXPECT_EQ(w.list->item(target)->text(), "P00");
    EXPECT_EQ(w.list->item(target - 1)->text(), onto);
    EXPECT_EQ(w.list->currentRow(), target);

    // Above the list scrolls back up.
    DragWindow v(entries, 120);
    v.list->verticalScrollBar()->setValue(5);
    v.Press(2);
    v.MoveTo(QPoint(v.Center(2).x(), -5));
    EXPECT_EQ(v.list->verticalScrollBar()->value(), 4);
    QTest::keyClick(v.list, Qt::Key_Escape);
}

TEST(DragController, ReleasingBelowTheLastEntryMovesToTheEnd) {
    DragWindow w;
    w.Press(0);
    const QPoint empty(w.Center(3).x(), w.Viewport()->height() - 5);
    w.MoveTo(empty);
    EXPECT_EQ(w.controller->TargetMark(), 4); // the entry count: no entry to mark
    EXPECT_TRUE(w.Marks().isEmpty());
    w.Release(empty);
    EXPECT_EQ(Items(w.list), (QStringList{"B", "C", "D", "A"}));
    EXPECT_EQ(w.list->currentRow(), 3);
}

TEST(DragController, MultipleSelectionListsAreRefused) {
    ScopedFakeDialogs fake;
    DragWindow w;
    QListWidget multi(&w.window);
    multi.setSelectionMode(QAbstractItemView::ExtendedSelection);
    w.controller->SetListBox(&multi);
    ASSERT_EQ(fake->boxes.size(), 1u);
    EXPECT_EQ(fake->boxes[0].title, "TrDragController Error");
    EXPECT_EQ(fake->boxes[0].text, "Sorry, can't operate with ListBox where MultiSelect=True");
    ASSERT_EQ(fake->boxes[0].buttons.size(), 1u);
    EXPECT_EQ(fake->boxes[0].buttons[0].result, 1);
    EXPECT_EQ(w.controller->ListBox(), w.list);
    w.DragRow(0, 1); // still working on the old list
    EXPECT_EQ(Items(w.list), (QStringList{"B", "A", "C", "D"}));
}

TEST(DragController, HooksComeAndGoWithTheListAndTheController) {
    DragWindow w;
    // Hidden: no drag begins.
    w.list->hide();
    w.list->show();
    w.list->hide();
    QTest::mousePress(w.Viewport(), Qt::LeftButton, {}, w.Center(0));
    EXPECT_FALSE(IsDragListDragging(w.list));
    QTest::mouseRelease(w.Viewport(), Qt::LeftButton, {}, w.Center(0));
    w.list->show();
    w.DragRow(0, 2);
    EXPECT_EQ(Items(w.list), (QStringList{"B", "C", "A", "D"}));

    // A second controller on a list of the same parent leaves the parent to the first, which
    // serves both lists.
    auto* second = new QListWidget(&w.window);
    second->setGeometry(220, 8, 70, 200);
    second->addItems({"x", "y"});
    second->show();
    TrDragController other;
    other.SetListBox(second);
    QSignalSpy firstMoves(w.controller, &TrDragController::OnItemMove);
    const QPoint x0 = second->visualItemRect(second->item(0)).center();
    QTest::mousePress(second->viewport(), Qt::LeftButton, {}, x0);
    QTest::mouseMove(second->viewport(), x0 + QPoint(0, QApplication::startDragDistance() + 1));
    EXPECT_TRUE(IsDragListDragging(second));
    QTest::mouseRelease(second->viewport(), Qt::LeftButton, {},
                        second->visualItemRect(second->item(0)).center());
    other.SetListBox(nullptr); // must not take the parent away from the first controller
    w.DragRow(0, 1);
    EXPECT_EQ(Items(w.list), (QStringList{"C", "B", "A", "D"}));

    // Unbinding, and the list going away, leave nothing behind.
    w.controller->SetListBox(nullptr);
    QTest::mousePress(w.Viewport(), Qt::LeftButton, {}, w.Center(0));
    EXPECT_FALSE(IsDragListDragging(w.list));
    QTest::mouseRelease(w.Viewport(), Qt::LeftButton, {}, w.Center(0));
    w.controller->SetListBox(w.list);
    delete w.list;
    EXPECT_EQ(w.controller->ListBox(), nullptr);
}

TEST(DragController, MoveItemChecksItsIndices) {
    DragWindow w;
    QSignalSpy moves(w.controller, &TrDragController::OnItemMove);
    w.list->item(0)->setData(Qt::UserRole, 42);
    w.controller->MoveItem(w.list, 0, 4);
    w.controller->MoveItem(w.list, -1, 2);
    EXPECT_EQ(moves.count(), 0);
    w.controller->MoveItem(w.list, 0, 2);
    EXPECT_EQ(Items(w.list), (QStringList{"B", "C", "A", "D"}));
    EXPECT_EQ(w.list->item(2)->data(Qt::UserRole).toInt(), 42); // what is attached moves along
    EXPECT_EQ(moves.count(), 1);
}

TEST(DragController, AClickThatWaversIsNoDrag) {
    // The pointer as a hand moves it: press near the bottom edge of B, waver a pixel or two
    // across into C, let go. That is a click on B, not a move.
    DragWindow w;
    QSignalSpy moves(w.controller, &TrDragController::OnItemMove);
    const QRect b = w.list->visualItemRect(w.list->item(1));
    const QPoint nearEdge(b.center().x(), b.bottom());
    QTest::mousePress(w.Viewport(), Qt::LeftButton, {}, nearEdge);
    QTest::mouseMove(w.Viewport(), nearEdge + QPoint(0, 1));
    QTest::mouseMove(w.Viewport(), nearEdge + QPoint(1, 2));
    EXPECT_FALSE(IsDragListDragging(w.list));
    EXPECT_TRUE(w.Marks().isEmpty());
    QTest::mouseRelease(w.Viewport(), Qt::LeftButton, {}, nearEdge + QPoint(1, 2));
    EXPECT_EQ(Items(w.list), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(w.list->currentRow(), 1);
    EXPECT_EQ(moves.count(), 0);

    // The same hand, moving on: a real drag with the pointer, B onto D.
    QTest::mousePress(w.Viewport(), Qt::LeftButton, {}, nearEdge);
    QTest::mouseMove(w.Viewport(), nearEdge + QPoint(0, 2));
    QTest::mouseMove(w.Viewport(), w.Center(1) + QPoint(QApplication::startDragDistance(), 0));
    EXPECT_TRUE(IsDragListDragging(w.list));
    EXPECT_TRUE(w.Marks().isEmpty());
    QTest::mouseMove(w.Viewport(), w.Center(2));
    EXPECT_EQ(w.Marks(), QList<int>{2});
    QTest::mouseMove(w.Viewport(), w.Center(3));
    EXPECT_EQ(w.Marks(), QList<int>{3});
    QTest::mouseRelease(w.Viewport(), Qt::LeftButton, {}, w.Center(3));
    EXPECT_EQ(Items(w.list), (QStringList{"A", "C", "D", "B"}));
    EXPECT_EQ(w.list->currentRow(), 3);
}

TEST(DragController, ACheckBoxClickTogglesOnceAndADragFromItDoesNotBegin) {
    DragWindow w;
    QListWidgetItem* item = w.list->item(1);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    QSignalSpy changed(w.list, &QListWidget::itemChanged);
    const QRect rect = w.list->visualItemRect(item);
    const QPoint box(rect.left() + 4, rect.center().y());
    QTest::mouseClick(w.Viewport(), Qt::LeftButton, {}, box);
    EXPECT_EQ(item->checkState(), Qt::Checked);
    EXPECT_EQ(changed.count(), 1);

    // Pulled out of the box: the mark toggles, no drag begins.
    QTest::mousePress(w.Viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 1, box.y()));
    QTest::mouseMove(w.Viewport(), w.Center(3));
    EXPECT_FALSE(IsDragListDragging(w.list));
    EXPECT_EQ(item->checkState(), Qt::Unchecked);
    QTest::mouseRelease(w.Viewport(), Qt::LeftButton, {}, w.Center(3));
    EXPECT_EQ(Items(w.list), (QStringList{"A", "B", "C", "D"}));

    // Elsewhere on the entry the drag begins, and the check mark travels with it.
    item->setCheckState(Qt::Checked);
    w.DragRow(1, 3);
    EXPECT_EQ(w.list->item(3)->text(), "B");
    EXPECT_EQ(w.list->item(3)->checkState(), Qt::Checked);
}

} // namespace
