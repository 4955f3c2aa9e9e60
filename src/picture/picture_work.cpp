#include "picture/picture_work.h"

#include "codeclib/codec_api.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"
#include "framework/profile.h"
#include "picture/library_calls.h"

#include <algorithm>

namespace pelisto {
namespace {

using picture_calls::NativeName;

QString AnnotationFileName() {
    return UserConfigFolder() + QStringLiteral("pl_anno.ini");
}

} // namespace

PictureWork::PictureWork() {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    picture_.SetGraphic(std::move(bitmap));
    picture_.OnChange = [this](TPicture&) { PictureChanged(); };
}

PictureWork::~PictureWork() {
    picture_.OnChange = nullptr;
    if (announced_) {
        auto& main = CodecLibrary::Get(CodecLibrary::Main);
        if (main.IsLoaded()) {
            if (auto fn = reinterpret_cast<DestroyAnnotation_t>(main.Entry("DestroyAnnotation"))) {
                CallGuarded([&] { fn(this); });
            }
        }
    }
}

void PictureWork::Announce() {
    auto fn = reinterpret_cast<InitAnnotation_t>(
        CodecLibrary::Get(CodecLibrary::Main).RequiredEntry("InitAnnotation"));
    const QByteArray ini = NativeName(AnnotationFileName());
    CallGuarded([&] { fn(this, this, this, ini.constData(), nullptr); });
    announced_ = true;
}

TBitmap* PictureWork::HeldBitmap() const {
    return dynamic_cast<TBitmap*>(picture_.Graphic());
}

int PictureWork::DisplayDepthClass() {
    const int depth = ScreenColorDepth();
    return depth <= 4 ? 4 : depth < 16 ? 8 : 24;
}

int PictureWork::ReadResOfDisplay() {
    const int depth = DisplayDepthClass();
    return depth == 4 ? lColor16 : depth == 8 ? lColor256 : lColorTrue;
}

int PictureWork::ReadDepth() const {
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

void PictureWork::PictureChanged() {}

bool PictureWork::LibraryError(std::int16_t, const QString&) {
    return false;
}

bool PictureWork::ProgressCancels(std::int16_t, const QString&) {
    return false;
}

int PictureWork::Progress(int percent) {
    return ProgressCancels(static_cast<std::int16_t>(percent),
                           PictureLibraryState::progressText.toLower())
               ? 0
               : 1;
}

int PictureWork::ProgressProc(int percent, void* data) {
    return data == nullptr ? 1 : static_cast<PictureWork*>(data)->Progress(percent);
}

void PictureWork::ReportLibraryError() {
    const QString text = PictureLibraryState::lastErrorText;
    lastError_ = text;
    if (LibraryError(PictureLibraryState::lastErrorCode, text)) {
        return;
    }
    throw ErrorInvalid(text);
}

void PictureWork::SetImageReadRes(int value) {
    readRes_ = std::clamp(value, static_cast<int>(lColorVga), static_cast<int>(lAutoMatic));
}

void PictureWork::SetImageWriteRes(int value) {
    writeRes_ = std::clamp(value, static_cast<int>(sColorVga), static_cast<int>(sAutoMatic));
}

void PictureWork::SetFitBox(int width, int height) {
    const bool box = width > 0 && height > 0;
    fitWidth_ = box ? width : 0;
    fitHeight_ = box ? height : 0;
}

void PictureWork::SetJPegSaveQuality(int value) {
    jpegQuality_ = value >= 1 && value <= 100 ? value : 25;
}

void PictureWork::SetJPegSaveSmooth(int value) {
    jpegSmooth_ = value >= 1 && value <= 100 ? value : 5;
}

void PictureWork::SetPCDMode(int value) {
    pcdMode_ = std::clamp(value, static_cast<int>(pcd_BASE16), static_cast<int>(pcd_BASE));
}

} // namespace pelisto
