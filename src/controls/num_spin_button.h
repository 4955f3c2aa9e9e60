#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <array>

class QTimer;

namespace pelisto {

// Which half of the diagonal spin button: the upper-left (up) or the lower-right (down).
enum class SpinHalf { None, Up, Down };

// A square-ish button split along its lower-left to upper-right diagonal. Pressing a half steps
// at once and then repeats (first after 400 ms, then every 100 ms) while that half stays pressed.
class TNumSpinButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int FirstRepeatDelay = 400;
    static constexpr int RepeatInterval = 100;

    explicit TNumSpinButton(QWidget* parent = nullptr);
    ~TNumSpinButton() override;

    // The half that a point, measured from the top-left corner, falls in for a button of the
    // given size: below the diagonal is down, everything else (the diagonal included) is up.
    static SpinHalf HalfAt(QPointF point, QSizeF size);

    // Top-left corners of the glyphs on a face of the given size; only the up glyph moves when
    // its half is pressed.
    static QPoint UpGlyphPlace(QSize face, QSize glyph, bool pressed);
    static QPoint DownGlyphPlace(QSize face, QSize glyph);

    // Arrows drawn with the lower-left pixel's colour as transparent; replaceable.
    QImage UpGlyph() const { return upGlyph_; }
    void SetUpGlyph(const QImage& glyph);
    QImage DownGlyph() const { return downGlyph_; }
    void SetDownGlyph(const QImage& glyph);

    // The control that takes the focus when the button is pressed.
    QWidget* FocusControl() const { return focusControl_; }
    void SetFocusControl(QWidget* control) { focusControl_ = control; }

    // The half shown pressed right now.
    SpinHalf State() const { return state_; }

    // The repeat timer; null until the first press.
    QTimer* RepeatTimer() const { return repeatTimer_; }

    // The cached face for a state (None, Up pressed, Down pressed), drawn when first needed.
    const QPixmap& Face(SpinHalf state);
    // How many times the faces have been drawn: they are cached and redrawn only when the
    // size, the glyphs or the enabled state change.
    int FaceDrawCount() const { return faceDrawCount_; }

    QSize sizeHint() const override { return {20, 20}; }

signals:
    void UpClick();
    void DownClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void RepeatTick();
    // Lets go of the press: no half pressed, no repeat.
    void EndHold();
    void RunStep(SpinHalf half);
    void SetState(SpinHalf state);
    void DrawFaces();
    QPixmap DrawFace(SpinHalf pressed) const;

    QImage upGlyph_;
    QImage downGlyph_;
    std::array<QPixmap, 3> faces_;
    bool facesValid_ = false;
    QSize facesSize_;
    int faceDrawCount_ = 0;
    SpinHalf state_ = SpinHalf::None;
    SpinHalf firstHalf_ = SpinHalf::None;
    bool holdingMouse_ = false;
    QTimer* repeatTimer_ = nullptr;
    QPointer<QWidget> focusControl_;
};

} // namespace pelisto
