// Painting the picture control: stretched, at its natural size with scroll bars, or centred.

#include "picture/multi_picture.h"

#include "codeclib/codec_api.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"
#include "picture/call_guard.h"
#include "picture/mono_stretch.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace pelisto {

void TMultiPicture::LayoutScrollBars() {
    const TGraphic* graphic = picture_.Graphic();
    const int pw = graphic ? static_cast<int>(graphic->Width() * zoom_) : 0;
    const int ph = graphic ? static_cast<int>(graphic->Height() * zoom_) : 0;
    const bool possible =
        !stretch_ && scrolling_ && showScrollbars_ && graphic && !graphic->IsEmpty();
    bool needH = possible && pw > width();
    bool needV = possible && ph > height();
    // One bar takes room from the other direction.
    needH = needH || (possible && needV && pw > width() - scrollbarWidth_);
    needV = needV || (possible && needH && ph > height() - scrollbarWidth_);
    const int viewW = width() - (needV ? scrollbarWidth_ : 0);
    const int viewH = height() - (needH ? scrollbarWidth_ : 0);
    horizontal_->setVisible(needH);
    vertical_->setVisible(needV);
    corner_->setVisible(needH && needV);
    if (needH) {
        horizontal_->setGeometry(0, height() - scrollbarWidth_, viewW, scrollbarWidth_);
        horizontal_->setRange(0, std::max(0, pw - viewW));
        horizontal_->setPageStep(std::max(1, viewW));
    } else {
        horizontal_->setValue(0);
        scroll_.setX(0);
    }
    if (needV) {
        vertical_->setGeometry(width() - scrollbarWidth_, 0, scrollbarWidth_, viewH);
        vertical_->setRange(0, std::max(0, ph - viewH));
        vertical_->setPageStep(std::max(1, viewH));
    } else {
        vertical_->setValue(0);
        scroll_.setY(0);
    }
    if (needH && needV) {
        corner_->setGeometry(viewW, viewH, scrollbarWidth_, scrollbarWidth_);
    }
}

void TMultiPicture::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutScrollBars();
}

const QImage& TMultiPicture::KeptLinesImage(const QImage& image, const QSize& size) {
    if (keptLines_.size() != size || keptLinesKey_ != image.cacheKey() ||
        keptLinesMode_ != blitMode_) {
        keptLines_ = StretchMonoKeeping(image, size, blitMode_ == sDark);
        keptLinesKey_ = image.cacheKey();
        keptLinesMode_ = blitMode_;
    }
    return keptLines_;
}

void TMultiPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TGraphic* graphic = picture_.Graphic();
    if (graphic == nullptr || graphic->IsEmpty()) {
        painter.fillRect(rect(), color_);
        return;
    }
    auto* bitmap = dynamic_cast<TBitmap*>(graphic);
    if (stretch_) {
        painter.fillRect(rect(), color_);
        if (bitmap == nullptr) {
            graphic->Draw(painter, rect());
            return;
        }
        const QImage& image = bitmap->Image();
        if (image.depth() == 1 && blitMode_ != sLight) {
            // Black-on-white keeps the dark pixels of a shrunk one-bit picture, white-on-black
            // the light ones, so thin lines of text and drawings do not vanish.
            painter.drawImage(rect().topLeft(), KeptLinesImage(image, size()));
        } else if (smoothStretch_) {
            // Scaled once per picture and size: a repaint does not filter again.
            if (smoothed_.size() != size() || smoothedKey_ != image.cacheKey()) {
                smoothed_ = image.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                smoothedKey_ = image.cacheKey();
            }
            painter.drawImage(rect().topLeft(), smoothed_);
        } else {
            // Colour-on-colour: scan lines are dropped, never blended.
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(rect(), image);
        }
        return;
    }
    const int w = static_cast<int>(graphic->Width() * zoom_);
    const int h = static_cast<int>(graphic->Height() * zoom_);
    // A side larger than the view scrolls; a side that fits lies at the start or, with Center,
    // in the middle of the room the scroll bars leave.
    const auto place = [this](int picture, int view, int scroll) {
        if (picture > view) {
            return -scroll;
        }
        return center_ ? (view - picture) / 2 : 0;
    };
    const int viewW = width() - (vertical_->isHidden() ? 0 : scrollbarWidth_);
    const int viewH = height() - (horizontal_->isHidden() ? 0 : scrollbarWidth_);
    const QRect target(place(w, viewW, scroll_.x()), place(h, viewH, scroll_.y()), w, h);
    painter.fillRect(rect(), color_);
    if (bitmap != nullptr) {
        painter.drawImage(target, bitmap->Image());
    } else {
        graphic->Draw(painter, target);
    }
    if (announced_) {
        auto& main = CodecLibrary::Get(CodecLibrary::Main);
        if (main.IsLoaded()) {
            if (auto fn = reinterpret_cast<DrawAnnotation_t>(main.Entry("DrawAnnotation"))) {
                CallGuarded([&] {
                    fn(static_cast<PictureWork*>(this), scroll_.x(), scroll_.y(), zoom_, 0, 0);
                });
            }
        }
    }
}

} // namespace pelisto
