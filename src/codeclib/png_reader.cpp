#include "codeclib/png_reader.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/error_detail.h"
#include "codeclib/file_identify.h"
#include "slideshow/picture_limit.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <string>

namespace pelisto::codec {
namespace {

// Only plain data: libpng leaves its calls by longjmp.
struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    void* block = nullptr;
    png_bytep pixels = nullptr; // the rows with their alpha, when they have one
    png_bytepp rows = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    char message[256] = {};
};

void OnError(png_structp png, png_const_charp text) {
    auto* s = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof(s->message), "%s", text);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {
    // Damaged but readable data is read as far as it goes, without a word.
}

// Lays a pixel with alpha on white, as the general path does.
std::uint8_t OnWhite(unsigned value, unsigned alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

std::int16_t Decode(PngState& s, std::FILE* file, bool& handled) {
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (s.png == nullptr) {
        return ErrMemory;
    }
    s.info = png_create_info_struct(s.png);
    if (s.info == nullptr) {
        return ErrMemory;
    }
    if (setjmp(png_jmpbuf(s.png))) {
        return ErrDamaged;
    }
    png_init_io(s.png, file);
    png_read_info(s.png, s.info);
    int depth = 0;
    int type = 0;
    png_get_IHDR(s.png, s.info, &s.width, &s.height, &depth, &type, nullptr, nullptr, nullptr);
    if (PictureTooLarge(s.width, s.height)) {
        return ErrTooLarge;
    }
    if (type == PNG_COLOR_TYPE_PALETTE || depth < 8) {
        handled = false;
        return Ok;
    }
    handled = true;
    const bool keyed = png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0;
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || keyed;
    const bool gray = (type & PNG_COLOR_MASK_COLOR) == 0;
    if (keyed) {
        png_set_tRNS_to_alpha(s.png);
    }
    png_set_scale_16(s.png);
    if (gray && alpha) {
        png_set_gray_to_rgb(s.png);
    }
    png_set_bgr(s.png);
    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    const int width = static_cast<int>(s.width);
    const int height = static_cast<int>(s.height);
    const int bits = gray && !alpha ? 8 : 24;
    s.block = dib::Allocate(width, height, bits, bits == 8 ? 256 : 0);
    s.rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * s.height));
    const std::size_t alphaRow = static_cast<std::size_t>(width) * 4;
    if (alpha) {
        s.pixels = static_cast<png_bytep>(std::malloc(alphaRow * s.height));
    }
    if (s.block == nullptr || s.rows == nullptr || (alpha && s.pixels == nullptr)) {
        return ErrMemory;
    }
    const dib::DibView v = dib::View(s.block);
    if (bits == 8) {
        dib::FillGrayTable(v.colours, 256);
    }
    for (int y = 0; y < height; ++y) {
        s.rows[y] = alpha ? s.pixels + alphaRow * static_cast<std::size_t>(y) : v.Row(y);
    }
    png_read_image(s.png, s.rows);
    png_read_end(s.png, nullptr);
    if (alpha) {
        for (int y = 0; y < height; ++y) {
            const png_bytep in = s.rows[y];
            std::uint8_t* out = v.Row(y);
            for (int x = 0; x < width; ++x) {
                const unsigned a = in[4 * x + 3];
                for (int c = 0; c < 3; ++c) {
                    out[3 * x + c] = OnWhite(in[4 * x + c], a);
                }
            }
        }
    }
    return Ok;
}

} // namespace

std::int16_t PngRead(std::FILE* file, void** dib, bool& handled) {
    handled = true;
    PngState s;
    const std::int16_t status = Decode(s, file, handled);
    png_destroy_read_struct(s.png != nullptr ? &s.png : nullptr,
                            s.info != nullptr ? &s.info : nullptr, nullptr);
    std::free(s.pixels);
    std::free(s.rows);
    if (status == ErrTooLarge) {
        CheckPictureSize(s.width, s.height);
    } else if (status == ErrDamaged) {
        SetErrorDetail(s.message);
    }
    if (status <= 0 || !handled) {
        std::free(s.block);
        return status;
    }
    *dib = s.block;
    return Ok;
}

} // namespace pelisto::codec
