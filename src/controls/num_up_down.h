#pragma once

#include <QWidget>

class QToolButton;

namespace pelisto {

// The plain up-down pair (two stacked arrow buttons) of the spin edit's standard button kind.
class TNumUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TNumUpDown(QWidget* parent = nullptr);

signals:
    void UpClick();
    void DownClick();

private:
    QToolButton* MakeButton(Qt::ArrowType arrow);
};

} // namespace pelisto
