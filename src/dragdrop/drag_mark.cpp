#include "dragdrop/drag_mark.h"

#include <QEvent>
#include <QListWidget>
#include <QPainter>

namespace pelisto {

namespace {
const char* const OverlayName = "pelisto_dragMark";
}

DragMarkOverlay::DragMarkOverlay(QListWidget* list)
    : QWidget(list->viewport()), list_(list), viewport_(list->viewport()) {
    setObjectName(QLatin1String(OverlayName));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(list->viewport()->rect());
    list->viewport()->installEventFilter(this);
    show();
    raise();
}

DragMarkOverlay* DragMarkOverlay::Find(const QListWidget* list) {
    if (!list) {
        return nullptr;
    }
    return list->viewport()->findChild<DragMarkOverlay*>(QLatin1String(OverlayName),
                                                         Qt::FindDirectChildrenOnly);
}

DragMarkOverlay* DragMarkOverlay::Of(QListWidget* list) {
    if (DragMarkOverlay* overlay = Find(list)) {
        return overlay;
    }
    return list ? new DragMarkOverlay(list) : nullptr;
}

void DragMarkOverlay::Toggle(int row) {
    if (row < 0 || row >= list_->count()) {
        return; // no entry there, nothing to draw
    }
    if (rows_.contains(row)) {
        rows_.removeOne(row);
    } else {
        rows_ << row;
    }
    raise();
    update();
}

bool DragMarkOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport_ && event->type() == QEvent::Resize) {
        setGeometry(static_cast<QWidget*>(viewport_)->rect());
    }
    return false;
}

void DragMarkOverlay::paintEvent(QPaintEvent*) {
    if (rows_.isEmpty()) {
        return;
    }
    QPainter painter(this);
    QPen pen(QColor(255, 255, 0));
    pen.setStyle(Qt::DotLine);
    pen.setWidth(1);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    for (const int row : rows_) {
        if (row < list_->count()) {
            const QRect rect = list_->visualItemRect(list_->item(row));
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        }
    }
}

} // namespace pelisto
