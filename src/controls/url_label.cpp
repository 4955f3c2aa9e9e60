#include "controls/url_label.h"

#include "framework/system.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>

namespace pelisto {

namespace {

// Blanks and control characters at both ends do not count.
QString TrimmedBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= ' ') {
        ++first;
    }
    while (last > first && text.at(last - 1).unicode() <= ' ') {
        --last;
    }
    return text.mid(first, last - first);
}

} // namespace

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    SetFontColor(QColor(0, 0, 255));
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);

    menu_ = new QMenu(this);
    QAction* copy = menu_->addAction(QStringLiteral("Copy"));
    connect(copy, &QAction::triggered, this, &TUrlLabel::CopyCaption);
}

TUrlLabel::~TUrlLabel() = default;

QColor TUrlLabel::FontColor() const {
    return palette().color(foregroundRole());
}

void TUrlLabel::SetFontColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Text, color);
    setPalette(pal);
}

QString TUrlLabel::Address() const {
    return TrimmedBlanks(url_).isEmpty() ? text() : url_;
}

void TUrlLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !pressed_) {
        pressed_ = true;
        savedColor_ = FontColor();
        SetFontColor(activeColor_);
    }
    QLabel::mousePressEvent(event);
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !pressed_) {
        return;
    }
    pressed_ = false;
    SetFontColor(savedColor_);
    // Like a button, only a release over the label is a click.
    if (!rect().contains(event->position().toPoint())) {
        return;
    }
    emit Click();
    const QString address = Address();
    if (!TrimmedBlanks(address).isEmpty()) {
        if (!ShellOpen(address)) {
            emit OpenFailed(address);
        }
    }
}

void TUrlLabel::contextMenuEvent(QContextMenuEvent* event) {
    menu_->popup(event->globalPos());
    event->accept();
}

void TUrlLabel::CopyCaption() {
    QGuiApplication::clipboard()->setText(text());
}

} // namespace pelisto
