// The tool's main codec library: file information, readers, writers and error texts.

#include "codeclib/bmp_header.h"
#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/error_detail.h"
#include "codeclib/exif_orientation.h"
#include "codeclib/file_identify.h"
#include "codeclib/heif_reader.h"
#include "codeclib/jpeg_codec.h"
#include "codeclib/jxl_reader.h"
#include "codeclib/magick_dib.h"
#include "codeclib/picture_profile.h"
#include "codeclib/png_reader.h"
#include "codeclib/tga_rows.h"
#include "codeclib/tiff_reader.h"
#include "codeclib/webp_reader.h"
#include "codeclib/whole_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#define PL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace pelisto;
using namespace pelisto::codec;

namespace {

bool Report(PLProgressProc progress, void* data, int percent) {
    return progress == nullptr || progress(percent, data) != 0;
}

void CopyText(char* out, std::size_t size, const std::string& text) {
    if (out == nullptr || size == 0) {
        return;
    }
    const std::size_t n = std::min(size - 1, text.size());
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// Decodes one format through GraphicsMagick. page counts from 1 for formats with pages
// (0 means the first); every other format takes its first frame.
std::int16_t MagickRead(const char* name, const char* magick, int page, PLDib* dib, void* data,
                        PLProgressProc progress) {
    if (name == nullptr || dib == nullptr) {
        return ErrArgument;
    }
    *dib = nullptr;
    if (!Report(progress, data, 0)) {
        return ErrCancelled;
    }
    // The size the header claims is checked before any decoder allocates for it.
    Identified id;
    if (Identify(name, id) == ErrTooLarge) {
        return ErrTooLarge;
    }
    ClearErrorDetail();
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(name, bytes)) {
        return ErrOpen;
    }
    if (bytes.size() < 30) {
        return ErrTooShort;
    }
    const bool bmp = std::strcmp(magick, "BMP") == 0;
    const std::optional<BmpHeader> bmpHeader =
        bmp ? ReadBmpHeader(bytes.data(), bytes.size()) : std::nullopt;
    void* block = nullptr;
    if (bmpHeader && bmpHeader->bits == 16) {
        block = Bmp16ToDib(bytes.data(), bytes.size(), *bmpHeader);
    } else if (bmpHeader && bmpHeader->bits == 24) {
        block = Bmp24ToDib(bytes.data(), bytes.size(), *bmpHeader);
    } else if (std::strcmp(magick, "TGA") == 0) {
        block = Tga24ToDib(bytes.data(), bytes.size());
    }
    if (block == nullptr) {
        MagickInfoPtr info(CloneImageInfo(nullptr));
        std::snprintf(info->magick, sizeof(info->magick), "%s", magick);
        std::snprintf(info->filename, sizeof(info->filename), "%s:", magick);
        info->affirm = MagickTrue;
        info->subimage = static_cast<unsigned long>(std::max(page - 1, 0));
        info->subrange = 1;
        MagickErrors errors;
        MagickImagePtr image(BlobToImage(info.get(), bytes.data(), bytes.size(), errors.get()));
        if (!image || errors.Failed()) {
            SetErrorDetail(errors.Text());
            return errors.OutOfMemory() ? ErrMemory : ErrDamaged;
        }
        // The file's bytes are not needed beside the decoded picture.
        std::vector<unsigned char>().swap(bytes);
        // Only a 32-bit BMP can carry alpha (a newer header's alpha mask says nothing for fewer
        // bits, and the decoder leaves that alpha unset), and a fourth byte that is 0 everywhere
        // is the usual unused byte, not a picture that is all transparent.
        if (bmp && image->matte &&
            (!bmpHeader || bmpHeader->bits != 32 || AllTransparent(image.get()))) {
            image->matte = MagickFalse;
        }
        std::size_t profileBytes = 0;
        if (const unsigned char* profile = GetImageProfile(image.get(), "ICC", &profileBytes)) {
            SetPictureProfile(profile, profileBytes);
        }
        block = ImageToDib(image.get());
        // A TIFF says in its own tag how to show it upright, as cameras do in EXIF.
        const int orientation = static_cast<int>(image->orientation);
        if (block != nullptr && std::strcmp(magick, "TIFF") == 0 && orientation > 1 &&
            orientation <= 8) {
            void* upright = exif::UprightDib(block, orientation);
            std::free(block);
            block = upright;
        }
    }
    if (block == nullptr) {
        ClearPictureProfile();
        SetErrorDetail("no room for a 24-bit copy of the picture");
        return ErrMemory;
    }
    if (!Report(progress, data, 100)) {
        ClearPictureProfile();
        std::free(block);
        return ErrCancelled;
    }
    *dib = block;
    return Ok;
}

// Encodes the DIB through GraphicsMagick at the asked depth: 1, 4 (also for 0) or 8 bits make
// a palette picture of that many colours at most, deeper asks keep every colour.
std::int16_t MagickWrite(const char* name, const char* magick, int bits, bool interlaced, PLDib dib,
                         void* data, PLProgressProc progress) {
    if (name == nullptr || *name == '\0') {
        return ErrCreate;
    }
    dib::DibView view = dib::View(dib);
    if (!view || view.header->biCompression == dib::BI_RLE4 ||
        view.header->biCompression == dib::BI_RLE8) {
        return ErrArgument;
    }
    if (!Report(progress, data, 0)) {
        return ErrCancelled;
    }
    MagickErrors errors;
    MagickImagePtr image = DibToImage(view, errors.get());
    if (!image) {
        return ErrMemory;
    }
    const int want = bits <= 0 ? 4 : bits;
    if (want <= 8) {
        const unsigned colours = 1u << std::min(want, 8);
        const bool needs = image->storage_class != PseudoClass || image->colors > colours;
        if (needs && !Quantize(image.get(), colours, false, want == 1)) {
            return ErrDepth;
        }
    } else if (std::strcmp(magick, "GIF") != 0) {
        SetImageType(image.get(), TrueColorType);
    }
    MagickInfoPtr info(CloneImageInfo(nullptr));
    std::snprintf(info->magick, sizeof(info->magick), "%s", magick);
    std::snprintf(image->magick, sizeof(image->magick), "%s", magick);
    std::snprintf(info->filename, sizeof(info->filename), "%s:", magick);
    if (interlaced) {
        info->interlace = LineInterlace;
        image->interlace = LineInterlace;
    }
    std::size_t length = 0;
    void* blob = ImageToBlob(info.get(), image.get(), &length, errors.get());
    if (blob == nullptr || length == 0 || errors.Failed()) {
        if (blob != nullptr) {
            MagickFree(blob);
        }
        SetErrorDetail(errors.Text());
        return ErrWrite;
    }
    const std::int16_t status = WriteWholeFile(name, blob, length);
    MagickFree(blob);
    if (status > 0 && !Report(progress, data, 100)) {
        return ErrCancelled;
    }
    return status;
}

// Every read entry starts afresh: no cause and no profile of an earlier picture.
void StartRead() {
    ClearErrorDetail();
    ClearPictureProfile();
}

// The readers of today's phone and web formats, each through its own library. A file of
// another kind under such a name is refused, as the other readers refuse it.
using ModernReader = std::int16_t (*)(const char* name, void** dib, std::vector<std::uint8_t>& icc);

std::int16_t ModernRead(const char* name, std::initializer_list<const char*> formats,
                        ModernReader read, PLDib* dib, void* data, PLProgressProc progress) {
    if (name == nullptr || dib == nullptr) {
        return ErrArgument;
    }
    *dib = nullptr;
    if (!Report(progress, data, 0)) {
        return ErrCancelled;
    }
    // The size the header claims is checked before any decoder allocates for it.
    Identified id;
    if (const std::int16_t status = Identify(name, id); status <= 0) {
        return status;
    }
    if (std::none_of(formats.begin(), formats.end(),
                     [&](const char* f) { return id.format == f; })) {
        SetErrorDetail("the file holds a " + id.format + " picture");
        return ErrWrongFormat;
    }
    // The picture's colour profile as the file gives it (empty for none), for the conversion to
    // sRGB; the DIB's pixels are as coded.
    std::vector<std::uint8_t> icc;
    const std::int16_t status = read(name, dib, icc);
    if (status > 0 && !icc.empty()) {
        SetPictureProfile(icc.data(), icc.size());
    }
    if (status > 0 && !Report(progress, data, 100)) {
        std::free(*dib);
        *dib = nullptr;
        return ErrCancelled;
    }
    return status;
}

const char* ErrorText(std::int16_t status) {
    switch (status) {
    case ErrOpen:
        return "Can't open the file";
    case ErrUnknownFormat:
        return "Unknown file format";
    case ErrDamaged:
        return "The file is damaged or not of the expected format";
    case ErrMemory:
        return "Not enough memory";
    case ErrCreate:
        return "Can't create the file";
    case ErrWrite:
        return "Error while writing the file";
    case ErrCancelled:
        return "Cancelled by the user";
    case ErrArgument:
        return "Invalid picture";
    case ErrDepth:
        return "Unsupported colour depth";
    case ErrPage:
        return "No such page in the file";
    case ErrTooLarge:
        return "Picture too large";
    case ErrTooShort:
        return "File too short";
    case ErrWrongFormat:
        return "The file is not of the expected format";
    case ErrLossyFormat:
        return "This format cannot be written again without losing picture quality";
    default:
        return status > 0 ? "" : "Error in the image library";
    }
}

} // namespace

PL_EXPORT int plerrortext(std::int16_t status, char* buffer, int size) {
    const std::string text = ErrorText(status);
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    CopyText(buffer, static_cast<std::size_t>(std::min(size, 256)), text);
    return static_cast<int>(std::strlen(buffer));
}

// The detail of the latest failing call of this thread (empty for none); its length.
PL_EXPORT int plerrordetail(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    CopyText(buffer, static_cast<std::size_t>(size), ErrorDetail());
    return static_cast<int>(std::strlen(buffer));
}

// The ICC profile of the picture this thread read last (none when it carried none or the read
// failed): copied when size holds it, which also lets it go; its length either way.
PL_EXPORT int pliccprofile(void* buffer, int size) {
    std::vector<std::uint8_t>& profile = PictureProfile();
    const int length = static_cast<int>(profile.size());
    if (buffer != nullptr && size >= length && length > 0) {
        std::memcpy(buffer, profile.data(), profile.size());
        ClearPictureProfile();
    }
    return length;
}

PL_EXPORT std::int16_t fileinfo(const char* name, char* format, std::int16_t* width,
                                std::int16_t* height, std::int16_t* bits, std::int16_t* colours,
                                std::int16_t* pages, char* compression, std::int16_t) {
    ClearErrorDetail();
    if (name == nullptr) {
        return ErrArgument;
    }
    Identified id;
    const std::int16_t status = Identify(name, id);
    if (status <= 0) {
        return status;
    }
    CopyText(format, 6, id.format);
    CopyText(compression, 26, id.compression);
    if (width)
        *width = static_cast<std::int16_t>(id.width);
    if (height)
        *height = static_cast<std::int16_t>(id.height);
    if (bits)
        *bits = static_cast<std::int16_t>(id.bits);
    if (colours)
        *colours = static_cast<std::int16_t>(id.bits < 15 ? 1 << id.bits : 0);
    if (pages)
        *pages = static_cast<std::int16_t>(std::min(id.pages, 32767));
    return Ok;
}

PL_EXPORT std::int16_t getinfo(const char* name, std::int16_t page, std::int16_t* width,
                               std::int16_t* height, std::int16_t* compression, std::int16_t,
                               std::int16_t* pageCount, std::int16_t* bits) {
    ClearErrorDetail();
    if (name == nullptr) {
        return ErrArgument;
    }
    Identified id;
    int comp = 0;
    const std::int16_t status = TiffInfo(name, page, id, comp);
    if (status <= 0) {
        return status;
    }
    if (width)
        *width = static_cast<std::int16_t>(id.width);
    if (height)
        *height = static_cast<std::int16_t>(id.height);
    if (compression)
        *compression = static_cast<std::int16_t>(comp);
    if (pageCount)
        *pageCount = static_cast<std::int16_t>(std::min(id.pages, 32767));
    if (bits)
        *bits = static_cast<std::int16_t>(id.bits);
    return Ok;
}

PL_EXPORT std::int16_t rdbmpfiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib, void*,
                                    void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    return MagickRead(name, "BMP", 0, dib, data, progress);
}

PL_EXPORT std::int16_t rdpngfiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib, void*,
                                    void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    if (name == nullptr || dib == nullptr) {
        return ErrArgument;
    }
    *dib = nullptr;
    // Every PNG goes straight into the DIB; a file of another kind named .png keeps the general
    // path, which says what it is not.
    Identified id;
    if (const std::int16_t status = Identify(name, id); status == ErrTooLarge) {
        return status;
    } else if (status <= 0 || id.format != "PNG") {
        ClearErrorDetail();
        return MagickRead(name, "PNG", 0, dib, data, progress);
    }
    FilePtr file(std::fopen(name, "rb"));
    if (!file) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    if (!Report(progress, data, 0)) {
        return ErrCancelled;
    }
    const std::int16_t status = PngRead(file.get(), dib);
    if (status > 0 && !Report(progress, data, 100)) {
        std::free(*dib);
        *dib = nullptr;
        return ErrCancelled;
    }
    return status;
}

PL_EXPORT std::int16_t rdpcxfiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib, void*,
                                    void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    return MagickRead(name, "PCX", 0, dib, data, progress);
}

PL_EXPORT std::int16_t rdgiffiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib, void*,
                                    void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    return MagickRead(name, "GIF", 0, dib, data, progress);
}

PL_EXPORT std::int16_t readtgafiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib,
                                      void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    return MagickRead(name, "TGA", 0, dib, data, progress);
}

PL_EXPORT std::int16_t readtiffiledib(const char* name, std::int16_t, std::int16_t,
                                      std::int16_t page, PLDib* dib, void* data,
                                      PLProgressProc progress, std::int16_t) {
    StartRead();
    Identified id;
    int compression = 0;
    if (name != nullptr && TiffInfo(name, 1, id, compression) > 0 && page > id.pages) {
        return ErrPage;
    }
    if (name != nullptr && dib != nullptr) {
        *dib = nullptr;
        if (!Report(progress, data, 0)) {
            return ErrCancelled;
        }
        // True-colour and gray pages go straight into the DIB; the rest keep the general path.
        bool handled = false;
        const std::int16_t status = TiffRead(name, page, dib, handled);
        if (handled) {
            if (status > 0 && !Report(progress, data, 100)) {
                std::free(*dib);
                *dib = nullptr;
                return ErrCancelled;
            }
            return status;
        }
        ClearErrorDetail();
    }
    return MagickRead(name, "TIFF", page, dib, data, progress);
}

// Photo CD resolutions 0, 1, 2: a sixteenth, a quarter and all of the base picture's pixels.
PL_EXPORT std::int16_t readpcdfiledib(const char* name, std::int16_t, std::int16_t,
                                      std::int16_t resolution, PLDib* dib, void* data,
                                      PLProgressProc progress, std::int16_t) {
    StartRead();
    if (resolution < 0 || resolution > 2) {
        return ErrArgument;
    }
    // The decoder's scenes 1, 2, 3 are those resolutions.
    return MagickRead(name, "PCD", resolution + 2, dib, data, progress);
}

PL_EXPORT std::int16_t rdjpgfiledib(const char* name, std::int16_t, std::int16_t, std::int16_t,
                                    PLDib* dib, void*, void* data, PLProgressProc progress,
                                    std::int16_t) {
    StartRead();
    if (name == nullptr || dib == nullptr) {
        return ErrArgument;
    }
    *dib = nullptr;
    FilePtr file(std::fopen(name, "rb"));
    if (!file) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    return JpegRead(file.get(), dib, data, progress);
}

PL_EXPORT std::int16_t rdjpgfitdib(const char* name, std::int16_t, std::int16_t,
                                   std::int32_t minWidth, std::int32_t minHeight, PLDib* dib,
                                   void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    if (name == nullptr || dib == nullptr || minWidth < 0 || minHeight < 0) {
        return ErrArgument;
    }
    *dib = nullptr;
    FilePtr file(std::fopen(name, "rb"));
    if (!file) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    return JpegRead(file.get(), dib, data, progress, minWidth, minHeight, true);
}

// HEIC, HEIF and AVIF
PL_EXPORT std::int16_t rdheiffiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib,
                                     void*, void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    return ModernRead(name, {"HEIF", "AVIF"}, HeifRead, dib, data, progress);
}

PL_EXPORT std::int16_t rdwebpfiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib,
                                     void*, void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    return ModernRead(name, {"WEBP"}, WebpRead, dib, data, progress);
}

PL_EXPORT std::int16_t rdjxlfiledib(const char* name, std::int16_t, std::int16_t, PLDib* dib, void*,
                                    void* data, PLProgressProc progress, std::int16_t) {
    StartRead();
    return ModernRead(name, {"JXL"}, JxlRead, dib, data, progress);
}

PL_EXPORT std::int16_t wrbmpfiledib(const char* name, std::int16_t bits, PLDib dib, void* data,
                                    PLProgressProc progress, std::int16_t) {
    ClearErrorDetail();
    return MagickWrite(name, "BMP3", bits, false, dib, data, progress);
}

PL_EXPORT std::int16_t wrpcxfiledib(const char* name, std::int16_t bits, PLDib dib, void* data,
                                    PLProgressProc progress, std::int16_t) {
    ClearErrorDetail();
    return MagickWrite(name, "PCX", bits, false, dib, data, progress);
}

PL_EXPORT std::int16_t wrgiffiledib(const char* name, std::int16_t bits, PLDib dib, void* data,
                                    PLProgressProc progress, std::int16_t) {
    ClearErrorDetail();
    return MagickWrite(name, "GIF", std::min<int>(bits <= 0 ? 4 : bits, 8), false, dib, data,
                       progress);
}

PL_EXPORT std::int16_t wrpngfiledib(const char* name, std::int16_t bits, std::int16_t interlaced,
                                    PLDib dib, void* data, PLProgressProc progress, std::int16_t) {
    ClearErrorDetail();
    return MagickWrite(name, "PNG", bits, interlaced != 0, dib, data, progress);
}

PL_EXPORT std::int16_t wrjpgfiledib(const char* name, std::int16_t quality, std::int16_t smooth,
                                    std::int16_t bits, PLDib dib, void* data,
                                    PLProgressProc progress, std::int16_t) {
    ClearErrorDetail();
    if (name == nullptr || *name == '\0') {
        return ErrCreate;
    }
    dib::DibView view = dib::View(dib);
    if (!view) {
        return ErrArgument;
    }
    void* converted = nullptr;
    if (view.bits == 16 || (view.bits == 32 && view.header->biCompression == dib::BI_BITFIELDS)) {
        converted = view.bits == 16 ? Dib16To24(view) : Dib32To24(view);
        if (converted == nullptr) {
            return ErrMemory;
        }
        view = dib::View(converted);
    }
    std::int16_t status = ErrCreate;
    if (std::FILE* file = std::fopen(name, "wb")) {
        status = JpegWrite(file, view, quality, smooth, bits == 1, data, progress);
        if (std::fclose(file) != 0 && status > 0) {
            SetErrorDetailFromErrno(errno);
            status = ErrWrite;
        }
    } else {
        SetErrorDetailFromErrno(errno);
    }
    std::free(converted);
    return status;
}

PL_EXPORT PLDib DibtoDdb(PLDib dib) {
    dib::DibView view = dib::View(dib);
    if (!view) {
        return nullptr;
    }
    if (view.header->biCompression == dib::BI_RGB) {
        // Already plain: a copy.
        const std::size_t total = dib::TotalBytes(*view.header);
        void* copy = std::malloc(total);
        if (copy != nullptr) {
            std::memcpy(copy, dib, total);
        }
        return copy;
    }
    // Run-length rows are decoded by the BMP reader from a file image in memory.
    const std::size_t total = dib::TotalBytes(*view.header);
    std::vector<unsigned char> file(14 + total);
    file[0] = 'B';
    file[1] = 'M';
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            file[at + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    };
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, static_cast<std::uint32_t>(14 + dib::HeaderBytes(*view.header)));
    std::memcpy(file.data() + 14, dib, total);
    MagickInfoPtr info(CloneImageInfo(nullptr));
    std::snprintf(info->magick, sizeof(info->magick), "BMP");
    std::snprintf(info->filename, sizeof(info->filename), "BMP:");
    info->affirm = MagickTrue;
    MagickErrors errors;
    MagickImagePtr image(BlobToImage(info.get(), file.data(), file.size(), errors.get()));
    if (!image || errors.Failed()) {
        return nullptr;
    }
    return ImageToDib(image.get());
}
