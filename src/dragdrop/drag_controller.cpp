#include "dragdrop/drag_controller.h"

#include "dragdrop/drag_list.h"
#include "dragdrop/drag_mark.h"
#include "framework/dialogs.h"

#include <QEvent>
#include <QStyle>

namespace pelisto {

namespace {

int MyDragMessage() {
    return RegisterWindowMessage(QLatin1String(MyDragMessageName));
}

bool AllowsMultipleSelection(const QListWidget* list) {
    switch (list->selectionMode()) {
    case QAbstractItemView::MultiSelection:
    case QAbstractItemView::ExtendedSelection:
    case QAbstractItemView::ContiguousSelection:
        return true;
    default:
        return false;
    }
}

// Moves and selects without the list's own change signals: the owner sees a move through
// OnItemMove, not as a click on the list.
class QuietList {
public:
    explicit QuietList(QListWidget* list) : list_(list), was_(list->blockSignals(true)) {}
    ~QuietList() { list_->blockSignals(was_); }

private:
    QListWidget* list_;
    bool was_;
};

// The width of the check box at the start of a checkable entry.
int CheckZoneWidth(const QListWidget* list) {
    const QStyle* style = list->style();
    return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list) +
           2 * style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list);
}

} // namespace

TrDragController::TrDragController(QObject* owner) : QObject(owner) {
    MyDragMessage();
}

TrDragController::~TrDragController() {
    SetListBox(nullptr);
}

void TrDragController::SetListBox(QListWidget* listBox) {
    if (listBox == listBox_) {
        return;
    }
    if (listBox && AllowsMultipleSelection(listBox)) {
        MessageBox(QStringLiteral("Sorry, can't operate with ListBox where MultiSelect=True"),
                   QStringLiteral("TrDragController Error"), MsgBoxIcon::None, mbOK);
        return;
    }
    if (listBox_) {
        UnhookParent();
        listBox_->removeEventFilter(this);
        disconnect(destroyedConnection_);
    }
    listBox_ = listBox;
    listObject_ = listBox;
    if (listBox_) {
        listBox_->installEventFilter(this);
        destroyedConnection_ =
            connect(listBox_, &QObject::destroyed, this, [this] { ListDestroyed(); });
        // A list bound while already showing gets its drag list now, not at its next showing.
        if (listBox_->isVisible()) {
            HookParent();
        }
    }
}

void TrDragController::ListDestroyed() {
    // The list is half gone: only forget it and give its parent back.
    disconnect(destroyedConnection_);
    UnhookParent();
    listBox_ = nullptr;
    listObject_ = nullptr;
}

void TrDragController::HookParent() {
    if (!listBox_ || hookedParent_) {
        return;
    }
    MakeDragList(listBox_);
    QWidget* parent = listBox_->parentWidget();
    if (!parent) {
        return;
    }
    if (SendMessage(parent, MyDragMessage()) == MyDragMessage()) {
        return; // another controller serves this parent's drag lists
    }
    parent->installEventFilter(this);
    hookedParent_ = parent;
    dragListMessage_ = RegisterWindowMessage(QLatin1String(DRAGLISTMSGSTRING));
}

void TrDragController::UnhookParent() {
    // Only the parent this controller hooked is given back.
    if (hookedParent_) {
        hookedParent_->removeEventFilter(this);
    }
    hookedParent_ = nullptr;
}

bool TrDragController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listObject_ &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        if (static_cast<QWidget*>(watched)->isVisible()) {
            HookParent();
        } else {
            UnhookParent();
        }
        return false;
    }
    if (hookedParent_ && watched == hookedParent_) {
        const int type = static_cast<int>(event->type());
        if (type == MyDragMessage()) {
            static_cast<WindowMessage*>(event)->result = MyDragMessage();
            return true;
        }
        if (type == dragListMessage_) {
            auto* message = static_cast<WindowMessage*>(event);
            message->result = DragNotification(message->LParam());
            return true;
        }
    }
    return false;
}

void TrDragController::DrawMark(QListWidget* list, int row) {
    if (row < 0 || row >= list->count()) {
        return;
    }
    DragMarkOverlay::Of(list)->Toggle(row);
}

void TrDragController::EndMarking(QListWidget* list) {
    if (targetMark_ >= 0 && targetMark_ < list->count() && targetMark_ != list->currentRow()) {
        DrawMark(list, targetMark_);
    }
    list->viewport()->unsetCursor();
    targetMark_ = -1;
}

std::intptr_t TrDragController::DragNotification(const void* lParam) {
    const auto* info = static_cast<const DRAGLISTINFO*>(lParam);
    if (!info || !info->hWnd) {
        return 0;
    }
    QListWidget* list = info->hWnd;
    const QPoint p = info->ptCursor;

    switch (info->uNotification) {
    case DL_BEGINDRAG: {
        targetMark_ = -1;
        const QPoint q = list->viewport()->mapFromGlobal(p);
        QListWidgetItem* item = list->itemAt(q);
        if (item && (item->flags() & Qt::ItemIsUserCheckable)) {
            const QRect rect = list->visualItemRect(item);
            const int zone = CheckZoneWidth(list);
            const bool inZone = list->layoutDirection() == Qt::RightToLeft
                                    ? q.x() > rect.right() - zone
                                    : q.x() < rect.left() + zone;
            if (inZone) {
                // setCheckState raises the list's itemChanged: its check-click notification.
                item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked
                                                                      : Qt::Checked);
                return 0;
            }
        }
        list->viewport()->setCursor(Qt::DragMoveCursor);
        return 1;
    }
    case DL_DRAGGING: {
        const QPoint q = list->viewport()->mapFromGlobal(p);
        int quick = -1;
        if (list->viewport()->rect().contains(q)) {
            const QModelIndex index = list->indexAt(q);
            quick = index.isValid() ? index.row() : list->count();
        }
        const int index = quick == targetMark_ ? LBItemFromPt(list, p, true) : quick;
        if (index == targetMark_) {
            return 0;
        }
        const int selected = list->currentRow();
        if (targetMark_ != -1 && targetMark_ != selected) {
            DrawMark(list, targetMark_);
        }
        targetMark_ = LBItemFromPt(list, p, true);
        if (targetMark_ != -1 && targetMark_ != selected) {
            DrawMark(list, targetMark_);
        }
        return 0;
    }
    case DL_DROPPED: {
        if (targetMark_ == -1) {
            list->viewport()->unsetCursor();
            return 0;
        }
        EndMarking(list);
        int to = LBItemFromPt(list, p, false);
        if (to == list->count()) {
            to = list->count() - 1;
        }
        MoveItem(list, list->currentRow(), to);
        if (to >= 0 && to < list->count()) {
            const QuietList quiet(list);
            list->setCurrentRow(to);
        }
        return 0;
    }
    case DL_CANCELDRAG:
        EndMarking(list);
        return 0;
    default:
        return 0;
    }
}

void TrDragController::MoveItem(QListWidget* listBox, int fromIndex, int toIndex) {
    if (!listBox) {
        return;
    }
    const int count = listBox->count();
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex >= count) {
        return;
    }
    if (fromIndex != toIndex) {
        const QuietList quiet(listBox);
        const bool updates = listBox->updatesEnabled();
        listBox->setUpdatesEnabled(false);
        QListWidgetItem* item = listBox->takeItem(fromIndex);
        listBox->insertItem(toIndex, item);
        listBox->setUpdatesEnabled(updates);
    }
    emit OnItemMove(listBox, fromIndex, toIndex);
}

} // namespace pelisto
