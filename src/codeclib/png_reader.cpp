#include "codeclib/png_reader.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/error_detail.h"
#include "codeclib/file_identify.h"
#include "codeclib/picture_profile.h"
#include "slideshow/byte_order.h"
#include "slideshow/picture_limit.h"

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

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
    auto* message = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(message, 256, "%s", text);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {
    // Damaged but readable data is read as far as it goes, without a word.
}

// Lays a pixel with alpha on white.
std::uint8_t OnWhite(unsigned value, unsigned alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

std::string ChunkName(const std::uint8_t* type) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        name += type[i] >= 0x20 && type[i] < 0x7F ? static_cast<char>(type[i]) : '?';
    }
    return name;
}

// The colour table of an indexed picture: its palette with transparent entries laid on white,
// or the gray ramp of its depth.
void FillTable(PngState& s, dib::RgbQuad* table, int entries, bool gray, int depth) {
    if (gray) {
        const int top = (1 << depth) - 1;
        for (int i = 0; i < entries; ++i) {
            const auto v = static_cast<std::uint8_t>(i * 255 / top);
            table[i] = {v, v, v, 0};
        }
        return;
    }
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(s.png, s.info, &palette, &count);
    png_bytep alpha = nullptr;
    int alphas = 0;
    if (png_get_valid(s.png, s.info, PNG_INFO_tRNS)) {
        png_get_tRNS(s.png, s.info, &alpha, &alphas, nullptr);
    }
    for (int i = 0; i < entries && i < count; ++i) {
        const unsigned a = i < alphas && alpha != nullptr ? alpha[i] : 255u;
        table[i] = {OnWhite(palette[i].blue, a), OnWhite(palette[i].green, a),
                    OnWhite(palette[i].red, a), 0};
    }
}

std::int16_t Decode(PngState& s, std::FILE* file) {
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s.message, OnError, OnWarning);
    if (s.png == nullptr) {
        return ErrMemory;
    }
    LimitPngReader(s.png);
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
    const bool keyed = png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0;
    const bool gray = (type & PNG_COLOR_MASK_COLOR) == 0;
    const int width = static_cast<int>(s.width);
    const int height = static_cast<int>(s.height);
    // Palette pictures and low-depth gray ones without transparency keep their indexes: 1 and 4
    // bits are packed as a DIB packs them, 2 bits are spread to a byte.
    const bool indexed = type == PNG_COLOR_TYPE_PALETTE || (gray && depth < 8 && !keyed);
    if (indexed) {
        const int bits = depth == 2 ? 8 : depth;
        const int entries = 1 << depth;
        if (depth == 2) {
            png_set_packing(s.png);
        }
        png_set_interlace_handling(s.png);
        png_read_update_info(s.png, s.info);
        s.block = dib::Allocate(width, height, bits, static_cast<std::uint32_t>(entries));
        s.rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * s.height));
        if (s.block == nullptr || s.rows == nullptr) {
            return ErrMemory;
        }
        const dib::DibView v = dib::View(s.block);
        FillTable(s, v.colours, entries, gray, depth);
        for (int y = 0; y < height; ++y) {
            s.rows[y] = v.Row(y);
        }
        png_read_image(s.png, s.rows);
        png_read_end(s.png, nullptr);
        return Ok;
    }
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || keyed;
    if (keyed) {
        png_set_tRNS_to_alpha(s.png);
    }
    if (gray && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(s.png);
    }
    png_set_scale_16(s.png);
    if (gray && alpha) {
        png_set_gray_to_rgb(s.png);
    }
    png_set_bgr(s.png);
    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
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

void LimitPngReader(png_structp png) {
    png_set_user_limits(png, static_cast<png_uint_32>(MaxPictureSide),
                        static_cast<png_uint_32>(MaxPictureSide));
    // ICC profiles are the largest chunks worth keeping; a few hundred text chunks are plenty.
    png_set_chunk_malloc_max(png, png_alloc_size_t{16} << 20);
    png_set_chunk_cache_max(png, 1000);
}

std::int16_t CheckPngClaims(std::FILE* file) {
    struct stat st {};
    if (fstat(fileno(file), &st) != 0) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    const std::int64_t fileBytes = st.st_size;
    std::uint8_t head[8];
    std::int64_t at = 8;
    std::int64_t data = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t pixelBits = 0;
    const auto refuse = [&](const std::string& why) {
        SetErrorDetail(why);
        std::rewind(file);
        return ErrDamaged;
    };
    while (std::fseek(file, static_cast<long>(at), SEEK_SET) == 0 &&
           std::fread(head, 1, 8, file) == 8) {
        const std::int64_t length = bytes::Be32(head);
        const std::string name = ChunkName(head + 4);
        if (length > 0x7FFFFFFF || at + 12 + length > fileBytes) {
            return refuse("the " + name + " chunk claims " + std::to_string(length) +
                          " bytes, beyond the file's end (" + std::to_string(fileBytes) +
                          " bytes)");
        }
        if (name == "IHDR" && length >= 13) {
            std::uint8_t ihdr[13];
            if (std::fread(ihdr, 1, 13, file) != 13) {
                break;
            }
            width = bytes::Be32(ihdr);
            height = bytes::Be32(ihdr + 4);
            const int channels[] = {1, 0, 3, 1, 2, 0, 4};
            pixelBits = static_cast<std::int64_t>(ihdr[8]) * (ihdr[9] <= 6 ? channels[ihdr[9]] : 0);
            if (PictureTooLarge(width, height)) {
                std::rewind(file);
                return CheckPictureSize(width, height);
            }
        } else if (name == "IDAT") {
            data += length;
        } else if (name == "IEND") {
            break;
        }
        at += 12 + length;
    }
    std::rewind(file);
    // The pixels alone, without filter bytes or row padding: a bound for interlaced files too.
    const std::int64_t unpacked = height * width * pixelBits / 8;
    if (PngDataTooShort(unpacked, data)) {
        SetErrorDetail(DataTooShortText(data, width, height));
        return ErrDamaged;
    }
    return Ok;
}

std::int16_t PngRead(std::FILE* file, void** dib) {
    if (const std::int16_t claims = CheckPngClaims(file); claims <= 0) {
        return claims;
    }
    PngState s;
    const std::int16_t status = Decode(s, file);
    png_charp profileName = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileBytes = 0;
    if (status > 0 &&
        png_get_iCCP(s.png, s.info, &profileName, &compression, &profile, &profileBytes) != 0) {
        SetPictureProfile(profile, profileBytes);
    }
    png_destroy_read_struct(s.png != nullptr ? &s.png : nullptr,
                            s.info != nullptr ? &s.info : nullptr, nullptr);
    std::free(s.pixels);
    std::free(s.rows);
    if (status == ErrTooLarge) {
        CheckPictureSize(s.width, s.height);
    } else if (status == ErrDamaged) {
        SetErrorDetail(s.message);
    }
    if (status <= 0) {
        std::free(s.block);
        return status;
    }
    *dib = s.block;
    return Ok;
}

} // namespace pelisto::codec
