#include "controls/num_spin_button.h"

#include "framework/application.h"
#include "framework/nearest.h"

#include <QGuiApplication>
#include <QHideEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace pelisto {

namespace {

constexpr QRgb GlyphKey = 0xffff00ff;
constexpr QRgb GlyphInk = 0xff000000;

// A seven-pixel arrow in a nine-pixel-wide picture: the blank outer columns give the
// lower-left pixel its transparent colour.
QImage DefaultGlyph(bool up) {
    QImage glyph(9, 4, QImage::Format_RGB32);
    glyph.fill(GlyphKey);
    for (int row = 0; row < 4; ++row) {
        const int half = up ? row : 3 - row;
        for (int x = 4 - half; x <= 4 + half; ++x) {
            glyph.setPixel(x, row, GlyphInk);
        }
    }
    return glyph;
}

// The glyph with every pixel of its lower-left pixel's colour made transparent.
QImage KeyedGlyph(const QImage& glyph) {
    QImage keyed = glyph.convertToFormat(QImage::Format_ARGB32);
    if (keyed.isNull()) {
        return keyed;
    }
    const QRgb key = keyed.pixel(0, keyed.height() - 1);
    for (int y = 0; y < keyed.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if (line[x] == key) {
                line[x] = 0;
            }
        }
    }
    return keyed;
}

std::size_t FaceIndex(SpinHalf state) {
    return static_cast<std::size_t>(state);
}

} // namespace

TNumSpinButton::TNumSpinButton(QWidget* parent)
    : QWidget(parent), upGlyph_(DefaultGlyph(true)), downGlyph_(DefaultGlyph(false)) {
    setFocusPolicy(Qt::NoFocus);
    resize(20, 20);
}

TNumSpinButton::~TNumSpinButton() = default;

SpinHalf TNumSpinButton::HalfAt(QPointF point, QSizeF size) {
    if (size.width() <= 0 || size.height() <= 0) {
        return SpinHalf::None;
    }
    const double w = size.width();
    const double h = size.height();
    return point.y() > h - (h / w) * point.x() ? SpinHalf::Down : SpinHalf::Up;
}

QPoint TNumSpinButton::UpGlyphPlace(QSize face, QSize glyph, bool pressed) {
    const int shift = pressed ? 1 : 0;
    const auto x = Nearest(face.width() / 4.0L - glyph.width() / 2.0L) + 1 + shift;
    const auto y = Nearest(face.height() / 4.0L - glyph.height() / 2.0L) + 1 + shift;
    return {static_cast<int>(x), static_cast<int>(y)};
}

QPoint TNumSpinButton::DownGlyphPlace(QSize face, QSize glyph) {
    const auto x = Nearest(3.0L * face.width() / 4.0L - glyph.width() / 2.0L) - 1;
    const auto y = Nearest(3.0L * face.height() / 4.0L - glyph.height() / 2.0L) - 1;
    return {static_cast<int>(x), static_cast<int>(y)};
}

void TNumSpinButton::SetUpGlyph(const QImage& glyph) {
    upGlyph_ = glyph.isNull() ? DefaultGlyph(true) : glyph;
    facesValid_ = false;
    update();
}

void TNumSpinButton::SetDownGlyph(const QImage& glyph) {
    downGlyph_ = glyph.isNull() ? DefaultGlyph(false) : glyph;
    facesValid_ = false;
    update();
}

const QPixmap& TNumSpinButton::Face(SpinHalf state) {
    if (!facesValid_ || facesSize_ != size()) {
        DrawFaces();
    }
    return faces_[FaceIndex(state)];
}

void TNumSpinButton::DrawFaces() {
    faces_[FaceIndex(SpinHalf::None)] = DrawFace(SpinHalf::None);
    // A disabled button never shows a pressed half.
    const bool enabled = isEnabled();
    faces_[FaceIndex(SpinHalf::Up)] = enabled ? DrawFace(SpinHalf::Up) : faces_[0];
    faces_[FaceIndex(SpinHalf::Down)] = enabled ? DrawFace(SpinHalf::Down) : faces_[0];
    facesValid_ = true;
    facesSize_ = size();
    ++faceDrawCount_;
}

QPixmap TNumSpinButton::DrawFace(SpinHalf pressed) const {
    const int w = std::max(width(), 1);
    const int h = std::max(height(), 1);
    QPixmap face(w, h);
    const QPalette& pal = palette();
    face.fill(pal.color(QPalette::Button));

    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor frame = pal.color(QPalette::WindowText);
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);

    // Each half has a one-pixel bevel just inside its edges; the pressed half is sunk.
    const bool upSunk = pressed == SpinHalf::Up;
    p.setPen(upSunk ? dark : light);
    p.drawLine(1, 1, w - 3, 1);
    p.drawLine(1, 1, 1, h - 3);
    p.setPen(upSunk ? light : dark);
    p.drawLine(1, h - 3, w - 3, 1);

    const bool downSunk = pressed == SpinHalf::Down;
    p.setPen(downSunk ? dark : light);
    p.drawLine(2, h - 2, w - 2, 2);
    p.setPen(downSunk ? light : dark);
    p.drawLine(w - 2, 2, w - 2, h - 2);
    p.drawLine(2, h - 2, w - 2, h - 2);

    p.setPen(frame);
    p.drawRect(0, 0, w - 1, h - 1);
    p.drawLine(0, h - 1, w - 1, 0);

    const QImage up = KeyedGlyph(upGlyph_);
    const QImage down = KeyedGlyph(downGlyph_);
    p.drawImage(UpGlyphPlace({w, h}, up.size(), upSunk), up);
    p.drawImage(DownGlyphPlace({w, h}, down.size()), down);
    return face;
}

void TNumSpinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, Face(isEnabled() ? state_ : SpinHalf::None));
}

void TNumSpinButton::SetState(SpinHalf state) {
    if (state_ != state) {
        state_ = state;
        update();
    }
}

void TNumSpinButton::RunStep(SpinHalf half) {
    if (half == SpinHalf::Up) {
        emit UpClick();
    } else if (half == SpinHalf::Down) {
        emit DownClick();
    }
}

void TNumSpinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    QWidget* target = focusControl_;
    if (target && target->isEnabled() && target->isVisible() &&
        (target->focusPolicy() & Qt::TabFocus)) {
        target->setFocus(Qt::OtherFocusReason);
    }
    holdingMouse_ = true;
    firstHalf_ = HalfAt(event->position(), size());
    SetState(firstHalf_);
    if (!repeatTimer_) {
        repeatTimer_ = new QTimer(this);
        connect(repeatTimer_, &QTimer::timeout, this, &TNumSpinButton::RepeatTick);
    }
    RunStep(firstHalf_);
    repeatTimer_->start(FirstRepeatDelay);
}

void TNumSpinButton::RepeatTick() {
    repeatTimer_->setInterval(RepeatInterval);
    // A release that never reached us (a dialog or another window took the mouse meanwhile)
    // must not leave the value running on by itself.
    if (holdingMouse_ && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        EndHold();
        return;
    }
    if (state_ == SpinHalf::None || !holdingMouse_) {
        return;
    }
    try {
        RunStep(state_);
    } catch (...) {
        repeatTimer_->stop();
        HandleCurrentException();
    }
}

void TNumSpinButton::mouseMoveEvent(QMouseEvent* event) {
    if (!holdingMouse_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF at = event->position();
    const bool inside = rect().contains(at.toPoint());
    if (inside && HalfAt(at, size()) == firstHalf_) {
        SetState(firstHalf_);
    } else {
        SetState(SpinHalf::None);
    }
}

void TNumSpinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !holdingMouse_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    EndHold();
}

void TNumSpinButton::EndHold() {
    holdingMouse_ = false;
    firstHalf_ = SpinHalf::None;
    if (repeatTimer_) {
        repeatTimer_->stop();
    }
    SetState(SpinHalf::None);
}

void TNumSpinButton::hideEvent(QHideEvent* event) {
    // Hidden while held, the button gets no release: stop repeating now.
    EndHold();
    QWidget::hideEvent(event);
}

void TNumSpinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange) {
        facesValid_ = false;
        if (!isEnabled()) {
            EndHold();
        }
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace pelisto
