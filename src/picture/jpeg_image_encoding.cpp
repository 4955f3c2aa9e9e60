// The JPEG graphic's encoding of its bitmap.

#include "picture/jpeg_image.h"

#include "framework/graphics/bitmap.h"
#include "picture/jpeg_glue.h"

namespace pelisto {

using namespace jpeg_glue;

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

} // namespace pelisto
