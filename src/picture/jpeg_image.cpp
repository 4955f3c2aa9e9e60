#include "picture/jpeg_image.h"

#include "framework/graphics/picture.h"
#include "framework/system.h"
#include "picture/jpeg_glue.h"
#include "slideshow/picture_limit.h"

#include <QBuffer>
#include <QIODevice>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include <jpeglib.h>

namespace pelisto {

using namespace jpeg_glue;

namespace {

bool& Registered() {
    static bool registered = false;
    return registered;
}

} // namespace

EJPEG::EJPEG(int messageCode)
    : EInvalidGraphic(QStringLiteral("Erreur JPEG #%1").arg(messageCode)), code_(messageCode) {}

TJPEGSettings& JPEGDefaults() {
    static TJPEGSettings defaults;
    return defaults;
}

void RegisterJPEGGraphic() {
    if (Registered()) {
        return;
    }
    Registered() = true;
    JPEGDefaults().PaletteOutput = ScreenColorDepth() <= 8;
    const QString description = QStringLiteral("Fichier image JPEG");
    const auto factory = [] { return std::make_unique<TJPEGImage>(); };
    TPicture::RegisterFileFormat(QStringLiteral("jpeg"), description, factory,
                                 QStringLiteral("TJPEGImage"));
    TPicture::RegisterFileFormat(QStringLiteral("jpg"), description, factory,
                                 QStringLiteral("TJPEGImage"));
}

void UnregisterJPEGGraphic() {
    if (!Registered()) {
        return;
    }
    Registered() = false;
    TPicture::UnregisterGraphicClass(QStringLiteral("TJPEGImage"));
}

TJPEGImage::TJPEGImage() : data_(std::make_shared<TJPEGData>()), settings_(JPEGDefaults()) {}

TJPEGImage::~TJPEGImage() = default;

std::unique_ptr<TGraphic> TJPEGImage::NewInstance() const {
    return std::make_unique<TJPEGImage>();
}

void TJPEGImage::NewData() {
    data_ = std::make_shared<TJPEGData>();
}

int TJPEGImage::Width() const {
    return bitmap_ ? bitmap_->Width() : data_->Width;
}

int TJPEGImage::Height() const {
    return bitmap_ ? bitmap_->Height() : data_->Height;
}

void TJPEGImage::SetWidth(int) {
    throw EInvalidGraphicOperation(
        QStringLiteral("Impossible de modifier la taille d'une image JPEG"));
}

void TJPEGImage::SetHeight(int) {
    throw EInvalidGraphicOperation(
        QStringLiteral("Impossible de modifier la taille d'une image JPEG"));
}

bool TJPEGImage::IsEmpty() const {
    const bool noBytes = !data_->Data || data_->Data->isEmpty();
    return noBytes && (!bitmap_ || bitmap_->IsEmpty());
}

void TJPEGImage::FreeBitmap() {
    bitmap_.reset();
}

void TJPEGImage::DrawInto(QPainter& painter, const QRect& rect) {
    const TBitmap& bitmap = DecodeBitmap();
    if (!bitmap.IsEmpty()) {
        painter.drawImage(rect, bitmap.Image());
    }
}

void TJPEGImage::ReadFrom(QIODevice& stream) {
    NewData();
    bitmap_.reset();
    const qint64 size =
        stream.isSequential() ? stream.bytesAvailable() : stream.size() - stream.pos();
    QByteArray bytes;
    if (size > 0) {
        bytes = stream.read(size);
        if (bytes.size() != size) {
            throw EReadError();
        }
    }
    data_->Data = bytes;
    if (size > 0) {
        ErrorManager err;
        SetUpErrors(err);
        Decompressor jpeg;
        jpeg.d.err = &err.pub;
        j_decompress_ptr d = &jpeg.d;
        bool multiScan = false;
        if (!Guarded(err, [&] {
                jpeg_create_decompress(d);
                jpeg_mem_src(d, reinterpret_cast<const unsigned char*>(bytes.constData()),
                             static_cast<unsigned long>(bytes.size()));
                jpeg_read_header(d, TRUE);
                multiScan = jpeg_has_multiple_scans(d);
            })) {
            RaiseFailure(err);
        }
        data_->Width = static_cast<std::int32_t>(d->image_width);
        data_->Height = static_cast<std::int32_t>(d->image_height);
        data_->Grayscale = d->jpeg_color_space == JCS_GRAYSCALE;
        settings_.WriteProgressive = multiScan;
    }
    SetPaletteModified(true);
    NotifyChanged();
}

void TJPEGImage::WriteTo(QIODevice& stream) {
    if (!data_->Data || data_->Data->isEmpty()) {
        EncodeBitmap();
    }
    if (data_->Data && !data_->Data->isEmpty()) {
        stream.write(*data_->Data);
    }
}

void TJPEGImage::ReadStored(QIODevice& stream) {
    quint32 count = 0;
    if (stream.read(reinterpret_cast<char*>(&count), 4) != 4) {
        throw EReadError();
    }
    count = qFromLittleEndian(count);
    QByteArray bytes = stream.read(count);
    if (bytes.size() != static_cast<qsizetype>(count)) {
        throw EReadError();
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ReadFrom(buffer);
}

void TJPEGImage::WriteStored(QIODevice& stream) {
    const QByteArray bytes = data_->Data.value_or(QByteArray());
    const quint32 count = qToLittleEndian(static_cast<quint32>(bytes.size()));
    stream.write(reinterpret_cast<const char*>(&count), 4);
    stream.write(bytes);
}

void TJPEGImage::AssignFrom(const TGraphic& source) {
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
        NewData();
        bitmap_ = std::make_unique<TBitmap>(*bitmap);
        NotifyChanged();
        return;
    }
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
        data_ = jpeg->data_;
        bitmap_.reset();
        if (jpeg->bitmap_) {
            bitmap_ = std::make_unique<TBitmap>(*jpeg->bitmap_);
        }
        NotifyChanged();
        return;
    }
    TGraphic::AssignFrom(source);
}

void TJPEGImage::CopyTo(TGraphic& target) const {
    if (auto* bitmap = dynamic_cast<TBitmap*>(&target)) {
        // Decoding fills a cache; the picture itself does not change.
        *bitmap = const_cast<TJPEGImage*>(this)->DecodeBitmap();
        return;
    }
    TGraphic::CopyTo(target);
}

bool TJPEGImage::SameAs(const TGraphic& other) const {
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(&other);
    return jpeg != nullptr && jpeg->data_ == data_;
}

TPalette TJPEGImage::Palette() const {
    if (bitmap_) {
        return bitmap_->Palette();
    }
    if (tempPalette_) {
        return *tempPalette_;
    }
    if (!settings_.PaletteOutput && ScreenColorDepth() <= 8) {
        auto* self = const_cast<TJPEGImage*>(this);
        self->tempPalette_ = HalftonePalette();
        return *tempPalette_;
    }
    return {};
}

void TJPEGImage::SetPalette(const TPalette& palette) {
    if (tempPalette_ && *tempPalette_ == palette) {
        return;
    }
    // The decoded bitmap is dropped only when it can be decoded again; a bitmap handed in for
    // encoding is the only copy of the picture.
    const bool canDecode = data_->Data && !data_->Data->isEmpty();
    bool freed = false;
    if (bitmap_ && canDecode && bitmap_->Palette() != palette) {
        bitmap_.reset();
        freed = true;
    }
    tempPalette_ = palette;
    if (freed) {
        SetPaletteModified(true);
        NotifyChanged();
    }
}

} // namespace pelisto
