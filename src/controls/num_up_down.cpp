#include "controls/num_up_down.h"

#include "controls/num_spin_button.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace pelisto {

TNumUpDown::TNumUpDown(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QToolButton* up = MakeButton(Qt::UpArrow);
    QToolButton* down = MakeButton(Qt::DownArrow);
    layout->addWidget(up);
    layout->addWidget(down);
    connect(up, &QToolButton::clicked, this, &TNumUpDown::UpClick);
    connect(down, &QToolButton::clicked, this, &TNumUpDown::DownClick);
}

QToolButton* TNumUpDown::MakeButton(Qt::ArrowType arrow) {
    auto* button = new QToolButton(this);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(TNumSpinButton::FirstRepeatDelay);
    button->setAutoRepeatInterval(TNumSpinButton::RepeatInterval);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return button;
}

} // namespace pelisto
