#include "picture/jpeg_image.h"

#include "codeclib/jpeg_claims.h"
#include "framework/graphics/picture.h"
#include "framework/system.h"
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

namespace {

// libjpeg is C: an error must not unwind through it. Its error exit and our callbacks jump
// back (longjmp) to the C++ frame that called into the library, which then raises. The code
// that runs between setjmp and a possible longjmp holds no object with a destructor.
struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer is also ours
    std::jmp_buf jump;
    int code = 0;
    std::exception_ptr pending; // raised by one of our callbacks
};

void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = err->pub.msg_code;
    std::longjmp(err->jump, 1);
}

// Warnings and traces are dropped: damaged data shows as far as libjpeg can decode it.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) {
    buffer[0] = '\0';
}
void ResetErrorManager(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void SetUpErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.pub.format_message = FormatMessage;
    err.pub.reset_error_mgr = ResetErrorManager;
}

// Runs body; false when libjpeg or a callback jumped out of it.
template <class Body> bool Guarded(ErrorManager& err, Body&& body) {
    if (setjmp(err.jump) == 0) {
        body();
        return true;
    }
    return false;
}

[[noreturn]] void RaiseFailure(const ErrorManager& err) {
    if (err.pending) {
        std::rethrow_exception(err.pending);
    }
    throw EJPEG(err.code);
}

void ProgressHook(j_common_ptr cinfo);

struct ProgressManager {
    ProgressManager(TJPEGImage* image, ErrorManager& errors) : owner(image), err(&errors) {
        pub.progress_monitor = ProgressHook;
    }

    jpeg_progress_mgr pub{}; // first, as for the error manager
    TJPEGImage* owner = nullptr;
    ErrorManager* err = nullptr;
    bool timing = false;
    std::uint32_t lastTime = 0;
    int lastPercent = 0;
    int lastRow = 0;

    void Step(j_common_ptr cinfo) {
        if (!owner->OnProgress) {
            return;
        }
        const std::uint32_t now = TickCount();
        if (!timing) {
            timing = true;
            lastTime = now;
            return;
        }
        if (now - lastTime < 500) {
            return;
        }
        lastTime = now;
        const double limit = pub.pass_limit > 0 ? static_cast<double>(pub.pass_limit) : 1.0;
        const int passes = std::max(pub.total_passes, 1);
        const int percent = static_cast<int>(
            (static_cast<double>(pub.pass_counter) / limit + pub.completed_passes) * 100.0 /
            passes);
        if (percent == lastPercent) {
            return;
        }
        lastPercent = percent;
        QRect rect;
        if (cinfo->is_decompressor) {
            auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
            const int width = static_cast<int>(d->output_width);
            const int row = static_cast<int>(d->output_scanline);
            // A row above the last one means a new output pass has begun.
            const int bottom = row < lastRow ? static_cast<int>(d->output_height) : row;
            rect = QRect(0, lastRow, width, bottom - lastRow);
            lastRow = row;
        }
        owner->ReportProgress(psRunning, percent, rect.height() >= 4, rect);
    }
};

void ProgressHook(j_common_ptr cinfo) {
    auto* progress = reinterpret_cast<ProgressManager*>(cinfo->progress);
    bool failed = false;
    try {
        progress->Step(cinfo);
    } catch (...) {
        progress->err->pending = std::current_exception();
        failed = true;
    }
    if (failed) {
        std::longjmp(progress->err->jump, 2);
    }
}

struct Compressor {
    jpeg_compress_struct c{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~Compressor() {
        jpeg_destroy_compress(&c);
        std::free(buffer);
    }
};

struct Decompressor {
    jpeg_decompress_struct d{};
    ~Decompressor() { jpeg_destroy_decompress(&d); }
};

// Row distance in bytes between row 1 and row 0 (top-down layouts are positive).
qsizetype RowStep(const QImage& image) {
    if (image.height() < 2) {
        return image.bytesPerLine();
    }
    return image.constScanLine(1) - image.constScanLine(0);
}

bool MultiRow(qsizetype step) {
    return step > 0 && step % 4 == 0;
}

TPalette PaletteFromColormap(j_decompress_ptr d) {
    TPalette palette;
    for (int i = 0; i < d->actual_number_of_colors; ++i) {
        if (d->out_color_components == 1) {
            const int gray = d->colormap[0][i];
            palette.append(qRgb(gray, gray, gray));
        } else {
            // Blue-first output: component 0 is blue.
            palette.append(qRgb(d->colormap[2][i], d->colormap[1][i], d->colormap[0][i]));
        }
    }
    return palette;
}

TPalette GrayRamp() {
    TPalette palette;
    for (int i = 0; i < 256; ++i) {
        palette.append(qRgb(i, i, i));
    }
    return palette;
}

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

void TJPEGImage::EncodeBitmap() {
    ErrorManager err;
    SetUpErrors(err);
    ProgressManager progress(this, err);
    Compressor jpeg;
    jpeg.c.err = &err.pub;

    if (data_->Data) {
        NewData();
    }
    data_->Data = QByteArray();
    if (!bitmap_ || bitmap_->Width() == 0 || bitmap_->Height() == 0) {
        return;
    }
    const int width = bitmap_->Width();
    const int height = bitmap_->Height();
    data_->Width = width;
    data_->Height = height;

    // The held bitmap keeps its format; a working copy is made 24-bit, blue-first rows.
    TBitmap work(*bitmap_);
    work.SetPixelFormat(pf24bit);
    const QImage& pixels = work.Image();
    const qsizetype step = RowStep(pixels);
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(pixels.constScanLine(y));
    }
    const bool multiRow = MultiRow(step);
    const std::uint8_t quality = settings_.Quality;
    const bool gray = settings_.GrayOutput;
    const bool progressive = settings_.WriteProgressive;

    bool done = false;
    std::exception_ptr failure;
    try {
        if (!Guarded(err, [&] {
                jpeg_create_compress(&jpeg.c);
                jpeg.c.progress = &progress.pub;
                jpeg_mem_dest(&jpeg.c, &jpeg.buffer, &jpeg.size);
                jpeg.c.image_width = static_cast<JDIMENSION>(width);
                jpeg.c.image_height = static_cast<JDIMENSION>(height);
                jpeg.c.input_components = 3;
                jpeg.c.in_color_space = JCS_EXT_BGR;
                jpeg_set_defaults(&jpeg.c);
                jpeg_set_quality(&jpeg.c, quality, TRUE);
                if (gray) {
                    jpeg_set_colorspace(&jpeg.c, JCS_GRAYSCALE);
                }
                if (progressive) {
                    jpeg_simple_progression(&jpeg.c);
                }
            })) {
            RaiseFailure(err);
        }
        if (gray) {
            data_->Grayscale = true;
        }
        Progress(psStarting, 0, false, QRect());
        if (!Guarded(err, [&] {
                jpeg_start_compress(&jpeg.c, TRUE);
                while (jpeg.c.next_scanline < jpeg.c.image_height) {
                    const JDIMENSION next = jpeg.c.next_scanline;
                    const JDIMENSION count = multiRow ? jpeg.c.image_height - next : 1;
                    jpeg_write_scanlines(&jpeg.c, &rows[next], count);
                }
                jpeg_finish_compress(&jpeg.c);
            })) {
            RaiseFailure(err);
        }
        data_->Data = QByteArray(reinterpret_cast<const char*>(jpeg.buffer),
                                 static_cast<qsizetype>(jpeg.size));
        done = true;
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        Progress(psEnding, done ? 100 : 0, false, QRect());
    } catch (...) {
        if (!failure) {
            failure = std::current_exception();
        }
    }
    if (failure) {
        // No half-made bytes stay behind: the next write encodes again.
        NewData();
        try {
            std::rethrow_exception(failure);
        } catch (const EAbort&) {
            return;
        }
    }
}

TBitmap& TJPEGImage::DecodeBitmap() {
    if (bitmap_) {
        return *bitmap_;
    }
    bitmap_ = std::make_unique<TBitmap>();
    TBitmap& bitmap = *bitmap_;

    ErrorManager err;
    SetUpErrors(err);
    ProgressManager progress(this, err);
    Decompressor jpeg;
    jpeg.d.err = &err.pub;
    j_decompress_ptr d = &jpeg.d;

    // A copy shares the bytes and keeps them alive whatever the observer does.
    const QByteArray bytes = data_->Data.value_or(QByteArray());
    const TJPEGSettings settings = settings_;
    bool progressive = false;
    J_DCT_METHOD finalDct = JDCT_ISLOW;
    boolean finalTwoPass = FALSE;
    J_DITHER_MODE finalDither = JDITHER_FS;

    bool done = false;
    std::exception_ptr failure;
    try {
        if (!Guarded(err, [&] {
                jpeg_create_decompress(d);
                d->progress = &progress.pub;
                jpeg_mem_src(d, reinterpret_cast<const unsigned char*>(bytes.constData()),
                             static_cast<unsigned long>(bytes.size()));
                jpeg_read_header(d, TRUE);
                d->scale_num = 1;
                d->scale_denom = 1U << std::min<int>(settings.ScaleShift, 3);
                d->do_block_smoothing = settings.BlockSmoothing ? TRUE : FALSE;
                if (settings.GrayOutput) {
                    d->out_color_space = JCS_GRAYSCALE;
                } else if (d->out_color_space == JCS_RGB) {
                    d->out_color_space = JCS_EXT_BGR;
                }
                if (settings.PaletteOutput || settings.GrayOutput) {
                    d->quantize_colors = TRUE;
                    d->desired_number_of_colors = 236;
                }
                if (settings.FastDecode) {
                    d->dct_method = JDCT_IFAST;
                    d->two_pass_quantize = FALSE;
                    d->dither_mode = JDITHER_ORDERED;
                }
                finalDct = d->dct_method;
                finalTwoPass = d->two_pass_quantize;
                finalDither = d->dither_mode;
                if (settings.ShowProgressively && jpeg_has_multiple_scans(d)) {
                    progressive = true;
                    d->enable_2pass_quant = d->two_pass_quantize;
                    d->dct_method = JDCT_IFAST;
                    d->two_pass_quantize = FALSE;
                    d->dither_mode = JDITHER_ORDERED;
                    d->buffered_image = TRUE;
                }
            })) {
            RaiseFailure(err);
        }
        // A header that claims more than any picture may have fails before anything is
        // allocated; the decoder's own memory stays in proportion to the picture.
        if (PictureTooLarge(d->image_width, d->image_height)) {
            throw EInvalidGraphic(QString::fromStdString(
                "Picture too large: " + PictureTooLargeText(d->image_width, d->image_height)));
        }
        if (JpegDataTooShort(JpegCodedBlocks(*d), bytes.size())) {
            throw EInvalidGraphic(QString::fromStdString(
                DataTooShortText(bytes.size(), d->image_width, d->image_height)));
        }
        d->mem->max_memory_to_use = static_cast<long>(
            JpegDecoderMemory(static_cast<std::int64_t>(d->image_width) * d->image_height));
        const bool eightBit = settings.PaletteOutput || d->out_color_space == JCS_GRAYSCALE;
        bitmap.SetPixelFormat(eightBit ? pf8bit : pf24bit);
        Progress(psStarting, 0, false, QRect());

        bool mapped = false;
        if (tempPalette_) {
            // libjpeg maps only colour output onto a given map; gray output makes its own.
            if (settings.PaletteOutput && !tempPalette_->isEmpty() &&
                d->out_color_space != JCS_GRAYSCALE) {
                // Map the picture onto the given colours.
                const int count = static_cast<int>(std::min<qsizetype>(tempPalette_->size(), 256));
                JSAMPARRAY map = nullptr;
                const TPalette& palette = *tempPalette_;
                if (!Guarded(err, [&] {
                        map =
                            (*d->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(d), JPOOL_IMAGE,
                                                    static_cast<JDIMENSION>(count), 3);
                    })) {
                    RaiseFailure(err);
                }
                for (int i = 0; i < count; ++i) {
                    const QRgb c = palette[i];
                    map[0][i] = static_cast<JSAMPLE>(qBlue(c));
                    map[1][i] = static_cast<JSAMPLE>(qGreen(c));
                    map[2][i] = static_cast<JSAMPLE>(qRed(c));
                }
                d->colormap = map;
                d->actual_number_of_colors = count;
                bitmap.SetPalette(palette.mid(0, count));
                mapped = true;
            } else if (!settings.PaletteOutput) {
                tempPalette_.reset();
            }
        }
        const bool ownColormap = d->quantize_colors && !mapped;

        if (!Guarded(err, [&] { jpeg_start_decompress(d); })) {
            RaiseFailure(err);
        }
        const int outWidth = static_cast<int>(d->output_width);
        const int outHeight = static_cast<int>(d->output_height);
        if (eightBit) {
            // An indexed picture starts on index 0 under the table it is decoded for: the
            // given palette, libjpeg's own map (progressive display sets it on its first pass)
            // or, for plain gray samples, the gray ramp.
            TPalette table;
            if (mapped) {
                table = bitmap.Palette();
            } else if (ownColormap && !progressive) {
                table = PaletteFromColormap(d);
                SetPaletteModified(true);
            } else if (!d->quantize_colors) {
                table = GrayRamp();
            } else {
                table = {qRgb(0, 0, 0)};
            }
            QImage indexed(outWidth, outHeight, QImage::Format_Indexed8);
            indexed.setColorTable(table);
            indexed.fill(0);
            bitmap.SetImage(indexed, pf8bit);
        } else {
            bitmap.SetSize(outWidth, outHeight);
        }
        const qsizetype step = RowStep(bitmap.Image());
        const int perCall = MultiRow(step) ? std::max(d->rec_outbuf_height, 1) : 1;
        std::vector<JSAMPROW> rows(static_cast<std::size_t>(perCall));
        const auto readAll = [&] {
            uchar* const top = bitmap.ScanLine(0);
            while (d->output_scanline < d->output_height) {
                const int row = static_cast<int>(d->output_scanline);
                const int count = std::min(perCall, static_cast<int>(d->output_height) - row);
                for (int i = 0; i < count; ++i) {
                    rows[static_cast<std::size_t>(i)] = top + (row + i) * step;
                }
                jpeg_read_scanlines(d, rows.data(), static_cast<JDIMENSION>(count));
            }
        };

        if (!progressive) {
            if (!Guarded(err, readAll)) {
                RaiseFailure(err);
            }
        } else {
            bool firstPass = true;
            bool paletteNow = false;
            const auto passes = [&] {
                while (!jpeg_input_complete(d)) {
                    jpeg_start_output(d, d->input_scan_number);
                    if (firstPass && ownColormap && eightBit) {
                        firstPass = false;
                        paletteNow = true;
                        return; // the palette is set outside, then the pass goes on
                    }
                    readAll();
                    jpeg_finish_output(d);
                }
            };
            for (;;) {
                if (!Guarded(err, passes)) {
                    RaiseFailure(err);
                }
                if (!paletteNow) {
                    break;
                }
                paletteNow = false;
                bitmap.SetPalette(PaletteFromColormap(d));
                SetPaletteModified(true);
                if (!Guarded(err, [&] {
                        readAll();
                        jpeg_finish_output(d);
                    })) {
                    RaiseFailure(err);
                }
            }
            // Last pass with the final settings.
            d->dct_method = finalDct;
            d->two_pass_quantize = finalTwoPass;
            d->dither_mode = finalDither;
            if (!Guarded(err, [&] { jpeg_start_output(d, d->input_scan_number); })) {
                RaiseFailure(err);
            }
            if (ownColormap && finalTwoPass) {
                bitmap.SetPalette(PaletteFromColormap(d));
                SetPaletteModified(true);
            }
            if (!Guarded(err, [&] {
                    readAll();
                    jpeg_finish_output(d);
                })) {
                RaiseFailure(err);
            }
        }
        if (!Guarded(err, [&] { jpeg_finish_decompress(d); })) {
            RaiseFailure(err);
        }
        done = true;
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        Progress(psEnding, done ? 100 : 0, PaletteModified(), QRect());
        if (PaletteModified()) {
            NotifyChanged();
        }
    } catch (...) {
        if (!failure) {
            failure = std::current_exception();
        }
    }
    if (failure) {
        // The bitmap decoded so far stays; an abort by the observer goes no further.
        try {
            std::rethrow_exception(failure);
        } catch (const EAbort&) {
        }
    }
    return bitmap;
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
