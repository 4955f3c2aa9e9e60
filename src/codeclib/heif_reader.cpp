#include "codeclib/heif_reader.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/error_detail.h"
#include "codeclib/rgb_rows.h"
#include "codeclib/whole_file.h"
#include "slideshow/picture_limit.h"

#include <libheif/heif.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace pelisto::codec {
namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using ContextPtr = std::unique_ptr<heif_context, ContextFree>;
using HandlePtr = std::unique_ptr<heif_image_handle, HandleRelease>;
using ImagePtr = std::unique_ptr<heif_image, ImageRelease>;

std::int16_t Failed(const heif_error& error) {
    const std::string message = error.message != nullptr ? error.message : "";
    // The library's own size limit: said as every reader says it, when its text gives the size.
    long width = 0;
    long height = 0;
    const std::size_t at = message.find("Image size ");
    if (error.subcode == heif_suberror_Security_limit_exceeded && at != std::string::npos &&
        std::sscanf(message.c_str() + at, "Image size %ldx%ld", &width, &height) == 2 &&
        CheckPictureSize(width, height) == ErrTooLarge) {
        return ErrTooLarge;
    }
    SetErrorDetail(message);
    if (error.code == heif_error_Memory_allocation_error) {
        return ErrMemory;
    }
    return error.code == heif_error_Unsupported_filetype ? ErrWrongFormat : ErrDamaged;
}

// The file's boxes read (not its coded data) under the picture limit; the primary picture's
// handle.
std::int16_t Open(const char* name, ContextPtr& context, HandlePtr& handle) {
    // Counted by the library; never undone, so that threads need not agree on the last user.
    static std::once_flag started;
    std::call_once(started, [] { heif_init(nullptr); });
    context.reset(heif_context_alloc());
    if (!context) {
        return ErrMemory;
    }
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(MaxPictureSide));
    if (heif_error e = heif_context_read_from_file(context.get(), name, nullptr); e.code) {
        return Failed(e);
    }
    heif_image_handle* primary = nullptr;
    if (heif_error e = heif_context_get_primary_image_handle(context.get(), &primary); e.code) {
        return Failed(e);
    }
    handle.reset(primary);
    return Ok;
}

} // namespace

bool LooksLikeHeif(const unsigned char* head, std::size_t size) {
    if (size < 12 || std::memcmp(head + 4, "ftyp", 4) != 0) {
        return false;
    }
    const heif_filetype_result kind = heif_check_filetype(head, static_cast<int>(size));
    return kind == heif_filetype_yes_supported || kind == heif_filetype_maybe;
}

std::int16_t HeifInfo(const char* name, Identified& id) {
    ContextPtr context;
    HandlePtr handle;
    if (const std::int16_t status = Open(name, context, handle); status <= 0) {
        return status;
    }
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0) {
        SetErrorDetail("no picture size in the HEIF boxes");
        return ErrDamaged;
    }
    // The brands say which coding the pictures use: AV1 for AVIF, HEVC for the rest.
    unsigned char head[64] = {};
    std::size_t n = 0;
    if (FilePtr file{std::fopen(name, "rb")}) {
        n = std::fread(head, 1, sizeof(head), file.get());
    }
    const bool av1 = (n >= 12 && std::memcmp(head + 8, "avi", 3) == 0) ||
                     heif_has_compatible_brand(head, static_cast<int>(n), "avif") == 1 ||
                     heif_has_compatible_brand(head, static_cast<int>(n), "avis") == 1;
    id.format = av1 ? "AVIF" : "HEIF";
    id.compression = av1 ? "AV1" : "HEVC";
    id.width = width;
    id.height = height;
    const int luma = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    id.bits = (luma > 0 ? luma : 8) * (heif_image_handle_has_alpha_channel(handle.get()) ? 4 : 3);
    return CheckPictureSize(width, height);
}

std::int16_t HeifRead(const char* name, void** dib, std::vector<std::uint8_t>& icc) {
    *dib = nullptr;
    icc.clear();
    ContextPtr context;
    HandlePtr handle;
    if (const std::int16_t status = Open(name, context, handle); status <= 0) {
        return status;
    }
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (!PictureSizeAllowed(width, height)) {
        if (const std::int16_t status = CheckPictureSize(width, height); status <= 0) {
            return status;
        }
        SetErrorDetail("no picture size in the HEIF boxes");
        return ErrDamaged;
    }
    if (heif_image_handle_get_color_profile_type(handle.get()) != heif_color_profile_type_nclx) {
        const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle.get());
        if (size > 0) {
            icc.resize(size);
            if (heif_image_handle_get_raw_color_profile(handle.get(), icc.data()).code) {
                icc.clear();
            }
        }
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) {
        return ErrMemory;
    }
    // 10- and 12-bit pictures come out at 8 bits in the chroma asked for.
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (heif_error e =
            heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, chroma, options.get());
        e.code) {
        return Failed(e);
    }
    const ImagePtr image(decoded);
    // The coded size may differ from the boxes' claim; the pixels decide.
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (pixels == nullptr || !PictureSizeAllowed(w, h) ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        SetErrorDetail("the decoder gave no 8-bit picture");
        return ErrDamaged;
    }
    void* block = dib::Allocate(w, h, 24, 0);
    if (block == nullptr) {
        return ErrMemory;
    }
    const dib::DibView view = dib::View(block);
    for (int y = 0; y < h; ++y) {
        PutRgbRow(view.Row(y), pixels + static_cast<std::ptrdiff_t>(stride) * y, w, alpha ? 4 : 3);
    }
    *dib = block;
    return Ok;
}

} // namespace pelisto::codec
