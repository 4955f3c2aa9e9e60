// Telling a picture file's format and size from its header, without decoding it.

#include "codeclib/file_identify.h"

#include "codeclib/error_detail.h"
#include "codeclib/exif_orientation.h"
#include "codeclib/heif_reader.h"
#include "codeclib/jpeg_codec.h"
#include "codeclib/jxl_reader.h"
#include "codeclib/tiff_reader.h"
#include "codeclib/webp_reader.h"
#include "codeclib/whole_file.h"
#include "slideshow/byte_order.h"
#include "slideshow/picture_limit.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace pelisto::codec {
namespace {

using bytes::Be32;
using bytes::Le16;
using bytes::Le32;

bool LooksLikeTga(const unsigned char* h, std::size_t n) {
    if (n < 18) {
        return false;
    }
    const int mapType = h[1];
    const int type = h[2];
    const int depth = h[16];
    const bool typeOk =
        type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    const bool depthOk = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    return (mapType == 0 || mapType == 1) && typeOk && depthOk && Le16(h + 12) > 0 &&
           Le16(h + 14) > 0 && ((type == 1 || type == 9) == (mapType == 1));
}

} // namespace

std::int16_t TiffInfo(const char* name, int page, Identified& id, int& compression) {
    const TiffFile file(name, "r");
    TIFF* tif = file.get();
    if (tif == nullptr) {
        return ErrDamaged;
    }
    id.pages = TIFFNumberOfDirectories(tif);
    // Pages count from 1; 0 also means the first.
    const int index = std::clamp(page - 1, 0, std::max(id.pages - 1, 0));
    std::uint32_t w = 0, h = 0;
    std::uint16_t bps = 1, spp = 1, comp = 1;
    const bool ok = TIFFSetDirectory(tif, static_cast<tdir_t>(index)) &&
                    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) &&
                    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &comp);
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    if (!ok || w == 0 || h == 0) {
        SetErrorDetail("no picture size in the TIFF directory");
        return ErrDamaged;
    }
    id.format = "TIF";
    // The size of the picture as it is shown: upright.
    const bool swap = exif::SwapsSides(orientation);
    id.width = swap ? h : w;
    id.height = swap ? w : h;
    id.bits = bps * spp;
    compression = comp;
    id.compression = comp == 1                    ? "None"
                     : comp == 5                  ? "LZW"
                     : comp == 32773              ? "PackBits"
                     : comp == 7                  ? "JPEG"
                     : comp == 8 || comp == 32946 ? "Deflate"
                                                  : "CCITT";
    return CheckPictureSize(w, h);
}

std::int16_t Identify(const char* name, Identified& id) {
    FilePtr file(std::fopen(name, "rb"));
    if (!file) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    unsigned char h[2060] = {};
    const std::size_t n = std::fread(h, 1, sizeof(h), file.get());
    if (n < 30) {
        return ErrTooShort;
    }
    if (h[0] == 'B' && h[1] == 'M') {
        id.format = "BMP";
        const std::uint32_t headerSize = Le32(h + 14);
        if (headerSize == 12) {
            id.width = Le16(h + 18);
            id.height = Le16(h + 20);
            id.bits = Le16(h + 24);
        } else {
            id.width = static_cast<std::int32_t>(Le32(h + 18));
            id.height = std::labs(static_cast<std::int32_t>(Le32(h + 22)));
            id.bits = Le16(h + 28);
            const std::uint32_t c = Le32(h + 30);
            id.compression = c == 1 ? "RLE8" : c == 2 ? "RLE4" : c == 3 ? "Bitfields" : "None";
        }
    } else if (std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) == 0) {
        id.format = "PNG";
        id.width = Be32(h + 16);
        id.height = Be32(h + 20);
        const int channels[] = {1, 0, 3, 1, 2, 0, 4};
        const int type = h[25] <= 6 ? channels[h[25]] : 0;
        id.bits = h[24] * type;
        id.compression = "Deflate";
    } else if (std::memcmp(h, "GIF8", 4) == 0) {
        id.format = "GIF";
        id.width = Le16(h + 6);
        id.height = Le16(h + 8);
        id.bits = (h[10] & 0x80) ? (h[10] & 7) + 1 : ((h[10] >> 4) & 7) + 1;
        id.compression = "LZW";
    } else if ((h[0] == 'I' && h[1] == 'I' && h[2] == 42 && h[3] == 0) ||
               (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 42)) {
        int compression = 0;
        file.reset();
        return TiffInfo(name, 1, id, compression);
    } else if (h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) {
        std::rewind(file.get());
        JpegInfo info;
        const std::int16_t status = JpegReadInfo(file.get(), info);
        if (status <= 0) {
            return status;
        }
        id.format = "JPEG";
        // The size of the picture as it is shown: upright.
        const bool swap = exif::SwapsSides(info.orientation);
        id.width = swap ? info.height : info.width;
        id.height = swap ? info.width : info.height;
        id.bits = info.components * 8;
        id.compression = info.progressive ? "JPEG progressive" : "JPEG";
    } else if (LooksLikeHeif(h, n)) {
        file.reset();
        return HeifInfo(name, id);
    } else if (LooksLikeWebp(h, n)) {
        file.reset();
        return WebpInfo(name, id);
    } else if (LooksLikeJxl(h, n)) {
        file.reset();
        return JxlInfo(name, id);
    } else if (n >= 2055 && std::memcmp(h + 2048, "PCD_IPI", 7) == 0) {
        id.format = "PCD";
        id.width = 768;
        id.height = 512;
        id.bits = 24;
        id.compression = "Huffman";
    } else if (h[0] == 0x0A && h[1] <= 5 && h[2] <= 1 &&
               (h[3] == 1 || h[3] == 2 || h[3] == 4 || h[3] == 8) && h[65] >= 1 && h[65] <= 4) {
        id.format = "PCX";
        id.width = static_cast<long>(Le16(h + 8)) - Le16(h + 4) + 1;
        id.height = static_cast<long>(Le16(h + 10)) - Le16(h + 6) + 1;
        id.bits = h[3] * h[65];
        id.compression = h[2] ? "RLE" : "None";
    } else if (LooksLikeTga(h, n)) {
        id.format = "TGA";
        id.width = Le16(h + 12);
        id.height = Le16(h + 14);
        id.bits = h[16];
        id.compression = h[2] >= 9 ? "RLE" : "None";
    } else {
        return ErrUnknownFormat;
    }
    if (id.width <= 0 || id.height <= 0 || id.bits <= 0) {
        return ErrDamaged;
    }
    return CheckPictureSize(id.width, id.height);
}

std::int16_t CheckPictureSize(std::int64_t width, std::int64_t height) {
    if (PictureTooLarge(width, height)) {
        SetErrorDetail(PictureTooLargeText(width, height));
        return ErrTooLarge;
    }
    return Ok;
}

} // namespace pelisto::codec
