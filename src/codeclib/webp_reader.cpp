#include "codeclib/webp_reader.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/error_detail.h"
#include "codeclib/exif_orientation.h"
#include "codeclib/rgb_rows.h"
#include "codeclib/whole_file.h"
#include "slideshow/byte_order.h"
#include "slideshow/picture_limit.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace pelisto::codec {
namespace {

// EXIF blocks are small; a larger claim is not an orientation worth reading.
constexpr std::uint32_t MaxExifBytes = 1 << 20;

const char* VP8StatusText(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return "the decoder ran out of memory";
    case VP8_STATUS_INVALID_PARAM:
        return "the decoder refused its parameters";
    case VP8_STATUS_BITSTREAM_ERROR:
        return "the coded picture is damaged";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "the picture uses a feature the decoder does not have";
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "the file ends before its picture does";
    default:
        return "the picture could not be decoded";
    }
}

std::int16_t Failed(VP8StatusCode status) {
    SetErrorDetail(VP8StatusText(status));
    return status == VP8_STATUS_OUT_OF_MEMORY ? ErrMemory : ErrDamaged;
}

// The orientation in an EXIF chunk's payload, which may or may not start with the APP1 name.
int OrientationOfChunk(const std::uint8_t* data, std::size_t size) {
    if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) {
        return exif::OrientationOfApp1(data, size);
    }
    std::vector<std::uint8_t> app1(size + 6);
    std::memcpy(app1.data(), "Exif\0\0", 6);
    std::memcpy(app1.data() + 6, data, size);
    return exif::OrientationOfApp1(app1.data(), app1.size());
}

// The EXIF chunk's orientation, found by walking the chunk headers of the RIFF file.
int FileOrientation(std::FILE* file) {
    long at = 12;
    unsigned char head[8];
    while (std::fseek(file, at, SEEK_SET) == 0 && std::fread(head, 1, 8, file) == 8) {
        const std::uint32_t length = bytes::Le32(head + 4);
        if (std::memcmp(head, "EXIF", 4) == 0) {
            if (length > MaxExifBytes) {
                return exif::Upright;
            }
            std::vector<std::uint8_t> payload(length);
            if (std::fread(payload.data(), 1, length, file) != length) {
                return exif::Upright;
            }
            return OrientationOfChunk(payload.data(), payload.size());
        }
        if (length > 0x7FFFFFF0u - static_cast<std::uint32_t>(at)) {
            break;
        }
        at += 8 + static_cast<long>(length) + (length & 1);
    }
    return exif::Upright;
}

struct DemuxDelete {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct AnimDelete {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// The first frame of an animation, on its canvas, into the DIB.
std::int16_t FirstFrame(const WebPData& data, const dib::DibView& view) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return ErrGeneral;
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, AnimDelete> decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)) {
        SetErrorDetail("the animation's frames cannot be read");
        return ErrDamaged;
    }
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (info.canvas_width != static_cast<std::uint32_t>(view.width) ||
        info.canvas_height != static_cast<std::uint32_t>(view.height) ||
        !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) {
        SetErrorDetail("the animation's first frame is damaged");
        return ErrDamaged;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(view.width) * 4;
    for (int y = 0; y < view.height; ++y) {
        PutBgraRow(view.Row(y), canvas + rowBytes * y, view.width);
    }
    return Ok;
}

// A still picture straight into the DIB when it has no alpha; through a BGRA copy when it has.
std::int16_t Still(const WebPData& data, const dib::DibView& view, bool alpha) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        return ErrGeneral;
    }
    std::vector<std::uint8_t> bgra;
    config.output.is_external_memory = 1;
    if (alpha) {
        bgra.resize(static_cast<std::size_t>(view.width) * 4 * view.height);
        config.output.colorspace = MODE_BGRA;
        config.output.u.RGBA.rgba = bgra.data();
        config.output.u.RGBA.stride = view.width * 4;
        config.output.u.RGBA.size = bgra.size();
    } else {
        // DIB rows run bottom up.
        config.options.flip = 1;
        config.output.colorspace = MODE_BGR;
        config.output.u.RGBA.rgba = view.pixels;
        config.output.u.RGBA.stride = static_cast<int>(view.rowBytes);
        config.output.u.RGBA.size = static_cast<std::size_t>(view.PixelBytes());
    }
    const VP8StatusCode status = WebPDecode(data.bytes, data.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        return Failed(status);
    }
    if (alpha) {
        const std::size_t rowBytes = static_cast<std::size_t>(view.width) * 4;
        for (int y = 0; y < view.height; ++y) {
            PutBgraRow(view.Row(y), bgra.data() + rowBytes * y, view.width);
        }
    }
    return Ok;
}

} // namespace

bool LooksLikeWebp(const unsigned char* head, std::size_t size) {
    return size >= 16 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

std::int16_t WebpInfo(const char* name, Identified& id) {
    FilePtr file(std::fopen(name, "rb"));
    if (!file) {
        SetErrorDetailFromErrno(errno);
        return ErrOpen;
    }
    // The header chunks are read until the picture's size is found: an ICC profile before the
    // coded picture can take many kilobytes.
    std::vector<unsigned char> head;
    WebPBitstreamFeatures features;
    VP8StatusCode status = VP8_STATUS_NOT_ENOUGH_DATA;
    for (std::size_t want = 4096; status == VP8_STATUS_NOT_ENOUGH_DATA; want *= 4) {
        const std::size_t had = head.size();
        head.resize(want);
        const std::size_t got = std::fread(head.data() + had, 1, want - had, file.get());
        head.resize(had + got);
        status = WebPGetFeatures(head.data(), head.size(), &features);
        if (had + got < want) {
            break;
        }
    }
    if (status != VP8_STATUS_OK) {
        return Failed(status);
    }
    const bool swap = exif::SwapsSides(FileOrientation(file.get()));
    id.format = "WEBP";
    id.compression = features.has_animation ? "animated"
                     : features.format == 2 ? "lossless"
                                            : "lossy";
    id.width = swap ? features.height : features.width;
    id.height = swap ? features.width : features.height;
    id.bits = features.has_alpha ? 32 : 24;
    if (id.width <= 0 || id.height <= 0) {
        SetErrorDetail("no picture size in the WebP header");
        return ErrDamaged;
    }
    return CheckPictureSize(id.width, id.height);
}

bool WebpLossless(const std::vector<unsigned char>& bytes) {
    WebPBitstreamFeatures features;
    return WebPGetFeatures(bytes.data(), bytes.size(), &features) == VP8_STATUS_OK &&
           !features.has_animation && features.format == 2;
}

std::int16_t WebpRead(const char* name, void** dib, std::vector<std::uint8_t>& icc) {
    *dib = nullptr;
    icc.clear();
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(name, bytes)) {
        return ErrOpen;
    }
    WebPBitstreamFeatures features;
    if (const VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
        status != VP8_STATUS_OK) {
        return Failed(status);
    }
    if (!PictureSizeAllowed(features.width, features.height)) {
        if (const std::int16_t status = CheckPictureSize(features.width, features.height);
            status <= 0) {
            return status;
        }
        SetErrorDetail("no picture size in the WebP header");
        return ErrDamaged;
    }
    const WebPData data{bytes.data(), bytes.size()};
    int orientation = exif::Upright;
    {
        const std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&data));
        WebPChunkIterator chunk;
        if (demux && WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
            icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        if (demux && WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
            orientation = OrientationOfChunk(chunk.chunk.bytes, chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    void* block = dib::Allocate(features.width, features.height, 24, 0);
    if (block == nullptr) {
        return ErrMemory;
    }
    const dib::DibView view = dib::View(block);
    const std::int16_t status =
        features.has_animation ? FirstFrame(data, view) : Still(data, view, features.has_alpha);
    if (status <= 0) {
        std::free(block);
        return status;
    }
    if (orientation != exif::Upright) {
        void* upright = exif::UprightDib(block, orientation);
        std::free(block);
        if (upright == nullptr) {
            return ErrMemory;
        }
        block = upright;
    }
    *dib = block;
    return Ok;
}

} // namespace pelisto::codec
