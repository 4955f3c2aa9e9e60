#include "test_show/test_window.h"

#include "framework/application.h"
#include "framework/cursor_state.h"
#include "framework/image_box.h"
#include "framework/nearest.h"
#include "slideshow/play_rules.h"
#include "slideshow/screen_fit.h"
#include "video/video_frames.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>
#include <algorithm>

namespace pelisto {

namespace {
// While a picture is loaded or zoomed the pointer shows one step, as an hourglass; both are put
// back however the work ends, so a picture that fails to load cannot leave the pointer stuck.
class BusyPointer {
public:
    BusyPointer() {
        ShowPointer(true);
        SetScreenCursor(ScreenCursor::Hourglass);
    }
    ~BusyPointer() {
        SetScreenCursor(ScreenCursor::Default);
        ShowPointer(false);
    }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// The caption: white text in the system's font on a dark band across the foot of the screen,
// readable on any picture.
class CaptionStrip final : public QWidget {
public:
    explicit CaptionStrip(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }
    void SetText(const QString& text) {
        text_ = text;
        setVisible(!text.isEmpty());
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        PaintCaptionBand(p, rect(), text_);
    }

private:
    QString text_;
};

// The picture left, drawn whole over the new one at the fade's opacity at each frame.
class FadeCover final : public QWidget {
public:
    FadeCover(QWidget* parent, const QPixmap& left) : QWidget(parent), left_(left) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }
    void SetOpacity(double opacity) {
        opacity_ = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setOpacity(opacity_);
        p.drawPixmap(0, 0, left_);
    }

private:
    const QPixmap& left_;
    double opacity_ = 1;
};
} // namespace

TForm2::TForm2(SlideshowSource* source, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), source_(source) {
    setObjectName(QStringLiteral("Form2"));
    setModal(true);
    Image1 = new TImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(96, 48, 105, 105);
    Image1->SetStretch(true);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
    prepareTimer_ = new QTimer(this);
    prepareTimer_->setSingleShot(true);
    prepareTimer_->setInterval(0);
    connect(prepareTimer_, &QTimer::timeout, this, [this] { PrepareNext(); });
    CaptionBand = new CaptionStrip(this);
    CaptionBand->setObjectName(QStringLiteral("CaptionBand"));
    auto* cover = new FadeCover(this, left_);
    fadeCover_ = cover;
    Fade = new QVariantAnimation(this);
    Fade->setStartValue(1.0);
    Fade->setEndValue(0.0);
    connect(Fade, &QVariantAnimation::valueChanged, cover,
            [cover](const QVariant& value) { cover->SetOpacity(value.toDouble()); });
    connect(Fade, &QVariantAnimation::finished, this, [this] {
        fadeCover_->hide();
        left_ = QPixmap();
    });
    Image1->installEventFilter(this);
    FormCreate();
}

void TForm2::FormCreate() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen != nullptr ? screen->size() : QSize(1024, 768);
    setGeometry(0, 0, size.width(), size.height());
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    CurrentFile.clear();
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        Guarded([this] { FormShow(); });
    }
}

void TForm2::FormShow() {
    const QStringList pictures = source_->Pictures();
    PictureCount = static_cast<std::int32_t>(pictures.size());
    play_ = source_->Play();
    order_.emplace(static_cast<std::size_t>(PictureCount), play_,
                   QRandomGenerator::global()->generate64());
    CurrentIndex = static_cast<std::int32_t>(order_->Current());
    ShowPicture(CurrentIndex);
    Timer1->setInterval(
        static_cast<int>(Nearest(static_cast<long double>(source_->Delay()) * 1000)));
    if (source_->Automatic()) {
        Timer1->start();
    } else {
        Timer1->stop();
    }
}

void TForm2::ShowPicture(int index) {
    const QStringList pictures = source_->Pictures();
    if (index < 0 || index >= pictures.size()) {
        return;
    }
    const bool prepared = index == preparedIndex_ && QFileInfo(preparedFile_).isFile();
    preparedIndex_ = -1;
    prepareTimer_->stop();
    prepareAfterPaint_ = false;
    ShowCaption(index);
    const QString jpg = prepared ? preparedFile_ : source_->ConvertToJpeg(pictures[index]);
    if (!QFileInfo(jpg).isFile()) {
        Image1->hide();
        return;
    }
    CurrentFile = jpg;
    const BusyPointer busy;
    Image1->show();
    Image1->Picture().LoadFromFile(jpg);
    const QSize fitted = FitToScreen(Image1->Picture().Width(), Image1->Picture().Height());
    PlaceImage(fitted.width(), fitted.height());
    prepareAfterPaint_ = PictureCount > 1;
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::Paint && prepareAfterPaint_) {
        prepareAfterPaint_ = false;
        prepareTimer_->start(); // runs once this paint is done
    }
    return QDialog::eventFilter(watched, event);
}

// The conversion goes through the main window's converter, which runs on this thread only, so
// it is done in an idle moment once the shown picture is drawn (never before the first paint,
// which would hold the first picture back). A failure is not reported here: the step to that
// picture converts it again and reports it then. WMF and ICO pictures are left to the step,
// since the converter loads them through this window's own picture box.
void TForm2::PrepareNext() {
    preparedIndex_ = -1;
    const QStringList pictures = source_->Pictures();
    if (!isVisible() || !order_ || PictureCount < 2 || CurrentIndex < 0 ||
        CurrentIndex >= pictures.size()) {
        return;
    }
    const int next = static_cast<int>(order_->Upcoming());
    if (next >= pictures.size() || next == CurrentIndex) {
        return;
    }
    const QString suffix = QFileInfo(pictures[next]).suffix().toLower();
    if (suffix == QLatin1String("wmf") || suffix == QLatin1String("ico")) {
        return;
    }
    // The shown picture's scratch file goes back in place if the conversion removes it and
    // fails, so the zoom keys keep working on the shown picture.
    QByteArray shown;
    if (QFile file(CurrentFile); !CurrentFile.isEmpty() && file.open(QIODevice::ReadOnly)) {
        shown = file.readAll();
    }
    try {
        const QString jpg = source_->ConvertToJpeg(pictures[next]);
        if (QFileInfo(jpg).isFile()) {
            preparedIndex_ = next;
            preparedFile_ = jpg;
            return;
        }
    } catch (...) {
        // Reported by the step that shows the picture.
    }
    if (!shown.isEmpty() && !QFileInfo(CurrentFile).isFile()) {
        if (QFile file(CurrentFile); file.open(QIODevice::WriteOnly)) {
            file.write(shown);
        }
    }
}

QSize TForm2::FitToScreen(int w, int h) const {
    const PictureSize s = pelisto::FitToScreen(w, h, width(), height());
    return QSize(s.width, s.height);
}

void TForm2::ZoomPicture(int step) {
    if (CurrentFile.isEmpty() || !QFileInfo(CurrentFile).isFile()) {
        return;
    }
    const BusyPointer busy;
    const PictureSize s = ZoomSize(Image1->Picture().Width(), Image1->Picture().Height(),
                                   Image1->width(), step, width(), height());
    PlaceImage(s.width, s.height);
}

void TForm2::ShowCaption(int index) {
    const QString text = source_->Caption(index);
    if (!text.isEmpty()) {
        // Laid out as a video's caption on a screen of this height.
        QFont font = QGuiApplication::font();
        const CaptionLayout layout = CaptionLayoutFor(height(), font);
        font.setPixelSize(layout.fontPixels);
        CaptionBand->setFont(font);
        CaptionBand->setGeometry(0, height() - layout.bandHeight, width(), layout.bandHeight);
        CaptionBand->raise();
        fadeCover_->raise();
    }
    static_cast<CaptionStrip*>(CaptionBand)->SetText(text);
}

void TForm2::Step(bool forward) {
    if (!order_) {
        return;
    }
    if (forward && order_->AtEnd()) {
        close(); // stopped on the last picture: the next step ends the show
        return;
    }
    if (PictureCount < 2 || !(forward ? order_->Next() : order_->Previous())) {
        return;
    }
    const bool fade = play_.crossfadeMs > 0 && isVisible();
    if (fade) {
        Fade->stop();
        left_ = grab();
    }
    CurrentIndex = static_cast<std::int32_t>(order_->Current());
    ShowPicture(CurrentIndex);
    if (fade) {
        fadeCover_->setGeometry(rect());
        static_cast<FadeCover*>(fadeCover_)->SetOpacity(1);
        fadeCover_->raise();
        fadeCover_->show();
        Fade->setDuration(play_.crossfadeMs);
        Fade->start();
    }
}

void TForm2::PlaceImage(int w, int h) {
    const PictureRect r = CentreOnWindow(PictureSize{w, h}, width(), height());
    Image1->setGeometry(r.left, r.top, r.width, r.height);
    Image1->update();
}

int TForm2::VirtualKey(const QKeyEvent* event) {
    const bool keypad = event->modifiers().testFlag(Qt::KeypadModifier);
    switch (event->key()) {
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Plus:
        return keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Equal:
        return keypad ? 0 : VK_OEM_PLUS;
    case Qt::Key_Minus:
        return keypad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Asterisk:
        return keypad ? VK_MULTIPLY : 0;
    default:
        return 0;
    }
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    const int key = VirtualKey(event);
    event->accept();
    Guarded([&] { FormKeyDown(key); });
}

// A left click steps forwards, as in the saved slideshow.
void TForm2::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton) {
        Guarded([this] { FormKeyDown(VK_SPACE); });
    }
}

void TForm2::FormKeyDown(int key) {
    const auto row = std::find_if(kPlayKeys.begin(), kPlayKeys.end(),
                                  [key](const PlayKey& k) { return k.vk == key; });
    if (row == kPlayKeys.end()) {
        return;
    }
    switch (row->action) {
    case PlayAction::Leave:
        close();
        break;
    case PlayAction::Next:
        Step(true);
        break;
    case PlayAction::Previous:
        Step(false);
        break;
    case PlayAction::ZoomIn:
        ZoomPicture(kZoomStep);
        break;
    case PlayAction::ZoomOut:
        ZoomPicture(-kZoomStep);
        break;
    case PlayAction::Fit:
        ZoomPicture(0);
        break;
    }
}

void TForm2::Timer1Timer() {
    if (order_ && order_->AtEnd()) {
        Timer1->stop(); // the last picture stays until a key
        return;
    }
    if (PictureCount >= 2) {
        FormKeyDown(VK_SPACE);
    }
}

void TForm2::closeEvent(QCloseEvent* event) {
    FormClose();
    QDialog::closeEvent(event);
}

void TForm2::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TForm2::FormClose() {
    Timer1->stop();
    Fade->stop();
    fadeCover_->hide();
    left_ = QPixmap();
    prepareTimer_->stop();
    prepareAfterPaint_ = false;
    preparedIndex_ = -1;
}

} // namespace pelisto
