#pragma once

#include "framework/graphics/picture.h"

#include <QWidget>

namespace pelisto {

// The framework's picture box: shows the graphic its picture holder holds, either at natural
// size from the top-left corner or stretched to the box's own bounds.
class TImage : public QWidget {
    Q_OBJECT

public:
    explicit TImage(QWidget* parent = nullptr);

    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool stretch);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TPicture picture_;
    bool stretch_ = false;
};

} // namespace pelisto
