// The JPEG graphic's decoding into its bitmap: scaled, smoothed, gray or mapped to a palette,
// shown progressively while it decodes.

#include "picture/jpeg_image.h"

#include "codeclib/jpeg_claims.h"
#include "framework/graphics/bitmap.h"
#include "picture/jpeg_glue.h"
#include "slideshow/picture_limit.h"

namespace pelisto {

using namespace jpeg_glue;

namespace {

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

} // namespace

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

} // namespace pelisto
