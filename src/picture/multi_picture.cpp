#include "picture/multi_picture.h"

#include "codeclib/codec_api.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"
#include "framework/profile.h"
#include "picture/library_calls.h"

#include <QApplication>
#include <QScrollBar>

namespace pelisto {
namespace {

using picture_calls::NativeName;

QString AnnotationFileName() {
    return UserConfigFolder() + QStringLiteral("pl_anno.ini");
}

} // namespace

TMultiPicture::TMultiPicture(QWidget* parent)
    : QWidget(parent), color_(QApplication::palette().color(QPalette::Button)),
      rotateBackColor_(QApplication::palette().color(QPalette::Button)) {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    picture_.SetGraphic(std::move(bitmap));
    picture_.OnChange = [this](TPicture&) { PictureChanged(); };
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
    if (announced_) {
        auto& main = CodecLibrary::Get(CodecLibrary::Main);
        if (main.IsLoaded()) {
            if (auto fn = reinterpret_cast<DestroyAnnotation_t>(main.Entry("DestroyAnnotation"))) {
                CallGuarded([&] { fn(this); });
            }
        }
    }
}

void TMultiPicture::Loaded() {
    LayoutScrollBars();
    auto fn = reinterpret_cast<InitAnnotation_t>(
        CodecLibrary::Get(CodecLibrary::Main).RequiredEntry("InitAnnotation"));
    const QByteArray ini = NativeName(AnnotationFileName());
    CallGuarded([&] { fn(this, this, this, ini.constData(), nullptr); });
    announced_ = true;
}

TBitmap* TMultiPicture::HeldBitmap() const {
    return dynamic_cast<TBitmap*>(picture_.Graphic());
}

int TMultiPicture::DisplayDepthClass() {
    const int depth = ScreenColorDepth();
    return depth <= 4 ? 4 : depth < 16 ? 8 : 24;
}

int TMultiPicture::ReadDepth() const {
    switch (readRes_) {
    case lColorVga:
        return 0;
    case lMonoChrome:
        return 1;
    case lColor16:
        return 4;
    case lColor256:
        return 8;
    case lColorTrue:
        return 24;
    default:
        return DisplayDepthClass();
    }
}

int TMultiPicture::Progress(int percent) {
    if (!OnProgress) {
        return 1;
    }
    bool cancel = false;
    OnProgress(*this, static_cast<std::int16_t>(percent),
               PictureLibraryState::progressText.toLower(), cancel);
    return cancel ? 0 : 1;
}

int TMultiPicture::ProgressProc(int percent, void* data) {
    return data == nullptr ? 1 : static_cast<TMultiPicture*>(data)->Progress(percent);
}

void TMultiPicture::ReportLibraryError() {
    const QString text = PictureLibraryState::lastErrorText;
    lastError_ = text;
    if (OnPlibError) {
        const QByteArray bytes = text.toLocal8Bit();
        OnPlibError(*this, PictureLibraryState::lastErrorCode, text, bytes.constData());
        return;
    }
    throw ErrorInvalid(text);
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

void TMultiPicture::SetImageReadRes(int value) {
    readRes_ = std::clamp(value, static_cast<int>(lColorVga), static_cast<int>(lAutoMatic));
}

void TMultiPicture::SetImageWriteRes(int value) {
    writeRes_ = std::clamp(value, static_cast<int>(sColorVga), static_cast<int>(sAutoMatic));
}

void TMultiPicture::SetBlitMode(int value) {
    blitMode_ = std::clamp(value, static_cast<int>(sLight), static_cast<int>(sLightest));
    update();
}

void TMultiPicture::SetJPegSaveQuality(int value) {
    jpegQuality_ = value >= 1 && value <= 100 ? value : 25;
}

void TMultiPicture::SetJPegSaveSmooth(int value) {
    jpegSmooth_ = value >= 1 && value <= 100 ? value : 5;
}

void TMultiPicture::SetPCDMode(int value) {
    pcdMode_ = std::clamp(value, static_cast<int>(pcd_BASE16), static_cast<int>(pcd_BASE));
}

void TMultiPicture::SetColor(const QColor& value) {
    color_ = value;
    update();
}

} // namespace pelisto
