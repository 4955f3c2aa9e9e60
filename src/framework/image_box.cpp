#include "framework/image_box.h"

#include "framework/graphics/graphic.h"

#include <QPainter>

namespace pelisto {

TImage::TImage(QWidget* parent) : QWidget(parent) {
    picture_.OnChange = [this](TPicture&) { update(); };
}

void TImage::SetStretch(bool stretch) {
    if (stretch_ != stretch) {
        stretch_ = stretch;
        update();
    }
}

void TImage::paintEvent(QPaintEvent*) {
    TGraphic* graphic = picture_.Graphic();
    if (graphic == nullptr || graphic->IsEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (stretch_) {
        graphic->Draw(painter, rect());
    } else {
        graphic->Draw(painter, 0, 0);
    }
}

} // namespace pelisto
