#include "dragdrop/drag_list.h"

#include "framework/system.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

namespace pelisto {

int RegisterWindowMessage(const QString& name) {
    static QHash<QString, int> numbers;
    auto it = numbers.find(name);
    if (it == numbers.end()) {
        it = numbers.insert(name, QEvent::registerEventType());
    }
    return it.value();
}

std::intptr_t SendMessage(QObject* receiver, int message, const void* lParam) {
    if (!receiver) {
        return 0;
    }
    WindowMessage event(message, lParam);
    QCoreApplication::sendEvent(receiver, &event);
    return event.result;
}

namespace {

const char* const LastScrollProperty = "pelisto_dragListLastScroll";

// Follows the mouse and keys of one list and sends the drag-list notifications.
class DragListEngine final : public QObject {
public:
    explicit DragListEngine(QListWidget* list)
        : QObject(list), list_(list), listObject_(list), viewport_(list->viewport()) {
        setObjectName(QStringLiteral("pelisto_dragList"));
        timer_.setInterval(DragListTimerInterval);
        connect(&timer_, &QTimer::timeout, this, &DragListEngine::Tick);
        list->viewport()->installEventFilter(this);
        list->installEventFilter(this);
    }

    bool Dragging() const { return dragging_; }

    void Tick() {
        if (dragging_) {
            Notify(DL_DRAGGING, lastPoint_);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (forwarding_) {
            return false;
        }
        // Compared as plain objects: events still arrive while the list is being destroyed.
        if (watched == viewport_) {
            return ViewportEvent(event);
        }
        if (watched == listObject_) {
            if (dragging_ && event->type() == QEvent::KeyPress &&
                static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                Cancel();
                return true;
            }
            if (event->type() == QEvent::FocusOut) {
                pending_ = false;
                if (dragging_) {
                    Cancel();
                }
            }
        }
        return false;
    }

private:
    bool ViewportEvent(QEvent* event) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (dragging_) {
                if (e->button() == Qt::RightButton) {
                    Cancel();
                }
                return true;
            }
            pending_ = false;
            if (e->button() != Qt::LeftButton ||
                !list_->indexAt(e->position().toPoint()).isValid()) {
                return false;
            }
            // The list selects the entry first: the dragged entry is the selected one. The drag
            // begins only once the pointer has moved past the drag distance, so a click that
            // wavers across an entry's edge stays a click and reorders nothing.
            Forward(e);
            pressPoint_ = e->position();
            pressScreenPoint_ = ScreenPoint(e);
            pending_ = true;
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (pending_) {
                if ((e->position() - pressPoint_).manhattanLength() <
                    QApplication::startDragDistance()) {
                    return true; // still a click: the list must not follow the pointer
                }
                pending_ = false;
                lastPoint_ = pressScreenPoint_;
                if (Notify(DL_BEGINDRAG, pressScreenPoint_) == 0) {
                    return false;
                }
                dragging_ = true;
                timer_.start();
            }
            if (!dragging_) {
                return false;
            }
            lastPoint_ = ScreenPoint(e);
            Notify(DL_DRAGGING, lastPoint_);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            pending_ = false;
            if (!dragging_) {
                return false;
            }
            if (e->button() != Qt::LeftButton) {
                return true;
            }
            lastPoint_ = ScreenPoint(e);
            Finish();
            Notify(DL_DROPPED, lastPoint_);
            return true;
        }
        case QEvent::MouseButtonDblClick:
            return dragging_;
        default:
            return false;
        }
    }

    QPoint ScreenPoint(const QMouseEvent* e) const {
        return list_->viewport()->mapToGlobal(e->position().toPoint());
    }

    std::intptr_t Notify(std::uint32_t code, QPoint point) {
        DRAGLISTINFO info;
        info.uNotification = code;
        info.hWnd = list_;
        info.ptCursor = point;
        return SendMessage(list_->parentWidget(), RegisterWindowMessage(DRAGLISTMSGSTRING), &info);
    }

    void Forward(QEvent* event) {
        forwarding_ = true;
        QCoreApplication::sendEvent(list_->viewport(), event);
        forwarding_ = false;
    }

    // Ends the drag for us and for the list, which saw the press but none of the moves: a
    // release where the press was puts the list back in its resting state.
    void Finish() {
        dragging_ = false;
        timer_.stop();
        QMouseEvent release(QEvent::MouseButtonRelease, pressPoint_,
                            list_->viewport()->mapToGlobal(pressPoint_), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        Forward(&release);
    }

    void Cancel() {
        Finish();
        Notify(DL_CANCELDRAG, lastPoint_);
    }

    QListWidget* list_;
    QObject* listObject_;
    QObject* viewport_;
    QTimer timer_;
    bool dragging_ = false;
    bool forwarding_ = false;
    bool pending_ = false; // pressed on an entry, not yet moved past the drag distance
    QPointF pressPoint_;
    QPoint pressScreenPoint_;
    QPoint lastPoint_;
};

DragListEngine* EngineOf(const QListWidget* list) {
    if (!list) {
        return nullptr;
    }
    return list->findChild<DragListEngine*>(QStringLiteral("pelisto_dragList"),
                                            Qt::FindDirectChildrenOnly);
}

} // namespace

bool MakeDragList(QListWidget* list) {
    if (!list) {
        return false;
    }
    if (!EngineOf(list)) {
        new DragListEngine(list);
    }
    return true;
}

bool IsDragList(const QListWidget* list) {
    return EngineOf(list) != nullptr;
}

bool IsDragListDragging(const QListWidget* list) {
    const DragListEngine* engine = EngineOf(list);
    return engine && engine->Dragging();
}

int LBItemFromPt(QListWidget* list, QPoint screenPoint, bool autoScroll) {
    if (!list) {
        return -1;
    }
    QWidget* viewport = list->viewport();
    const QPoint q = viewport->mapFromGlobal(screenPoint);
    if (viewport->rect().contains(q)) {
        const QModelIndex index = list->indexAt(q);
        return index.isValid() ? index.row() : list->count();
    }
    if (autoScroll && q.x() >= 0 && q.x() < viewport->width()) {
        const std::uint32_t now = TickCount();
        const QVariant last = list->property(LastScrollProperty);
        if (!last.isValid() || now - last.toUInt() >= DragListScrollPace) {
            list->setProperty(LastScrollProperty, now);
            list->verticalScrollBar()->triggerAction(q.y() < 0
                                                         ? QAbstractSlider::SliderSingleStepSub
                                                         : QAbstractSlider::SliderSingleStepAdd);
        }
    }
    return -1;
}

void DragListTimerTick(QListWidget* list) {
    if (DragListEngine* engine = EngineOf(list)) {
        engine->Tick();
    }
}

} // namespace pelisto
