#pragma once

#include <QColor>
#include <QLabel>

class QMenu;

namespace pelisto {

// A label that acts as a web link: blue, underlined, hand cursor; a click opens URL (or the
// caption when URL is blank) with the desktop's associated program; its context menu copies
// the caption.
class TUrlLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString URL READ URL WRITE SetURL)
    Q_PROPERTY(QColor ActiveColor READ ActiveColor WRITE SetActiveColor)

public:
    explicit TUrlLabel(QWidget* parent = nullptr);
    ~TUrlLabel() override;

    QString URL() const { return url_; }
    void SetURL(const QString& url) { url_ = url; }

    // The text colour while the left button is held down on the label.
    QColor ActiveColor() const { return activeColor_; }
    void SetActiveColor(const QColor& color) { activeColor_ = color; }

    // The colour the text is drawn in now.
    QColor FontColor() const;

    // What a click opens: URL unless it is blank, else the caption (both untrimmed).
    QString Address() const;

    QMenu* ContextMenu() const { return menu_; }

signals:
    // The owner's click handling, run before the address is opened.
    void Click();
    // Nothing on this system could open the address (no browser or opener installed).
    void OpenFailed(const QString& address);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetFontColor(const QColor& color);
    void CopyCaption();

    QString url_;
    QColor activeColor_{128, 0, 128};
    QColor savedColor_;
    bool pressed_ = false;
    QMenu* menu_ = nullptr;
};

} // namespace pelisto
