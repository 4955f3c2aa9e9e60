#pragma once

#include <QEvent>
#include <QPoint>
#include <QString>
#include <cstdint>

class QListWidget;
class QObject;

namespace pelisto {

// Drag-list notifications, sent to the list's parent as the registered drag-list message.
inline constexpr std::uint32_t DL_BEGINDRAG = 1157;
inline constexpr std::uint32_t DL_DRAGGING = 1158;
inline constexpr std::uint32_t DL_DROPPED = 1159;
inline constexpr std::uint32_t DL_CANCELDRAG = 1160;
inline constexpr const char* DRAGLISTMSGSTRING = "commctrl_DragListMsg";

struct DRAGLISTINFO {
    std::uint32_t uNotification = 0;
    QListWidget* hWnd = nullptr;
    QPoint ptCursor; // screen coordinates
};

// A window message carried as a Qt event: its registered number, its parameter and the answer
// the handler gives.
class WindowMessage : public QEvent {
public:
    WindowMessage(int message, const void* lParam)
        : QEvent(static_cast<QEvent::Type>(message)), lParam_(lParam) {}
    int Message() const { return static_cast<int>(type()); }
    const void* LParam() const { return lParam_; }
    std::intptr_t result = 0;

private:
    const void* lParam_;
};

// The process-wide number for a message name; the same name always gets the same number.
int RegisterWindowMessage(const QString& name);
// Delivers a message (event filters first, as hooks see it) and returns the handler's answer;
// 0 when nobody answered or there is no receiver.
std::intptr_t SendMessage(QObject* receiver, int message, const void* lParam = nullptr);

// Makes the list a drag list: pressing the left button on an entry and moving past the drag
// distance sends DL_BEGINDRAG (with the press point) to its parent, and while the parent
// answered non-zero, moves send DL_DRAGGING, releasing sends
// DL_DROPPED, and Escape, the right button or losing the focus send DL_CANCELDRAG. While a
// drag lasts a timer repeats DL_DRAGGING at the last cursor point, so the list keeps
// scrolling while the cursor is held above or below it.
bool MakeDragList(QListWidget* list);
bool IsDragList(const QListWidget* list);
bool IsDragListDragging(const QListWidget* list);

// The entry at a screen point: its index when the point is on an entry, the entry count when
// it lies in the list's client area below the last entry, -1 outside the client area. With
// autoScroll, a point above or below the list (within its width) scrolls it by one entry, at
// most once per DragListScrollPace milliseconds of TickCount().
int LBItemFromPt(QListWidget* list, QPoint screenPoint, bool autoScroll);

inline constexpr std::uint32_t DragListScrollPace = 100;
inline constexpr int DragListTimerInterval = 50;

// What the drag timer does at each tick (tests drive it directly).
void DragListTimerTick(QListWidget* list);

} // namespace pelisto
