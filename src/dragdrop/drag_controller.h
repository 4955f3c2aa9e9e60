#pragma once

#include <QListWidget>
#include <QObject>
#include <QPointer>

namespace pelisto {

// Reorders a single-selection list by dragging its entries. Bound to a list, it makes the list
// a drag list once the list is showing and watches the list's parent for the drag-list
// notifications: it marks the entry under the cursor and moves the dragged entry there on
// release, keeping it selected. A parent already watched by another controller is left to it.
class TrDragController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QListWidget* ListBox READ ListBox WRITE SetListBox)

public:
    explicit TrDragController(QObject* owner = nullptr);
    ~TrDragController() override;

    QListWidget* ListBox() const { return listBox_; }
    // Binds the list (nullptr unbinds). A list that allows multiple selection is refused with
    // a message box, and the previous list stays bound.
    void SetListBox(QListWidget* listBox);

    // The entry marked as the drop place; -1 for none.
    int TargetMark() const { return targetMark_; }

    // Moves the entry at from to the index to (entries between shift by one); nothing unless
    // both are valid indices. The list's selection signals stay quiet: a move is not a click.
    // Raises OnItemMove afterwards, also when from equals to.
    virtual void MoveItem(QListWidget* listBox, int fromIndex, int toIndex);

signals:
    void OnItemMove(QObject* Sender, int FromIndex, int ToIndex);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void HookParent();
    void UnhookParent();
    void ListDestroyed();
    std::intptr_t DragNotification(const void* lParam);
    void DrawMark(QListWidget* list, int row);
    void EndMarking(QListWidget* list);

    int targetMark_ = -1;
    int dragListMessage_ = 0;
    // Plain pointers: the list's destroyed signal clears them, and events that reach the
    // filter while the list is being destroyed are matched without touching it.
    QListWidget* listBox_ = nullptr;
    QObject* listObject_ = nullptr;
    QPointer<QWidget> hookedParent_;
    QMetaObject::Connection destroyedConnection_;
};

// The name under which hooked parents answer, telling other controllers they are taken.
inline constexpr const char* MyDragMessageName = "MYDRAGMESSAGE";

} // namespace pelisto
