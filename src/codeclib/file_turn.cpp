// Picture files turned in place of their pixels only: PNG through libpng, an uncompressed BMP
// as its rows lie, GIF (every frame), run-length BMP and PCX through the image library, each
// written back in its own variant. The size the
// file claims is checked before anything is decoded.

#include "codeclib/bmp_header.h"
#include "codeclib/codec_api.h"
#include "codeclib/error_detail.h"
#include "codeclib/file_identify.h"
#include "codeclib/magick_dib.h"
#include "codeclib/packed_turn.h"
#include "codeclib/png_reader.h"
#include "codeclib/whole_file.h"
#include "slideshow/byte_order.h"
#include "slideshow/picture_limit.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#define PL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace pelisto;
using namespace pelisto::codec;

namespace {

// The variant the file is written in again: a BMP keeps its header's generation.
const char* WrittenMagick(const std::string& format, const std::vector<unsigned char>& file) {
    if (format == "BMP" && file.size() >= 18) {
        const std::uint32_t header = bytes::Le32(file.data() + 14);
        return header == 12 ? "BMP2" : header == 40 ? "BMP3" : "BMP";
    }
    return format == "GIF" ? "GIF" : "PCX";
}

// An uncompressed BMP turned as stored: headers, colour table, bit fields and anything after
// the rows kept, the sides (and pixels per metre) swapped, the rows turned at their own depth.
// Empty when the file is not such a BMP or does not hold all its rows.
std::vector<unsigned char> TurnedBmp(const std::vector<unsigned char>& file, int quarters) {
    const std::optional<BmpHeader> h = ReadBmpHeader(file.data(), file.size());
    if (!h || (h->compression != 0 && h->compression != 3 && h->compression != 6) ||
        h->width <= 0 || h->height == 0 || h->height == INT32_MIN ||
        (h->bits != 1 && h->bits != 2 && h->bits != 4 && h->bits != 8 && h->bits != 16 &&
         h->bits != 24 && h->bits != 32)) {
        return {};
    }
    const bool bottomUp = h->height > 0;
    const std::size_t w = static_cast<std::size_t>(h->width);
    const std::size_t rows = static_cast<std::size_t>(bottomUp ? h->height : -h->height);
    const auto rowBytes = [&](std::size_t width) { return (width * h->bits + 31) / 32 * 4; };
    const std::size_t oldBytes = rowBytes(w) * rows;
    if (h->pixelOffset < 14 + std::size_t{h->headerSize} || h->pixelOffset > file.size() ||
        file.size() - h->pixelOffset < oldBytes) {
        return {};
    }
    const bool swap = quarters % 2 != 0;
    const std::size_t outWidth = swap ? rows : w;
    const std::size_t outRows = swap ? w : rows;
    const std::size_t newBytes = rowBytes(outWidth) * outRows;
    std::vector<unsigned char> out(file.begin(), file.begin() + h->pixelOffset);
    out.resize(out.size() + newBytes, 0);
    out.insert(out.end(), file.begin() + h->pixelOffset + oldBytes, file.end());
    const unsigned char* in = file.data() + h->pixelOffset;
    unsigned char* turned = out.data() + h->pixelOffset;
    TurnPacked([&](std::size_t y) { return in + rowBytes(w) * (bottomUp ? rows - 1 - y : y); },
               [&](std::size_t y) {
                   return turned + rowBytes(outWidth) * (bottomUp ? outRows - 1 - y : y);
               },
               w, rows, h->bits, quarters);
    unsigned char* info = out.data() + 14;
    bytes::PutLe32(out.data() + 2, static_cast<std::uint32_t>(out.size()));
    bytes::PutLe32(info + 4, static_cast<std::uint32_t>(outWidth));
    const auto height = static_cast<std::int32_t>(outRows);
    bytes::PutLe32(info + 8, static_cast<std::uint32_t>(bottomUp ? height : -height));
    bytes::PutLe32(info + 20, static_cast<std::uint32_t>(newBytes));
    if (swap) {
        const std::uint32_t across = bytes::Le32(info + 24);
        bytes::PutLe32(info + 24, bytes::Le32(info + 28));
        bytes::PutLe32(info + 28, across);
    }
    // A newer header's colour profile may lie after the rows, which have changed their size.
    if (h->headerSize >= 124) {
        const std::uint32_t profile = bytes::Le32(info + 112);
        if (profile != 0 && 14 + std::size_t{profile} >= h->pixelOffset + oldBytes) {
            bytes::PutLe32(info + 112, static_cast<std::uint32_t>(profile + newBytes - oldBytes));
        }
    }
    return out;
}

std::int16_t MagickTurn(const char* source, const char* target, const std::string& format,
                        int quarters) {
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(source, bytes)) {
        return ErrOpen;
    }
    if (format == "BMP") {
        if (const std::vector<unsigned char> turned = TurnedBmp(bytes, quarters); !turned.empty()) {
            return WriteWholeFile(target, turned.data(), turned.size());
        }
    }
    const char* magick = format.c_str();
    MagickInfoPtr info(CloneImageInfo(nullptr));
    std::snprintf(info->magick, sizeof(info->magick), "%s", magick);
    std::snprintf(info->filename, sizeof(info->filename), "%s:", magick);
    info->affirm = MagickTrue;
    // Every frame is turned: their sizes together stay within the picture limit.
    {
        MagickErrors errors;
        MagickImagePtr pinged(PingBlob(info.get(), bytes.data(), bytes.size(), errors.get()));
        if (!pinged || errors.Failed()) {
            SetErrorDetail(errors.Text());
            return ErrDamaged;
        }
        std::int64_t pixels = 0;
        long frames = 0;
        for (const Image* frame = pinged.get(); frame != nullptr; frame = frame->next) {
            pixels += static_cast<std::int64_t>(frame->columns) * frame->rows;
            ++frames;
            if (PictureTooLarge(frame->columns, frame->rows) || pixels > MaxPicturePixels) {
                SetErrorDetail(std::to_string(frames) + " frames of " + std::to_string(pixels) +
                               " pixels in all, over the limit of " +
                               std::to_string(MaxPicturePixels / 1'000'000) + " megapixels");
                return ErrTooLarge;
            }
        }
    }
    MagickErrors errors;
    MagickImagePtr pictures(BlobToImage(info.get(), bytes.data(), bytes.size(), errors.get()));
    if (!pictures || errors.Failed()) {
        SetErrorDetail(errors.Text());
        return errors.OutOfMemory() ? ErrMemory : ErrDamaged;
    }
    const std::string written = WrittenMagick(format, bytes);
    std::vector<unsigned char>().swap(bytes);
    // The image library turns clockwise for positive angles; quarter turns move pixels as they
    // are, frame offsets included.
    MagickImagePtr turned;
    Image* last = nullptr;
    for (Image* frame = pictures.get(); frame != nullptr; frame = frame->next) {
        // Only a 32-bit BMP can carry alpha, and those are turned as stored above.
        if (format == "BMP") {
            frame->matte = MagickFalse;
        }
        Image* one = RotateImage(frame, -90.0 * quarters, errors.get());
        if (one == nullptr || errors.Failed()) {
            if (one != nullptr) {
                DestroyImage(one);
            }
            SetErrorDetail(errors.Text());
            return ErrMemory;
        }
        one->previous = last;
        one->next = nullptr;
        if (last == nullptr) {
            turned.reset(one);
        } else {
            last->next = one;
        }
        last = one;
    }
    pictures.reset();
    MagickInfoPtr out(CloneImageInfo(nullptr));
    std::snprintf(out->magick, sizeof(out->magick), "%s", written.c_str());
    std::snprintf(out->filename, sizeof(out->filename), "%s:", written.c_str());
    for (Image* frame = turned.get(); frame != nullptr; frame = frame->next) {
        std::snprintf(frame->magick, sizeof(frame->magick), "%s", written.c_str());
    }
    std::size_t length = 0;
    void* blob = ImageToBlob(out.get(), turned.get(), &length, errors.get());
    if (blob == nullptr || length == 0 || errors.Failed()) {
        if (blob != nullptr) {
            MagickFree(blob);
        }
        SetErrorDetail(errors.Text());
        return ErrDepth;
    }
    const std::int16_t status = WriteWholeFile(target, blob, length);
    MagickFree(blob);
    return status;
}

std::int16_t PngFileTurn(const char* source, const char* target, int quarters) {
    FilePtr in(std::fopen(source, "rb"));
    if (!in) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    FilePtr out(std::fopen(target, "wb"));
    if (!out) {
        SetErrorDetailFromErrno(errno);
        return ErrCreate;
    }
    const std::int16_t status = PngTurn(in.get(), out.get(), quarters);
    if (!CloseWritten(std::move(out)) && status > 0) {
        return ErrWrite;
    }
    return status;
}

} // namespace

// Turns the picture file source by quarter turns anticlockwise (negative: clockwise) into the
// file target, in the same format and variant, keeping everything the file holds besides its
// pixels (frames, depth, transparency, palette, profiles and text). ErrWrongFormat for a format
// that cannot be turned so (only PNG, GIF, BMP and PCX can); ErrCreate and ErrWrite when the
// target could not be written, any other failure before target is touched.
PL_EXPORT std::int16_t plturnfile(const char* source, const char* target,
                                  std::int16_t quarterTurns) {
    ClearErrorDetail();
    if (source == nullptr || target == nullptr) {
        return ErrArgument;
    }
    Identified id;
    if (const std::int16_t status = Identify(source, id); status <= 0) {
        return status;
    }
    const int quarters = ((quarterTurns % 4) + 4) % 4;
    if (id.format == "PNG") {
        return PngFileTurn(source, target, quarters);
    }
    if (id.format == "GIF" || id.format == "BMP" || id.format == "PCX") {
        return MagickTurn(source, target, id.format, quarters);
    }
    if (id.format == "HEIF" || id.format == "AVIF" || id.format == "WEBP" || id.format == "JXL") {
        SetErrorDetail("a " + id.format +
                       " picture is not turned, and the file is left as it is: the tool can only "
                       "write it again by encoding it anew");
        return ErrLossyFormat;
    }
    SetErrorDetail("the file holds a " + id.format +
                   " picture, which is not turned under this name");
    return ErrWrongFormat;
}
