// The quarter turn of a PNG file through libpng: the raw rows are turned as stored (any depth,
// palette or not), and every chunk that is not the pixels is written again.

#include "codeclib/codec_api.h"
#include "codeclib/error_detail.h"
#include "codeclib/packed_turn.h"
#include "codeclib/png_reader.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace pelisto::codec {
namespace {

// Only plain data: libpng leaves its calls by longjmp.
struct TurnState {
    png_structp read = nullptr;
    png_infop info = nullptr;
    png_infop end = nullptr;
    png_structp write = nullptr;
    png_infop out = nullptr;
    png_bytep pixels = nullptr;
    png_bytepp rows = nullptr;
    png_bytep turnedPixels = nullptr;
    png_bytepp turnedRows = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
    int interlace = 0;
    int compression = 0;
    int filter = 0;
    char message[256] = {};
};

void OnError(png_structp png, png_const_charp text) {
    auto* message = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(message, 256, "%s", text);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Every chunk of the source besides the pixels, onto the writer's info.
void CopyChunks(TurnState& s, bool swapSides) {
    png_structp r = s.read;
    png_infop i = s.info;
    png_structp w = s.write;
    png_infop o = s.out;
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(r, i, &palette, &count)) {
        png_set_PLTE(w, o, palette, count);
    }
    png_bytep alpha = nullptr;
    png_color_16p key = nullptr;
    if (png_get_tRNS(r, i, &alpha, &count, &key)) {
        png_set_tRNS(w, o, alpha, count, key);
    }
    png_fixed_point gamma = 0;
    if (png_get_gAMA_fixed(r, i, &gamma)) {
        png_set_gAMA_fixed(w, o, gamma);
    }
    png_fixed_point c[8] = {};
    if (png_get_cHRM_fixed(r, i, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7])) {
        png_set_cHRM_fixed(w, o, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    int intent = 0;
    if (png_get_sRGB(r, i, &intent)) {
        png_set_sRGB(w, o, intent);
    }
    png_charp profileName = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(r, i, &profileName, &compression, &profile, &profileLength)) {
        png_set_iCCP(w, o, profileName, compression, profile, profileLength);
    }
    png_color_8p significant = nullptr;
    if (png_get_sBIT(r, i, &significant)) {
        png_set_sBIT(w, o, significant);
    }
    png_color_16p background = nullptr;
    if (png_get_bKGD(r, i, &background)) {
        png_set_bKGD(w, o, background);
    }
    png_uint_16p histogram = nullptr;
    if (png_get_hIST(r, i, &histogram)) {
        png_set_hIST(w, o, histogram);
    }
    png_uint_32 resX = 0;
    png_uint_32 resY = 0;
    int unit = 0;
    if (png_get_pHYs(r, i, &resX, &resY, &unit)) {
        png_set_pHYs(w, o, swapSides ? resY : resX, swapSides ? resX : resY, unit);
    }
    double scaleX = 0;
    double scaleY = 0;
    if (png_get_sCAL(r, i, &unit, &scaleX, &scaleY)) {
        png_set_sCAL(w, o, unit, swapSides ? scaleY : scaleX, swapSides ? scaleX : scaleY);
    }
    png_timep time = nullptr;
    if (png_get_tIME(r, i, &time)) {
        png_set_tIME(w, o, time);
    }
    png_uint_32 exifLength = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(r, i, &exifLength, &exif)) {
        png_set_eXIf_1(w, o, exifLength, exif);
    }
    png_sPLT_tp suggested = nullptr;
    if (const int n = png_get_sPLT(r, i, &suggested); n > 0) {
        png_set_sPLT(w, o, suggested, n);
    }
    // Text and unknown chunks from before and after the pixels keep their side of them.
    for (png_infop from : {s.info, s.end}) {
        png_textp text = nullptr;
        if (const int n = png_get_text(r, from, &text, nullptr); n > 0) {
            png_set_text(w, o, text, n);
        }
        png_unknown_chunkp unknown = nullptr;
        if (const int n = png_get_unknown_chunks(r, from, &unknown); n > 0) {
            png_set_unknown_chunks(w, o, unknown, n);
        }
    }
}

// Reads the picture and turns its rows; the writer is made ready too.
std::int16_t ReadTurned(TurnState& s, std::FILE* in, int quarters) {
    s.read = png_create_read_struct(PNG_LIBPNG_VER_STRING, s.message, OnError, OnWarning);
    s.write = png_create_write_struct(PNG_LIBPNG_VER_STRING, s.message, OnError, OnWarning);
    if (s.read == nullptr || s.write == nullptr) {
        return ErrMemory;
    }
    LimitPngReader(s.read);
    s.info = png_create_info_struct(s.read);
    s.end = png_create_info_struct(s.read);
    s.out = png_create_info_struct(s.write);
    if (s.info == nullptr || s.end == nullptr || s.out == nullptr) {
        return ErrMemory;
    }
    if (setjmp(png_jmpbuf(s.read)) != 0) {
        return ErrDamaged;
    }
    png_set_keep_unknown_chunks(s.read, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
    png_init_io(s.read, in);
    png_read_info(s.read, s.info);
    png_get_IHDR(s.read, s.info, &s.width, &s.height, &s.depth, &s.type, &s.interlace,
                 &s.compression, &s.filter);
    const int bits = s.depth * png_get_channels(s.read, s.info);
    png_set_interlace_handling(s.read);
    png_read_update_info(s.read, s.info);
    const bool swap = quarters % 2 != 0;
    const png_uint_32 outWidth = swap ? s.height : s.width;
    const png_uint_32 outHeight = swap ? s.width : s.height;
    const std::size_t rowBytes = png_get_rowbytes(s.read, s.info);
    const std::size_t outRowBytes = (static_cast<std::size_t>(outWidth) * bits + 7) / 8;
    s.pixels = static_cast<png_bytep>(std::malloc(rowBytes * s.height));
    s.rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * s.height));
    s.turnedPixels = static_cast<png_bytep>(std::calloc(outRowBytes, outHeight));
    s.turnedRows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * outHeight));
    if (s.pixels == nullptr || s.rows == nullptr || s.turnedPixels == nullptr ||
        s.turnedRows == nullptr) {
        return ErrMemory;
    }
    for (png_uint_32 y = 0; y < s.height; ++y) {
        s.rows[y] = s.pixels + rowBytes * y;
    }
    for (png_uint_32 y = 0; y < outHeight; ++y) {
        s.turnedRows[y] = s.turnedPixels + outRowBytes * y;
    }
    png_read_image(s.read, s.rows);
    png_read_end(s.read, s.end);
    TurnPacked([&](std::size_t y) { return s.rows[y]; },
               [&](std::size_t y) { return s.turnedRows[y]; }, s.width, s.height, bits, quarters);
    std::free(s.pixels);
    s.pixels = nullptr;
    return Ok;
}

std::int16_t WriteTurned(TurnState& s, std::FILE* out, int quarters) {
    if (setjmp(png_jmpbuf(s.write)) != 0) {
        return ErrWrite;
    }
    const bool swap = quarters % 2 != 0;
    png_set_keep_unknown_chunks(s.write, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
    png_init_io(s.write, out);
    png_set_IHDR(s.write, s.out, swap ? s.height : s.width, swap ? s.width : s.height, s.depth,
                 s.type, s.interlace, s.compression, s.filter);
    CopyChunks(s, swap);
    png_write_info(s.write, s.out);
    png_write_image(s.write, s.turnedRows);
    png_write_end(s.write, s.out);
    return Ok;
}

} // namespace

std::int16_t PngTurn(std::FILE* in, std::FILE* out, int quarterTurns) {
    if (const std::int16_t claims = CheckPngClaims(in); claims <= 0) {
        return claims;
    }
    TurnState s;
    const int quarters = ((quarterTurns % 4) + 4) % 4;
    std::int16_t status = ReadTurned(s, in, quarters);
    if (status > 0) {
        status = WriteTurned(s, out, quarters);
    }
    png_destroy_read_struct(s.read != nullptr ? &s.read : nullptr,
                            s.info != nullptr ? &s.info : nullptr,
                            s.end != nullptr ? &s.end : nullptr);
    png_destroy_write_struct(s.write != nullptr ? &s.write : nullptr,
                             s.out != nullptr ? &s.out : nullptr);
    std::free(s.pixels);
    std::free(s.rows);
    std::free(s.turnedPixels);
    std::free(s.turnedRows);
    if (status <= 0 && s.message[0] != '\0') {
        SetErrorDetail(s.message);
    }
    return status;
}

} // namespace pelisto::codec
