#include "codeclib/jxl_reader.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/error_detail.h"
#include "codeclib/rgb_rows.h"
#include "codeclib/whole_file.h"
#include "slideshow/picture_limit.h"

#include <jxl/decode.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

namespace pelisto::codec {
namespace {

// The decoder's memory, counted: libjxl has no limit of its own. Until the header is read the
// budget covers headers and profiles; then it grows with the picture's size.
struct Budget {
    std::size_t used = 0;
    std::size_t limit = std::size_t{64} << 20;
    bool exceeded = false;
};
constexpr std::size_t SizeSlot = 16; // keeps the block's alignment

void* BudgetAlloc(void* opaque, std::size_t size) {
    auto& budget = *static_cast<Budget*>(opaque);
    if (size > budget.limit - budget.used) {
        budget.exceeded = true;
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + SizeSlot));
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, &size, sizeof(size));
    budget.used += size;
    return block + SizeSlot;
}

void BudgetFree(void* opaque, void* address) {
    if (address == nullptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(address) - SizeSlot;
    std::size_t size = 0;
    std::memcpy(&size, block, sizeof(size));
    static_cast<Budget*>(opaque)->used -= size;
    std::free(block);
}

// The decoder's working memory for a picture of this many pixels: a few float planes and its
// caches. Anything more is a damaged or hostile file.
std::size_t DecoderMemory(std::int64_t pixels) {
    return static_cast<std::size_t>(pixels * 48 + (std::int64_t{128} << 20));
}

struct DecoderDestroy {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
using DecoderPtr = std::unique_ptr<JxlDecoder, DecoderDestroy>;

DecoderPtr MakeDecoder(Budget& budget) {
    JxlMemoryManager memory{&budget, BudgetAlloc, BudgetFree};
    return DecoderPtr(JxlDecoderCreate(&memory));
}

std::int16_t Damaged(const Budget& budget, const char* why) {
    if (budget.exceeded) {
        SetErrorDetail("the decoder asked for more memory than such a picture needs");
        return ErrMemory;
    }
    SetErrorDetail(why);
    return ErrDamaged;
}

bool IsSrgb(const JxlColorEncoding& c) {
    return c.color_space == JXL_COLOR_SPACE_RGB && c.white_point == JXL_WHITE_POINT_D65 &&
           c.primaries == JXL_PRIMARIES_SRGB && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

struct Output {
    dib::DibView view;
    int channels = 3;
};

void PutPixels(void* opaque, std::size_t x, std::size_t y, std::size_t count, const void* pixels) {
    const auto& out = *static_cast<const Output*>(opaque);
    if (y >= static_cast<std::size_t>(out.view.height) ||
        x + count > static_cast<std::size_t>(out.view.width)) {
        return;
    }
    PutRgbRow(out.view.Row(static_cast<int>(y)) + 3 * x, static_cast<const std::uint8_t*>(pixels),
              static_cast<int>(count), out.channels);
}

} // namespace

bool LooksLikeJxl(const unsigned char* head, std::size_t size) {
    const JxlSignature kind = JxlSignatureCheck(head, size);
    return kind == JXL_SIG_CODESTREAM || kind == JXL_SIG_CONTAINER;
}

std::int16_t JxlInfo(const char* name, Identified& id) {
    FilePtr file(std::fopen(name, "rb"));
    if (!file) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    Budget budget;
    const DecoderPtr decoder = MakeDecoder(budget);
    if (!decoder ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS) {
        return ErrMemory;
    }
    // The header is read in pieces until the basic information is there: boxes before the
    // codestream (EXIF, XMP) can be large.
    std::vector<std::uint8_t> bytes;
    bool ended = false;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            break;
        }
        if (status != JXL_DEC_NEED_MORE_INPUT || ended) {
            return Damaged(budget, ended ? "the file ends before its header does"
                                         : "the header is damaged");
        }
        const std::size_t left = JxlDecoderReleaseInput(decoder.get());
        bytes.erase(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(left));
        const std::size_t had = bytes.size();
        bytes.resize(had + 65536);
        const std::size_t got = std::fread(bytes.data() + had, 1, 65536, file.get());
        bytes.resize(had + got);
        ended = got < 65536;
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size());
        if (ended) {
            JxlDecoderCloseInput(decoder.get());
        }
    }
    JxlBasicInfo info;
    if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) {
        return Damaged(budget, "the header is damaged");
    }
    id.format = "JXL";
    id.compression = info.uses_original_profile ? "lossless or original colours" : "XYB";
    id.width = info.xsize;
    id.height = info.ysize;
    id.bits = static_cast<int>(info.bits_per_sample) * (info.alpha_bits > 0 ? 4 : 3);
    if (id.width <= 0 || id.height <= 0) {
        SetErrorDetail("no picture size in the JPEG XL header");
        return ErrDamaged;
    }
    return CheckPictureSize(id.width, id.height);
}

std::int16_t JxlRead(const char* name, void** dib, std::vector<std::uint8_t>& icc) {
    *dib = nullptr;
    icc.clear();
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(name, bytes)) {
        return ErrOpen;
    }
    Budget budget;
    const DecoderPtr decoder = MakeDecoder(budget);
    if (!decoder) {
        return ErrMemory;
    }
    JxlDecoderSubscribeEvents(decoder.get(),
                              JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE);
    JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE);
    JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size());
    JxlDecoderCloseInput(decoder.get());
    struct FreeBlock {
        void operator()(void* block) const { std::free(block); }
    };
    std::unique_ptr<void, FreeBlock> block;
    Output out;
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) {
                return Damaged(budget, "the header is damaged");
            }
            const std::int64_t w = info.xsize;
            const std::int64_t h = info.ysize;
            if (!PictureSizeAllowed(w, h)) {
                if (const std::int16_t status = CheckPictureSize(w, h); status <= 0) {
                    return status;
                }
                SetErrorDetail("no picture size in the JPEG XL header");
                return ErrDamaged;
            }
            budget.limit = DecoderMemory(w * h);
            block.reset(dib::Allocate(static_cast<int>(w), static_cast<int>(h), 24, 0));
            if (!block) {
                return ErrMemory;
            }
            out.view = dib::View(block.get());
            out.channels = info.alpha_bits > 0 ? 4 : 3;
            format.num_channels = static_cast<std::uint32_t>(out.channels);
            break;
        }
        case JXL_DEC_COLOR_ENCODING: {
            JxlColorEncoding encoding;
            const bool described = JxlDecoderGetColorAsEncodedProfile(decoder.get(), nullptr,
                                                                      JXL_COLOR_PROFILE_TARGET_DATA,
                                                                      &encoding) == JXL_DEC_SUCCESS;
            std::size_t size = 0;
            if ((!described || !IsSrgb(encoding)) &&
                JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                            &size) == JXL_DEC_SUCCESS &&
                size > 0) {
                icc.resize(size);
                if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr,
                                                   JXL_COLOR_PROFILE_TARGET_DATA, icc.data(),
                                                   size) != JXL_DEC_SUCCESS) {
                    icc.clear();
                }
            }
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
            if (!block || JxlDecoderSetImageOutCallback(decoder.get(), &format, PutPixels, &out) !=
                              JXL_DEC_SUCCESS) {
                return Damaged(budget, "the decoder refused the picture's buffer");
            }
            break;
        case JXL_DEC_FULL_IMAGE:
        case JXL_DEC_SUCCESS:
            // An animation's first frame is its picture.
            if (!block) {
                return Damaged(budget, "the file holds no picture");
            }
            *dib = block.release();
            return Ok;
        case JXL_DEC_NEED_MORE_INPUT:
            return Damaged(budget, "the file ends before its picture does");
        default:
            return Damaged(budget, "the coded picture is damaged");
        }
    }
}

} // namespace pelisto::codec
