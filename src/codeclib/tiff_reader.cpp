#include "codeclib/tiff_reader.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/error_detail.h"
#include "codeclib/exif_orientation.h"
#include "codeclib/file_identify.h"
#include "codeclib/picture_profile.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace pelisto::codec {
namespace {

int KeepFirstError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto& error = *static_cast<std::string*>(user);
    if (error.empty()) {
        char text[256] = {};
        std::vsnprintf(text, sizeof(text), format, args);
        error = text;
        if (module != nullptr && *module != '\0') {
            error += std::string(" (") + module + ")";
        }
    }
    return 1; // handled: the global handler is not called
}

int DropWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct FreeBlock {
    void operator()(void* block) const { std::free(block); }
};

std::int16_t Damaged(const std::string& why) {
    SetErrorDetail(why);
    return ErrDamaged;
}

} // namespace

TiffFile::TiffFile(const char* name, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        error_ = "no memory to open the file";
        return;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, KeepFirstError, &error_);
    TIFFOpenOptionsSetWarningHandlerExtR(options, DropWarning, nullptr);
    tif_ = TIFFOpenExt(name, mode, options);
    TIFFOpenOptionsFree(options);
}

TiffFile::~TiffFile() {
    if (tif_ != nullptr) {
        TIFFClose(tif_);
    }
}

std::int16_t TiffRead(const char* name, int page, void** dib, bool& handled) {
    handled = false;
    // Read, not mapped: a mapped file would count in the memory beside the picture.
    TiffFile tif(name, "rm");
    if (!tif) {
        return Ok;
    }
    if (!TIFFSetDirectory(tif.get(), static_cast<tdir_t>(std::max(page - 1, 0)))) {
        return Ok;
    }
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) || width == 0 || height == 0) {
        return Ok;
    }
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    if (photometric == PHOTOMETRIC_PALETTE || bits < 8) {
        return Ok;
    }
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif.get(), message)) {
        return Ok;
    }
    handled = true;
    if (CheckPictureSize(width, height) <= 0) {
        return ErrTooLarge;
    }
    TIFFRGBAImage image{};
    // Stopping at the first damaged strip: libtiff would otherwise go on and hand back the
    // picture with those rows blank.
    if (!TIFFRGBAImageBegin(&image, tif.get(), 1, message)) {
        return Damaged(message);
    }
    // The rows as they are stored: the orientation is applied below, as for camera photos.
    const int orientation = image.orientation;
    image.req_orientation = image.orientation;
    const bool gray =
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
        samples == 1;
    const int outBits = gray ? 8 : 24;
    std::unique_ptr<void, FreeBlock> block(
        dib::Allocate(static_cast<int>(width), static_cast<int>(height), outBits, gray ? 256 : 0));
    std::unique_ptr<std::uint32_t, FreeBlock> raster(static_cast<std::uint32_t*>(
        std::malloc(sizeof(std::uint32_t) * static_cast<std::size_t>(width) * height)));
    if (!block || !raster) {
        TIFFRGBAImageEnd(&image);
        return ErrMemory;
    }
    const int got = TIFFRGBAImageGet(&image, raster.get(), width, height);
    TIFFRGBAImageEnd(&image);
    if (!got || !tif.Error().empty()) {
        return Damaged(tif.Error().empty() ? std::string("the picture data cannot be decoded")
                                           : tif.Error());
    }
    const dib::DibView v = dib::View(block.get());
    if (gray) {
        dib::FillGrayTable(v.colours, 256);
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* in = raster.get() + static_cast<std::size_t>(y) * width;
        std::uint8_t* out = v.Row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t p = in[x];
            if (gray) {
                out[x] = static_cast<std::uint8_t>(TIFFGetR(p));
                continue;
            }
            // libtiff hands alpha premultiplied: on white, the rest of the light shows through.
            const unsigned rest = 255u - TIFFGetA(p);
            out[3 * x] = static_cast<std::uint8_t>(std::min(255u, TIFFGetB(p) + rest));
            out[3 * x + 1] = static_cast<std::uint8_t>(std::min(255u, TIFFGetG(p) + rest));
            out[3 * x + 2] = static_cast<std::uint8_t>(std::min(255u, TIFFGetR(p) + rest));
        }
    }
    raster.reset();
    if (orientation > 1 && orientation <= 8) {
        void* upright = exif::UprightDib(block.get(), orientation);
        if (upright == nullptr) {
            return ErrMemory;
        }
        block.reset(upright);
    }
    std::uint32_t profileBytes = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &profileBytes, &profile)) {
        SetPictureProfile(profile, profileBytes);
    }
    *dib = block.release();
    return Ok;
}

} // namespace pelisto::codec
