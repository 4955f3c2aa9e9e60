#pragma once

#include <QList>
#include <QWidget>

class QListWidget;

namespace pelisto {

// The drop-place mark of a list: a yellow dotted focus rectangle around an entry, painted on a
// transparent layer over the list's viewport. Marking works as an exclusive-or does: marking
// the same entry a second time erases it. Marks follow their entries, so scrolling never
// leaves a stale rectangle behind.
class DragMarkOverlay : public QWidget {
    Q_OBJECT

public:
    // The list's layer, made on first use.
    static DragMarkOverlay* Of(QListWidget* list);
    // The list's layer if it has one.
    static DragMarkOverlay* Find(const QListWidget* list);

    void Toggle(int row);
    const QList<int>& MarkedRows() const { return rows_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit DragMarkOverlay(QListWidget* list);
    QListWidget* list_;
    QObject* viewport_;
    QList<int> rows_;
};

} // namespace pelisto
