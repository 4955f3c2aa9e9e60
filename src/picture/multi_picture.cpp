#include "picture/multi_picture.h"

#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"

#include <QApplication>
#include <QScrollBar>

namespace pelisto {

TMultiPicture::TMultiPicture(QWidget* parent)
    : QWidget(parent), color_(QApplication::palette().color(QPalette::Button)) {
    rotateBackColor_ = QApplication::palette().color(QPalette::Button);
    horizontal_ = new QScrollBar(Qt::Horizontal, this);
    vertical_ = new QScrollBar(Qt::Vertical, this);
    corner_ = new QWidget(this);
    horizontal_->hide();
    vertical_->hide();
    corner_->hide();
    connect(horizontal_, &QScrollBar::valueChanged, this, [this](int value) {
        scroll_.setX(value);
        update();
    });
    connect(vertical_, &QScrollBar::valueChanged, this, [this](int value) {
        scroll_.setY(value);
        update();
    });
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TMultiPicture::~TMultiPicture() {
    // The picture's changes must no longer reach the widget being torn down.
    picture_.OnChange = nullptr;
}

void TMultiPicture::Loaded() {
    LayoutScrollBars();
    Announce();
}

bool TMultiPicture::ProgressCancels(std::int16_t percent, const QString& message) {
    if (!OnProgress) {
        return false;
    }
    bool cancel = false;
    OnProgress(*this, percent, message, cancel);
    return cancel;
}

bool TMultiPicture::LibraryError(std::int16_t code, const QString& text) {
    if (!OnPlibError) {
        return false;
    }
    const QByteArray bytes = text.toLocal8Bit();
    OnPlibError(*this, code, text, bytes.constData());
    return true;
}

void TMultiPicture::FinishedLoadSave() {
    if (OnFinishedLoadSave) {
        OnFinishedLoadSave(*this);
    }
}

void TMultiPicture::PictureChanged() {
    if (loading_) {
        zoom_ = 1.0;
        scroll_ = QPoint(0, 0);
    }
    LayoutScrollBars();
    if (OnPictureChanged) {
        OnPictureChanged(*this);
    }
    update();
}

void TMultiPicture::SetStretch(bool value) {
    if (value != stretch_) {
        stretch_ = value;
        LayoutScrollBars();
        update();
    }
}

void TMultiPicture::SetScrolling(bool value) {
    scrolling_ = value;
    LayoutScrollBars();
}

void TMultiPicture::SetShowScrollbars(bool value) {
    showScrollbars_ = value;
    LayoutScrollBars();
}

void TMultiPicture::SetScrollbarWidth(int value) {
    scrollbarWidth_ = std::max(0, value);
    LayoutScrollBars();
}

void TMultiPicture::SetCenter(bool value) {
    center_ = value;
    update();
}

void TMultiPicture::SetBlitMode(int value) {
    blitMode_ = std::clamp(value, static_cast<int>(sLight), static_cast<int>(sLightest));
    update();
}

void TMultiPicture::SetColor(const QColor& value) {
    color_ = value;
    update();
}

} // namespace pelisto
