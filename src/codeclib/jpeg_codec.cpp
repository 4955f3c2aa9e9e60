#include "codeclib/jpeg_codec.h"

#include "codeclib/dib_scaling.h"
#include "codeclib/error_detail.h"
#include "codeclib/exif_orientation.h"
#include "codeclib/file_identify.h"
#include "codeclib/jpeg_claims.h"
#include "codeclib/picture_profile.h"
#include "slideshow/picture_limit.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <jerror.h>
#include <jpeglib.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace pelisto::codec {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return; we jump back to the
// call that started the work. Only plain data lives between setjmp and the jump.
struct JumpError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool outOfMemory;
    // The data ended before the picture did; libjpeg only warns and fills the rest with gray.
    bool truncated;
    // libjpeg's own words for the fatal error, kept as the failure's detail.
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JumpError*>(cinfo->err);
    // Without backing store, a picture that needs more than its allowance stops here.
    err->outOfMemory =
        cinfo->err->msg_code == JERR_OUT_OF_MEMORY || cinfo->err->msg_code == JERR_NO_BACKING_STORE;
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void Silent(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<JumpError*>(cinfo->err)->truncated = true;
    }
}

void InitError(JumpError& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = Silent;
    err.outOfMemory = false;
    err.truncated = false;
    err.message[0] = '\0';
}

long MemoryAllowance(const jpeg_decompress_struct& cinfo) {
    return static_cast<long>(JpegDecoderMemory(static_cast<std::int64_t>(cinfo.image_width) *
                                               static_cast<std::int64_t>(cinfo.image_height)));
}

bool Report(PLProgressProc progress, void* data, int percent) {
    return progress == nullptr || progress(percent, data) != 0;
}

// Ink to light: each colour is what its ink and the black ink leave of white.
void CmykToBgr(const JSAMPLE* in, std::uint8_t* out, int width, bool inverted) {
    for (int x = 0; x < width; ++x) {
        const JSAMPLE* p = in + 4 * x;
        const unsigned k = inverted ? p[3] : 255u - p[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? p[c] : 255u - p[c];
            // red, green, blue from cyan, magenta, yellow land at bytes 2, 1, 0
            out[3 * x + 2 - c] = static_cast<std::uint8_t>((ink * k + 127) / 255);
        }
    }
}

struct ReadState {
    jpeg_decompress_struct cinfo;
    JumpError err;
    void* block;
    bool cancelled;
    int orientation;
    std::int64_t width;
    std::int64_t height;
    std::int64_t truncatedAt; // the picture row where the data ran out, when it did
    std::int64_t fileBytes;
    bool tooShort; // the file cannot hold the picture its header claims
    int minWidth;  // the upright size the decoded picture may not go below; 0: full size
    int minHeight;
    DibScaler* scaler; // takes the rows and makes them exactly the minimum size, when it is set
    JOCTET* profile; // the ICC profile from the APP2 chunks (std::malloc'd by libjpeg)
    unsigned profileBytes;
};

// The largest of libjpeg's reductions 1/2, 1/4, 1/8 whose output (sides rounded up) still
// covers the minimum; 1 when none does.
unsigned ReductionCovering(std::int64_t width, std::int64_t height, int minWidth, int minHeight) {
    if (minWidth <= 0 || minHeight <= 0) {
        return 1;
    }
    for (unsigned d = 8; d > 1; d /= 2) {
        if ((width + d - 1) / d >= minWidth && (height + d - 1) / d >= minHeight) {
            return d;
        }
    }
    return 1;
}

// The EXIF orientation among the markers that libjpeg kept (APP1 only is kept).
int SavedOrientation(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            const int orientation = exif::OrientationOfApp1(m->data, m->data_length);
            if (orientation != exif::Upright) {
                return orientation;
            }
        }
    }
    return exif::Upright;
}

// Kept apart from its caller so that nothing with a destructor spans the setjmp.
std::int16_t DecodeInto(ReadState& s, std::FILE* file, void* data, PLProgressProc progress) {
    s.cinfo.err = &s.err.pub;
    InitError(s.err);
    if (setjmp(s.err.jump)) {
        jpeg_destroy_decompress(&s.cinfo);
        std::free(s.block);
        s.block = nullptr;
        return s.err.outOfMemory ? ErrMemory : ErrDamaged;
    }
    jpeg_create_decompress(&s.cinfo);
    jpeg_stdio_src(&s.cinfo, file);
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&s.cinfo, TRUE);
    // Chunks that are missing or out of order give no profile (libjpeg only warns).
    if (!jpeg_read_icc_profile(&s.cinfo, &s.profile, &s.profileBytes)) {
        s.profile = nullptr;
    }
    s.width = s.cinfo.image_width;
    s.height = s.cinfo.image_height;
    if (PictureTooLarge(s.width, s.height)) {
        jpeg_destroy_decompress(&s.cinfo);
        return ErrTooLarge;
    }
    if (JpegDataTooShort(JpegCodedBlocks(s.cinfo), s.fileBytes)) {
        s.tooShort = true;
        jpeg_destroy_decompress(&s.cinfo);
        return ErrDamaged;
    }
    s.cinfo.mem->max_memory_to_use = MemoryAllowance(s.cinfo);
    s.orientation = SavedOrientation(&s.cinfo);
    {
        // The minimum is upright; the stored picture may lie on its side.
        const bool swap = exif::SwapsSides(s.orientation);
        s.cinfo.scale_num = 1;
        s.cinfo.scale_denom = ReductionCovering(s.width, s.height, swap ? s.minHeight : s.minWidth,
                                                swap ? s.minWidth : s.minHeight);
    }
    const bool gray = s.cinfo.num_components == 1;
    // Print tools write CMYK (or YCCK, which libjpeg turns into CMYK); with an Adobe marker the
    // samples are stored inverted, as those tools have always written them.
    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    const bool inverted = cmyk && s.cinfo.saw_Adobe_marker;
    if (gray) {
        s.cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (cmyk) {
        s.cinfo.out_color_space = JCS_CMYK;
    } else {
        s.cinfo.out_color_space = JCS_EXT_BGR;
    }
    jpeg_start_decompress(&s.cinfo);
    const int width = static_cast<int>(s.cinfo.output_width);
    const int height = static_cast<int>(s.cinfo.output_height);
    const auto pool = [&](JDIMENSION bytes) {
        return (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo), JPOOL_IMAGE,
                                            bytes, 1);
    };
    // Rows that go to the scaler pass through one row of the decompressor's memory; the
    // picture is never held at the decoded size.
    const bool swap = exif::SwapsSides(s.orientation);
    const int toWidth = swap ? s.minHeight : s.minWidth;
    const int toHeight = swap ? s.minWidth : s.minHeight;
    // Only reduced, and only as far as the scaler's filter has pixels to work on.
    const bool scaled = s.scaler != nullptr && toWidth <= width && toHeight <= height &&
                        (toWidth < width || toHeight < height) &&
                        std::min(width, height) >= kSmallestScaledSide;
    if (scaled) {
        if (!s.scaler->Start(width, height, gray, toWidth, toHeight)) {
            jpeg_destroy_decompress(&s.cinfo);
            return ErrMemory;
        }
    } else {
        s.block = dib::Allocate(width, height, gray ? 8 : 24, gray ? 256 : 0);
        if (s.block == nullptr) {
            jpeg_destroy_decompress(&s.cinfo);
            return ErrMemory;
        }
    }
    s.truncatedAt = -1;
    dib::DibView v = dib::View(s.block);
    if (gray && !scaled) {
        dib::FillGrayTable(v.colours, 256);
    }
    JSAMPARRAY pixels =
        scaled ? pool(s.cinfo.output_width * static_cast<JDIMENSION>(gray ? 1 : 3)) : nullptr;
    // CMYK rows are read here and made RGB; the buffer lives as long as the decompressor.
    JSAMPARRAY inks = cmyk ? pool(s.cinfo.output_width * 4) : nullptr;
    // Asked after every row: a cancel stops the picture at its next row.
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        const int y = static_cast<int>(s.cinfo.output_scanline);
        std::uint8_t* const out = scaled ? pixels[0] : v.Row(y);
        JSAMPROW row = cmyk ? inks[0] : out;
        jpeg_read_scanlines(&s.cinfo, &row, 1);
        if (s.err.truncated && s.truncatedAt < 0) {
            // Counted in the picture's own rows, whatever the scale it is decoded at.
            s.truncatedAt = std::int64_t{y} * s.height / height;
        }
        if (cmyk) {
            CmykToBgr(inks[0], out, width, inverted);
        }
        if (scaled && !s.scaler->Push(out)) {
            jpeg_abort_decompress(&s.cinfo);
            jpeg_destroy_decompress(&s.cinfo);
            return ErrMemory;
        }
        if (!Report(progress, data, static_cast<int>(std::int64_t{y} * 100 / height))) {
            s.cancelled = true;
            jpeg_abort_decompress(&s.cinfo);
            jpeg_destroy_decompress(&s.cinfo);
            std::free(s.block);
            s.block = nullptr;
            return ErrCancelled;
        }
    }
    jpeg_finish_decompress(&s.cinfo);
    jpeg_destroy_decompress(&s.cinfo);
    if (scaled && !s.err.truncated) {
        s.block = s.scaler->Finish();
        if (s.block == nullptr) {
            return ErrMemory;
        }
    }
    // A cut file is damaged, not a picture with a gray bottom.
    if (s.err.truncated) {
        std::free(s.block);
        s.block = nullptr;
        return ErrDamaged;
    }
    if (!Report(progress, data, 100)) {
        std::free(s.block);
        s.block = nullptr;
        return ErrCancelled;
    }
    return Ok;
}

struct WriteState {
    jpeg_compress_struct cinfo;
    JumpError err;
};

std::int16_t EncodeFrom(WriteState& s, std::FILE* file, const dib::DibView& v, int quality,
                        int smooth, bool gray, std::uint8_t* rowBuffer, void* data,
                        PLProgressProc progress) {
    s.cinfo.err = &s.err.pub;
    InitError(s.err);
    if (setjmp(s.err.jump)) {
        jpeg_destroy_compress(&s.cinfo);
        SetErrorDetail(s.err.message);
        return s.err.outOfMemory ? ErrMemory : ErrWrite;
    }
    jpeg_create_compress(&s.cinfo);
    jpeg_stdio_dest(&s.cinfo, file);
    s.cinfo.image_width = static_cast<JDIMENSION>(v.width);
    s.cinfo.image_height = static_cast<JDIMENSION>(v.height);
    const bool direct32 = v.bits == 32 && v.header->biCompression == dib::BI_RGB;
    s.cinfo.input_components = direct32 ? 4 : 3;
    s.cinfo.in_color_space = direct32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(&s.cinfo);
    if (gray) {
        jpeg_set_colorspace(&s.cinfo, JCS_GRAYSCALE);
    }
    jpeg_set_quality(&s.cinfo, quality, TRUE);
    s.cinfo.smoothing_factor = smooth;
    s.cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&s.cinfo, TRUE);
    // Asked after every row, as in reading.
    while (s.cinfo.next_scanline < s.cinfo.image_height) {
        const int y = static_cast<int>(s.cinfo.next_scanline);
        const std::uint8_t* src = v.Row(y);
        JSAMPROW row = const_cast<JSAMPROW>(src);
        if (v.bits <= 8) {
            for (int x = 0; x < v.width; ++x) {
                unsigned index = dib::IndexAt(src, x, v.bits);
                const dib::RgbQuad c =
                    index < v.colourCount ? v.colours[index] : dib::RgbQuad{0, 0, 0, 0};
                rowBuffer[3 * x] = c.blue;
                rowBuffer[3 * x + 1] = c.green;
                rowBuffer[3 * x + 2] = c.red;
            }
            row = rowBuffer;
        }
        jpeg_write_scanlines(&s.cinfo, &row, 1);
        if (!Report(progress, data, static_cast<int>(std::int64_t{y} * 100 / v.height))) {
            jpeg_abort_compress(&s.cinfo);
            jpeg_destroy_compress(&s.cinfo);
            return ErrCancelled;
        }
    }
    jpeg_finish_compress(&s.cinfo);
    jpeg_destroy_compress(&s.cinfo);
    return Report(progress, data, 100) ? Ok : ErrCancelled;
}

} // namespace

std::int16_t JpegReadInfo(std::FILE* file, JpegInfo& info) {
    struct State {
        jpeg_decompress_struct cinfo;
        JumpError err;
    } s{};
    s.cinfo.err = &s.err.pub;
    InitError(s.err);
    if (setjmp(s.err.jump)) {
        jpeg_destroy_decompress(&s.cinfo);
        SetErrorDetail(s.err.message);
        return ErrDamaged;
    }
    jpeg_create_decompress(&s.cinfo);
    jpeg_stdio_src(&s.cinfo, file);
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&s.cinfo, TRUE);
    info.width = static_cast<int>(s.cinfo.image_width);
    info.height = static_cast<int>(s.cinfo.image_height);
    info.orientation = SavedOrientation(&s.cinfo);
    info.components = s.cinfo.num_components;
    info.progressive = s.cinfo.progressive_mode != 0;
    jpeg_destroy_decompress(&s.cinfo);
    return CheckPictureSize(info.width, info.height);
}

std::int16_t JpegRead(std::FILE* file, void** dib, void* data, PLProgressProc progress,
                      int minWidth, int minHeight, bool exact) {
    ReadState s{};
    s.minWidth = minWidth;
    s.minHeight = minHeight;
    DibScaler scaler;
    s.scaler = exact && minWidth > 0 && minHeight > 0 ? &scaler : nullptr;
    struct stat st {};
    s.fileBytes = fstat(fileno(file), &st) == 0 ? st.st_size : INT64_MAX;
    const std::int16_t status = DecodeInto(s, file, data, progress);
    if (status == ErrTooLarge) {
        CheckPictureSize(s.width, s.height);
    } else if (status == ErrMemory && s.err.message[0] != '\0') {
        SetErrorDetail(std::to_string(s.width) + " x " + std::to_string(s.height) +
                       " pixels: the decoder would need more memory than such a picture may "
                       "take (" +
                       s.err.message + ")");
    } else if (s.tooShort) {
        SetErrorDetail(DataTooShortText(s.fileBytes, s.width, s.height));
    } else if (status == ErrDamaged) {
        SetErrorDetail(s.err.message[0] != '\0' ? std::string(s.err.message)
                       : s.truncatedAt > 0
                           ? "the data ends at row " + std::to_string(s.truncatedAt) + " of " +
                                 std::to_string(s.height)
                           : std::string("the data ends before the picture does"));
    }
    if (status > 0 && s.profile != nullptr) {
        SetPictureProfile(s.profile, s.profileBytes);
    }
    std::free(s.profile);
    if (status > 0) {
        *dib = s.block;
        // Shown as the camera meant it: upright.
        if (s.orientation != exif::Upright) {
            void* upright = exif::UprightDib(s.block, s.orientation);
            std::free(s.block);
            *dib = upright;
            if (upright == nullptr) {
                return ErrMemory;
            }
        }
    }
    return status;
}

std::int16_t JpegWrite(std::FILE* file, const dib::DibView& view, int quality, int smooth,
                       bool gray, void* data, PLProgressProc progress) {
    if (!view || view.header->biCompression == dib::BI_RLE4 ||
        view.header->biCompression == dib::BI_RLE8) {
        return ErrArgument;
    }
    std::vector<std::uint8_t> rowBuffer(static_cast<std::size_t>(view.width) * 3 + 4);
    WriteState s{};
    const std::int16_t status =
        EncodeFrom(s, file, view, std::clamp(quality, 1, 100), std::clamp(smooth, 0, 100), gray,
                   rowBuffer.data(), data, progress);
    if (status > 0 && (std::fflush(file) != 0 || std::ferror(file))) {
        SetErrorDetailFromErrno(errno);
        return ErrWrite;
    }
    return status;
}

} // namespace pelisto::codec
