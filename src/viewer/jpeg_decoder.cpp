#include "viewer/jpeg_decoder.h"

#include "slideshow/picture_limit.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace pelisto {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return; we jump back to
// the decoding function, whose frame holds no objects constructed after the jump point.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    std::vector<std::string>* warnings;
    bool cancelled;
};

void ExitOnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (cinfo->err->msg_code == JERR_NO_BACKING_STORE) {
        std::snprintf(err->message, sizeof err->message,
                      "the picture needs more memory than a slideshow picture may take");
    } else {
        (*cinfo->err->format_message)(cinfo, err->message);
    }
    std::longjmp(err->jump, 1);
}

struct CancelHook {
    jpeg_progress_mgr pub;
    const std::atomic<bool>* cancel;
};

// Called by libjpeg between rows of blocks and between passes: the way out of a long decode.
void CheckCancel(j_common_ptr cinfo) {
    const auto* hook = reinterpret_cast<CancelHook*>(cinfo->progress);
    if (hook->cancel->load(std::memory_order_relaxed)) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        err->cancelled = true;
        std::snprintf(err->message, sizeof err->message, "cancelled");
        std::longjmp(err->jump, 1);
    }
}

void CollectWarning(j_common_ptr cinfo, int level) {
    // Level -1 is a warning about damaged data; the rest is trace output.
    if (level < 0) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        if (err->warnings != nullptr && err->warnings->size() < 4) {
            char text[JMSG_LENGTH_MAX];
            (*cinfo->err->format_message)(cinfo, text);
            err->warnings->emplace_back(text);
        }
        cinfo->err->num_warnings++;
    }
}

// Owns the decompressor so every exit path destroys it.
struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    Decompressor() {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = ExitOnError;
        err.pub.emit_message = CollectWarning;
        jpeg_create_decompress(&cinfo);
        // The header alone until its size is known (CheckSize).
        cinfo.mem->max_memory_to_use = JpegDecoderMemory(0);
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// Runs libjpeg calls; a fatal error jumps back here and leaves as an exception. `body` must
// not hold objects with destructors of its own: the jump skips its frame.
template <class Body> void Guarded(Decompressor& d, Body&& body) {
    if (setjmp(d.err.jump) != 0) {
        if (d.err.cancelled) {
            throw JpegDecodeCancelled(d.err.message);
        }
        throw JpegDecodeError(d.err.message);
    }
    body();
}

void CheckInput(std::span<const std::uint8_t> jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        throw JpegDecodeError("not a JPEG picture (no start-of-image marker)");
    }
}

// Adobe CMYK JPEGs store inverted inks; others store them plain.
void CmykToPixels(const JSAMPLE* row, std::uint32_t* out, int width, bool inverted) {
    for (int x = 0; x < width; ++x, row += 4) {
        unsigned c = row[0], m = row[1], y = row[2], k = row[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        const unsigned r = c * k / 255, g = m * k / 255, b = y * k / 255;
        out[x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
}

// The header's size against the picture limit, before anything sized by it is allocated;
// progressive pictures keep every coefficient, whatever the output scale, within the allowance.
void CheckSize(jpeg_decompress_struct& cinfo) {
    if (!PictureSizeAllowed(cinfo.image_width, cinfo.image_height)) {
        throw JpegDecodeError("picture too large: " +
                              PictureTooLargeText(cinfo.image_width, cinfo.image_height));
    }
    cinfo.mem->max_memory_to_use = static_cast<long>(
        JpegDecoderMemory(static_cast<std::int64_t>(cinfo.image_width) * cinfo.image_height));
}

} // namespace

void ReadJpegSize(std::span<const std::uint8_t> jpeg, int& width, int& height) {
    CheckInput(jpeg);
    Decompressor d;
    Guarded(d, [&] {
        jpeg_mem_src(&d.cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&d.cinfo, TRUE);
    });
    CheckSize(d.cinfo);
    width = static_cast<int>(d.cinfo.image_width);
    height = static_cast<int>(d.cinfo.image_height);
}

DecodedPicture DecodeJpeg(std::span<const std::uint8_t> jpeg, int wantWidth, int wantHeight,
                          const std::atomic<bool>* cancel) {
    CheckInput(jpeg);
    DecodedPicture picture;
    Decompressor d;
    d.err.warnings = &picture.warnings;
    CancelHook hook{};
    if (cancel != nullptr) {
        hook.pub.progress_monitor = CheckCancel;
        hook.cancel = cancel;
        d.cinfo.progress = &hook.pub;
    }
    Guarded(d, [&] {
        jpeg_mem_src(&d.cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&d.cinfo, TRUE);
    });
    CheckSize(d.cinfo);
    picture.naturalWidth = static_cast<int>(d.cinfo.image_width);
    picture.naturalHeight = static_cast<int>(d.cinfo.image_height);

    const bool cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
    d.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;

    // Smallest eighth that covers the wanted size and stays within the side limit.
    const long long naturalW = d.cinfo.image_width, naturalH = d.cinfo.image_height;
    int eighths = 1;
    while (eighths < 8 &&
           (naturalW * eighths < 8LL * wantWidth || naturalH * eighths < 8LL * wantHeight)) {
        ++eighths;
    }
    while (eighths > 1 && std::max(naturalW, naturalH) * eighths > 8LL * kMaxDecodedSide) {
        --eighths;
    }
    d.cinfo.scale_num = static_cast<unsigned>(eighths);
    d.cinfo.scale_denom = 8;
    Guarded(d, [&] { jpeg_calc_output_dimensions(&d.cinfo); });
    if (d.cinfo.output_width > kMaxDecodedSide || d.cinfo.output_height > kMaxDecodedSide) {
        throw JpegDecodeError("picture too large (" + std::to_string(naturalW) + " x " +
                              std::to_string(naturalH) + ")");
    }
    picture.eighths = eighths;
    picture.width = static_cast<int>(d.cinfo.output_width);
    picture.height = static_cast<int>(d.cinfo.output_height);
    picture.pixels.resize(static_cast<std::size_t>(picture.width) *
                          static_cast<std::size_t>(picture.height));
    std::vector<JSAMPLE> cmykRow(cmyk ? static_cast<std::size_t>(picture.width) * 4 : 0);

    Guarded(d, [&] {
        jpeg_start_decompress(&d.cinfo);
        while (d.cinfo.output_scanline < d.cinfo.output_height) {
            std::uint32_t* out =
                picture.pixels.data() + static_cast<std::size_t>(d.cinfo.output_scanline) *
                                            static_cast<std::size_t>(picture.width);
            JSAMPROW row = cmyk ? cmykRow.data() : reinterpret_cast<JSAMPROW>(out);
            jpeg_read_scanlines(&d.cinfo, &row, 1);
            if (cmyk) {
                CmykToPixels(cmykRow.data(), out, picture.width, d.cinfo.saw_Adobe_marker);
            }
        }
        jpeg_finish_decompress(&d.cinfo);
    });
    return picture;
}

} // namespace pelisto
