#pragma once

#include "slideshow/play_options.h"

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

class QTimer;
class QVariantAnimation;

namespace pelisto {

class TImage;

// What the test window reads from the main window: the picture list, the delay and the
// automatic flag when it is shown, and the conversion of one picture to the scratch JPEG.
class SlideshowSource {
public:
    virtual ~SlideshowSource() = default;
    virtual QStringList Pictures() const = 0;
    virtual double Delay() const = 0;
    virtual bool Automatic() const = 0;
    virtual QString ConvertToJpeg(const QString& fileName) = 0;
    // Shuffle, stop at the end and crossfade, and picture index's caption (empty: none).
    virtual PlayOptions Play() const { return {}; }
    virtual QString Caption(int /*index*/) const { return {}; }
};

// Virtual-key codes of the keys the test window answers; which does what is the players' key
// table (slideshow/play_rules.h).
enum TestKey : int {
    VK_BACK = 8,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_PRIOR = 33,
    VK_NEXT = 34,
    VK_LEFT = 37,
    VK_RIGHT = 39,
    VK_MULTIPLY = 106,
    VK_ADD = 107,
    VK_SUBTRACT = 109,
    VK_OEM_PLUS = 187,
    VK_OEM_MINUS = 189,
};

// The full-screen test slideshow: borderless, black, sized to the primary screen when created;
// it plays the list as the slideshow will look after compression.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(SlideshowSource* source, QWidget* parent = nullptr);

    TImage* Image1 = nullptr;
    QTimer* Timer1 = nullptr;
    // The crossfade from the picture left to the one shown; it runs only when one is asked for.
    QVariantAnimation* Fade = nullptr;
    QWidget* CaptionBand = nullptr; // the caption at the foot of the screen
    std::int32_t PictureCount = 0;
    std::int32_t CurrentIndex = 0;
    QString CurrentFile;

    void ShowPicture(int index);
    void ZoomPicture(int step);
    // The picture's size fitted into this window, one pixel of width at a time.
    QSize FitToScreen(int width, int height) const;

    // Maps a key event to its virtual-key code (keypad +, - and * have their own codes, the main
    // keyboard's plus, equals and minus others); 0 for keys without one.
    static int VirtualKey(const QKeyEvent* event);

public slots:
    void FormCreate();
    void FormShow();
    void FormKeyDown(int key);
    void Timer1Timer();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceImage(int w, int h);
    void PrepareNext();
    // Steps by the play order; the picture left fades out when a crossfade is asked for.
    void Step(bool forward);
    void ShowCaption(int index);
    SlideshowSource* source_;
    std::optional<PlayOrder> order_;
    PlayOptions play_;
    QWidget* fadeCover_ = nullptr; // draws the picture left over the new one, fading
    QPixmap left_;
    // The next picture is converted while the shown one is looked at, in the first idle
    // moment after it is drawn; its scratch file then serves the next step if nothing
    // converted meanwhile.
    QTimer* prepareTimer_ = nullptr;
    bool prepareAfterPaint_ = false;
    int preparedIndex_ = -1;
    QString preparedFile_;
};

} // namespace pelisto
