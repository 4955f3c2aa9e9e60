#include "picture/multi_picture.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "framework/file_stream.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"
#include "framework/profile.h"
#include "picture/call_guard.h"
#include "picture/dib_conversion.h"
#include "picture/mono_stretch.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryFile>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace pelisto {
namespace {

QString UpperExtension(const QString& name) {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    if (dot < 0 || dot < slash) {
        return {};
    }
    // Only A..Z are folded, as the tool compares extensions everywhere.
    QString ext = name.mid(dot);
    for (QChar& c : ext) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) {
            c = QChar(c.unicode() - 32);
        }
    }
    return ext;
}

QByteArray NativeName(const QString& name) {
    return QFile::encodeName(name);
}

// Status calls of the main library under the fault guard; a fault counts as status 0.
template <typename Fn, typename Call> std::int16_t CallStatus(const char* entry, Call&& call) {
    auto fn = reinterpret_cast<Fn>(CodecLibrary::Get(CodecLibrary::Main).Entry(entry));
    if (fn == nullptr) {
        return 0;
    }
    std::int16_t status = 0;
    if (!CallGuarded([&] { status = call(fn); })) {
        return 0;
    }
    NoteLibraryStatus(status);
    return status;
}

std::uint32_t RgbOf(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           static_cast<std::uint32_t>(color.green()) << 8 |
           static_cast<std::uint32_t>(color.blue()) << 16;
}

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
    if (OnPlibError) {
        const QByteArray bytes = text.toLocal8Bit();
        OnPlibError(*this, PictureLibraryState::lastErrorCode, text, bytes.constData());
        return;
    }
    throw ErrorInvalid(text);
}

bool TMultiPicture::ReadFileInfo(const QString& fileName) {
    const QString e = UpperExtension(fileName).left(4);
    if (e == QLatin1String(".WMF") || e == QLatin1String(".ICO") || e == QLatin1String(".SCM") ||
        e == QLatin1String(".CMS")) {
        if (QFileInfo(fileName).isFile()) {
            imageFormat_ = e.mid(1);
            imageWidth_ = picture_.Width();
            imageHeight_ = picture_.Height();
            imageBits_ = 0;
            return true;
        }
        imageFormat_ = QStringLiteral("ERR");
        imageWidth_ = imageHeight_ = -1;
        imageBits_ = -1;
        return false;
    }
    tifPageCount_ = 0;
    const QByteArray name = NativeName(fileName);
    if (e == QLatin1String(".TIF")) {
        imageFormat_ = QStringLiteral("TIF");
        std::int16_t w = 0, h = 0, compression = 0, pages = 0, bits = 0;
        const std::int16_t page = tiffPage_;
        CallStatus<getinfo_t>("getinfo", [&](getinfo_t fn) {
            return fn(name.constData(), page, &w, &h, &compression, 0, &pages, &bits);
        });
        imageWidth_ = w;
        imageHeight_ = h;
        imageBits_ = bits;
        tifPageCount_ = pages;
        return true;
    }
    {
        // The framework's open error escapes for a file that cannot be read at all.
        FileStream stream(fileName, FileStream::Mode::OpenRead);
        if (stream.Size() < 30) {
            // Too short to be a picture; the error names that rather than an older failure.
            PictureLibraryState::lastErrorCode = 0;
            NoteLibraryStatus(codec::ErrTooShort);
            ReportLibraryError();
            return false;
        }
    }
    char format[6] = {};
    char compression[26] = {};
    std::int16_t w = 0, h = 0, bits = 0, colours = 0, pages = 0;
    const std::int16_t status = CallStatus<fileinfo_t>("fileinfo", [&](fileinfo_t fn) {
        return fn(name.constData(), format, &w, &h, &bits, &colours, &pages, compression, 0);
    });
    if (status <= 0) {
        ReportLibraryError();
        return false;
    }
    format[5] = '\0';
    imageFormat_ = QString::fromLatin1(format);
    imageWidth_ = w;
    imageHeight_ = h;
    imageBits_ = bits;
    return true;
}

std::unique_ptr<TBitmap> TMultiPicture::ReadBitmap(const QString& fileName, const QString& format,
                                                   int bits, bool dither) {
    {
        // Others may read the file meanwhile; it must at least hold a header.
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly) || file.size() < 30) {
            return nullptr;
        }
    }
    PictureLibraryState::progressText = QStringLiteral("Reading ") + fileName;
    const QByteArray name = NativeName(fileName);
    const auto b = static_cast<std::int16_t>(bits);
    const auto d = static_cast<std::int16_t>(dither);
    void* data = this;
    PLDib out = nullptr;
    std::int16_t status = 0;
    const auto plain = [&](const char* entry) {
        return CallStatus<rdfiledib_t>(entry, [&](rdfiledib_t fn) {
            return fn(name.constData(), b, d, &out, nullptr, data, ProgressProc, 0);
        });
    };
    const auto paged = [&](const char* entry, std::int16_t page) {
        return CallStatus<readpagedib_t>(entry, [&](readpagedib_t fn) {
            return fn(name.constData(), b, d, page, &out, data, ProgressProc, 0);
        });
    };
    if (format == QLatin1String("BMP")) {
        status = plain("rdbmpfiledib");
    } else if (format == QLatin1String("PNG")) {
        status = plain("rdpngfiledib");
    } else if (format == QLatin1String("GIF")) {
        status = plain("rdgiffiledib");
    } else if (format == QLatin1String("PCX")) {
        status = plain("rdpcxfiledib");
    } else if (format == QLatin1String("TIF")) {
        status = paged("readtiffiledib", tiffPage_);
    } else if (format == QLatin1String("PCD")) {
        status = paged("readpcdfiledib", static_cast<std::int16_t>(pcdMode_));
    } else if (format == QLatin1String("TGA")) {
        status = CallStatus<readtgafiledib_t>("readtgafiledib", [&](readtgafiledib_t fn) {
            return fn(name.constData(), b, d, &out, data, ProgressProc, 0);
        });
    } else if (format == QLatin1String("JPEG")) {
        status = CallStatus<rdjpgfiledib_t>("rdjpgfiledib", [&](rdjpgfiledib_t fn) {
            return fn(name.constData(), b, 1, d, &out, nullptr, data, ProgressProc, 0);
        });
        if (status <= 0) {
            CodecLibrary::Get(CodecLibrary::Main).Unload();
        }
    }
    TDibHolder dib(status > 0 ? out : nullptr);
    if (status <= 0 || !dib) {
        ReportLibraryError();
        return nullptr;
    }
    auto bitmap = DibToBitmap(std::move(dib), bits, dither);
    if (!bitmap) {
        ReportLibraryError();
    }
    return bitmap;
}

void TMultiPicture::SetImageName(const QString& name) {
    imageName_ = name;
    loading_ = true;
    const QString ext = UpperExtension(name);
    if (ext != QLatin1String(".RES") && (name.isEmpty() || !QFileInfo(name).isFile())) {
        picture_.SetGraphic(nullptr);
        loading_ = false;
        return;
    }
    {
        auto fn = reinterpret_cast<ClearAnnotation_t>(
            CodecLibrary::Get(CodecLibrary::Main).RequiredEntry("ClearAnnotation"));
        CallGuarded([&] { fn(this); });
    }
    Progress(0);
    int bits = ReadDepth();
    const bool dither = dither_;
    if (ext == QLatin1String(".WMF") || ext == QLatin1String(".ICO")) {
        picture_.LoadFromFile(name);
        ReadFileInfo(name);
        loading_ = false;
        return;
    }
    ReadFileInfo(name);
    QString format = imageFormat_;
    if (ext == QLatin1String(".BMP")) {
        format = QStringLiteral("BMP");
    } else if (ext == QLatin1String(".PNG")) {
        format = QStringLiteral("PNG");
    } else if (ext == QLatin1String(".GIF")) {
        format = QStringLiteral("GIF");
    } else if (ext == QLatin1String(".TIF") || ext == QLatin1String(".TIFF")) {
        format = QStringLiteral("TIF");
    } else if (ext == QLatin1String(".TGA")) {
        format = QStringLiteral("TGA");
    } else if (ext == QLatin1String(".PCX")) {
        format = QStringLiteral("PCX");
    } else if (ext == QLatin1String(".PCD")) {
        format = QStringLiteral("PCD");
    } else if (ext == QLatin1String(".JPEG") || ext == QLatin1String(".JPG")) {
        format = QStringLiteral("JPEG");
    }
    if (format == QLatin1String("TIF") && tifPageCount_ < tiffPage_) {
        tiffPage_ = tifPageCount_;
    }
    static const QStringList readable = {"BMP", "PNG", "GIF", "TIF", "TGA", "PCX", "PCD", "JPEG"};
    if (readable.contains(format)) {
        std::unique_ptr<TBitmap> bitmap;
        try {
            if (imageBits_ < (format == QLatin1String("GIF") ? 3 : 4)) {
                bits = 1;
            }
            bitmap = ReadBitmap(name, format, bits, dither);
        } catch (...) {
            bitmap.reset();
        }
        if (bitmap) {
            picture_.Assign(bitmap.get());
            ReadFileInfo(name);
        } else {
            picture_.SetGraphic(nullptr);
        }
    }
    loading_ = false;
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
                CallGuarded([&] { fn(this, scroll_.x(), scroll_.y(), zoom_, 0, 0); });
            }
        }
    }
}

void TMultiPicture::RotateQuarter() {
    Progress(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    TBitmap* held = HeldBitmap();
    if (held == nullptr || held->IsEmpty()) {
        throw ErrorInvalid(QStringLiteral("Input image is empty"));
    }
    auto fn =
        reinterpret_cast<PLRotate_t>(CodecLibrary::Get(CodecLibrary::Processing).Entry("PLRotate"));
    if (fn == nullptr) {
        return;
    }
    TDibHolder block;
    {
        // The loan ends before the picture changes: it may free the lent pixels.
        DibLoan loan(*held);
        const dib::DibView v = dib::View(loan.get());
        PLDib turned = nullptr;
        const std::uint32_t back = RgbOf(rotateBackColor_);
        void* source = loan.get();
        if (!CallGuarded([&] { turned = fn(source, 90.0, 0, 0, v.width, v.height, back); }) ||
            turned == nullptr) {
            return;
        }
        block.reset(turned);
    }
    const int bits = dib::View(block.get()).bits;
    auto result = DibToBitmap(std::move(block), bits, false);
    if (!result) {
        return;
    }
    picture_.Assign(result.get());
}

int TMultiPicture::WriteDepth(SaveFormat format) const {
    const int display = DisplayDepthClass();
    if (format == SaveFormat::Jpeg) {
        return writeRes_ == sMonoChrome || writeRes_ == sJpegGray ? 1 : 24;
    }
    const bool gif = format == SaveFormat::Gif;
    switch (writeRes_) {
    case sColorVga:
        return 0;
    case sMonoChrome:
        return 1;
    case sColor16:
        return 4;
    case sColor256:
        return 8;
    case sColorTrue:
        return gif ? 8 : 24;
    case sJpegGray:
        return 8;
    default:
        return gif ? std::min(display, 8) : display;
    }
}

bool TMultiPicture::SaveAsJpeg(const QString& name) {
    return Save(SaveFormat::Jpeg, name);
}
bool TMultiPicture::SaveAsBmp(const QString& name) {
    return Save(SaveFormat::Bmp, name);
}
bool TMultiPicture::SaveAsPcx(const QString& name) {
    return Save(SaveFormat::Pcx, name);
}
bool TMultiPicture::SaveAsGif(const QString& name) {
    return Save(SaveFormat::Gif, name);
}
bool TMultiPicture::SaveAsPng(const QString& name) {
    return Save(SaveFormat::Png, name);
}

namespace {

// Where a save writes before the file is moved into place: a new file beside a regular (or
// missing) target; the target itself when it is a device or other special file.
struct SaveTarget {
    QString finalName;
    QString writeName;
    bool direct = false;
    bool ok = false;
};

SaveTarget PrepareTarget(const QString& name) {
    SaveTarget t;
    if (name.isEmpty()) {
        return t;
    }
    QFileInfo info(name);
    t.finalName = info.isSymLink() ? info.canonicalFilePath() : info.absoluteFilePath();
    if (t.finalName.isEmpty()) {
        t.finalName = info.absoluteFilePath();
    }
    struct stat st {};
    const QByteArray native = QFile::encodeName(t.finalName);
    if (::stat(native.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            t.direct = true;
            t.writeName = t.finalName;
            t.ok = true;
            return t;
        }
        if (::access(native.constData(), W_OK) != 0) {
            return t; // a read-only file stays as it is
        }
    }
    QTemporaryFile temp(QFileInfo(t.finalName).absolutePath() + QStringLiteral("/.") +
                        QFileInfo(t.finalName).fileName() + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        return t;
    }
    t.writeName = temp.fileName();
    temp.close();
    t.ok = true;
    return t;
}

bool CommitTarget(const SaveTarget& t) {
    if (t.direct) {
        return true;
    }
    const QByteArray from = QFile::encodeName(t.writeName);
    const QByteArray to = QFile::encodeName(t.finalName);
    // The new file takes the old file's permissions, or the usual ones for a new file.
    struct stat st {};
    mode_t mode = 0;
    if (::stat(to.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(from.constData(), mode);
    return ::rename(from.constData(), to.constData()) == 0;
}

} // namespace

bool TMultiPicture::Save(SaveFormat format, const QString& name) {
    if (!name.isEmpty()) {
        defSaveFilename_ = name;
    }
    if (format != SaveFormat::Gif) {
        Progress(0);
    }
    bool written = false;
    SaveTarget target;
    try {
        const int bits = WriteDepth(format);
        TBitmap* held = HeldBitmap();
        if (held == nullptr || held->IsEmpty()) {
            throw ErrorInvalid(QStringLiteral("Input image is empty"));
        }
        std::optional<DibLoan> dib(std::in_place, *held);
        PictureLibraryState::progressText = QStringLiteral("Writing ") + defSaveFilename_;
        target = PrepareTarget(defSaveFilename_);
        std::int16_t status = 0;
        if (!target.ok) {
            NoteLibraryStatus(codec::ErrCreate);
        } else {
            const QByteArray file = QFile::encodeName(target.writeName);
            const auto b = static_cast<std::int16_t>(bits);
            void* block = dib->get();
            void* data = this;
            const auto simple = [&](const char* entry) {
                return CallStatus<wrfiledib_t>(entry, [&](wrfiledib_t fn) {
                    return fn(file.constData(), b, block, data, ProgressProc, 0);
                });
            };
            switch (format) {
            case SaveFormat::Bmp:
                status = simple("wrbmpfiledib");
                break;
            case SaveFormat::Pcx:
                status = simple("wrpcxfiledib");
                break;
            case SaveFormat::Gif:
                status = simple("wrgiffiledib");
                break;
            case SaveFormat::Png: {
                const auto interlaced = static_cast<std::int16_t>(pngInterlaced_);
                status = CallStatus<wrpngfiledib_t>("wrpngfiledib", [&](wrpngfiledib_t fn) {
                    return fn(file.constData(), b, interlaced, block, data, ProgressProc, 0);
                });
                break;
            }
            case SaveFormat::Jpeg: {
                const auto quality = static_cast<std::int16_t>(jpegQuality_);
                const auto smooth = static_cast<std::int16_t>(jpegSmooth_);
                status = CallStatus<wrjpgfiledib_t>("wrjpgfiledib", [&](wrjpgfiledib_t fn) {
                    return fn(file.constData(), quality, smooth, b, block, data, ProgressProc, 0);
                });
                if (status <= 0) {
                    CodecLibrary::Get(CodecLibrary::Main).Unload();
                }
                break;
            }
            }
        }
        dib.reset();
        if (status > 0 && CommitTarget(target)) {
            written = true;
        } else {
            if (status > 0) {
                NoteLibraryStatus(codec::ErrWrite);
            }
            ReportLibraryError();
        }
    } catch (...) {
        // No error leaves a save; the answer says whether it worked.
    }
    if (!written && target.ok && !target.direct) {
        QFile::remove(target.writeName);
    }
    if (OnFinishedLoadSave) {
        OnFinishedLoadSave(*this);
    }
    return written;
}

} // namespace pelisto
