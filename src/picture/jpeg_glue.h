#pragma once

// What the JPEG graphic's encoding, decoding and header reading share over libjpeg: an error
// manager that leaves libjpeg by a jump and raises afterwards, the progress hook, and the
// compression and decompression objects that clean up after themselves.

#include "framework/system.h"
#include "picture/jpeg_image.h"

#include <QImage>
#include <QRect>
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <jpeglib.h>

namespace pelisto::jpeg_glue {

// libjpeg is C: an error must not unwind through it. Its error exit and our callbacks jump
// back (longjmp) to the C++ frame that called into the library, which then raises. The code
// that runs between setjmp and a possible longjmp holds no object with a destructor.
struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer is also ours
    std::jmp_buf jump;
    int code = 0;
    std::exception_ptr pending; // raised by one of our callbacks
};

inline void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = err->pub.msg_code;
    std::longjmp(err->jump, 1);
}

// Warnings and traces are dropped: damaged data shows as far as libjpeg can decode it.
inline void EmitMessage(j_common_ptr, int) {}
inline void OutputMessage(j_common_ptr) {}
inline void FormatMessage(j_common_ptr, char* buffer) {
    buffer[0] = '\0';
}
inline void ResetErrorManager(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

inline void SetUpErrors(ErrorManager& err) {
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

[[noreturn]] inline void RaiseFailure(const ErrorManager& err) {
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

inline void ProgressHook(j_common_ptr cinfo) {
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
inline qsizetype RowStep(const QImage& image) {
    if (image.height() < 2) {
        return image.bytesPerLine();
    }
    return image.constScanLine(1) - image.constScanLine(0);
}

inline bool MultiRow(qsizetype step) {
    return step > 0 && step % 4 == 0;
}

} // namespace pelisto::jpeg_glue
