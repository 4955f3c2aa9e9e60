#include "viewer_windows/gdiplus_picture.h"

#include "slideshow/jpeg_frame.h"
#include "slideshow/picture_limit.h"

#include <algorithm>
#include <atomic>
#include <string>

#include <objidl.h>
#include <shlwapi.h>
// GDI+'s headers need min and max as plain functions of the global namespace.
using std::max;
using std::min;
#include <gdiplus.h>

namespace pelisto {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

std::string StatusText(GpStatus status) {
    switch (status) {
    case OutOfMemory:
        return "not enough memory";
    case GenericError:
    case InvalidParameter:
    case UnknownImageFormat:
        return "the picture is damaged or not one the system can read";
    case NotImplemented:
    case UnsupportedGdiplusVersion:
        return "the system cannot decode this kind of picture";
    default:
        return "the system's decoder failed (status " + std::to_string(static_cast<int>(status)) +
               ")";
    }
}

std::atomic<int> decodesRunning{0};

struct StreamHolder {
    IStream* stream = nullptr;
    ~StreamHolder() {
        if (stream != nullptr) {
            stream->Release();
        }
    }
};

struct BitmapHolder {
    GpBitmap* bitmap = nullptr;
    ~BitmapHolder() {
        if (bitmap != nullptr) {
            GdipDisposeImage(bitmap);
        }
    }
};

struct GraphicsHolder {
    GpGraphics* graphics = nullptr;
    ~GraphicsHolder() {
        if (graphics != nullptr) {
            GdipDeleteGraphics(graphics);
        }
    }
};

struct AttributesHolder {
    GpImageAttributes* attributes = nullptr;
    ~AttributesHolder() {
        if (attributes != nullptr) {
            GdipDisposeImageAttributes(attributes);
        }
    }
};

} // namespace

void DecodeStarting() {
    ++decodesRunning;
}

void DecodeEnded() {
    --decodesRunning;
}

GdiplusSession::GdiplusSession() {
    GdiplusStartupInput input;
    if (GdiplusStartup(&token_, &input, nullptr) != Ok) {
        throw std::runtime_error("the system's picture library (GDI+) does not start");
    }
}

GdiplusSession::~GdiplusSession() {
    if (decodesRunning == 0) {
        GdiplusShutdown(token_);
    }
}

DecodedPicture::DecodedPicture(std::span<const std::uint8_t> jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        throw PictureDecodeError("not a JPEG picture (no start-of-image marker)");
    }
    if (jpeg.size() > 0x7FFFFFFF) {
        throw PictureDecodeError("picture too large");
    }
    // GDI+ allocates for whatever size the header claims: check it before handing it over.
    const auto frame = ReadJpegFrameSize(jpeg);
    if (!frame) {
        throw PictureDecodeError("the picture is damaged (no readable frame header)");
    }
    if (!PictureSizeAllowed(frame->width, frame->height)) {
        throw PictureDecodeError("picture too large: " +
                                 PictureTooLargeText(frame->width, frame->height));
    }
    StreamHolder stream{SHCreateMemStream(jpeg.data(), static_cast<UINT>(jpeg.size()))};
    if (stream.stream == nullptr) {
        throw PictureDecodeError("not enough memory");
    }
    BitmapHolder source;
    GpStatus status = GdipCreateBitmapFromStream(stream.stream, &source.bitmap);
    if (status != Ok) {
        throw PictureDecodeError(StatusText(status));
    }
    UINT w = 0, h = 0;
    GdipGetImageWidth(source.bitmap, &w);
    GdipGetImageHeight(source.bitmap, &h);
    if (w < 1 || h < 1 || w > 65535 || h > 65535) {
        throw PictureDecodeError("picture of unusable size " + std::to_string(w) + " x " +
                                 std::to_string(h));
    }
    width_ = static_cast<int>(w);
    height_ = static_cast<int>(h);
    try {
        pixels_.resize(static_cast<std::size_t>(w) * h);
    } catch (const std::bad_alloc&) {
        throw PictureDecodeError("not enough memory for " + std::to_string(w) + " x " +
                                 std::to_string(h) + " pixels");
    }

    // Reading every pixel into our own buffer decodes the whole stream now, so damage is found
    // here rather than half-way through drawing.
    BitmapData data{};
    data.Width = w;
    data.Height = h;
    data.Stride = static_cast<INT>(w * 4);
    data.PixelFormat = PixelFormat32bppRGB;
    data.Scan0 = pixels_.data();
    const GpRect all(0, 0, width_, height_);
    status = GdipBitmapLockBits(source.bitmap, &all, ImageLockModeRead | ImageLockModeUserInputBuf,
                                PixelFormat32bppRGB, &data);
    if (status != Ok) {
        throw PictureDecodeError(StatusText(status));
    }
    GdipBitmapUnlockBits(source.bitmap, &data);

    GpBitmap* decoded = nullptr;
    status = GdipCreateBitmapFromScan0(width_, height_, width_ * 4, PixelFormat32bppRGB,
                                       reinterpret_cast<BYTE*>(pixels_.data()), &decoded);
    if (status != Ok) {
        throw PictureDecodeError(StatusText(status));
    }
    bitmap_ = decoded;
}

DecodedPicture::~DecodedPicture() {
    if (bitmap_ != nullptr) {
        GdipDisposeImage(static_cast<GpBitmap*>(bitmap_));
    }
}

void DecodedPicture::Draw(HDC dc, int clipWidth, int clipHeight, int left, int top, int width,
                          int height) const {
    const long long x0 = std::max(left, 0);
    const long long y0 = std::max(top, 0);
    const long long x1 = std::min<long long>(clipWidth, static_cast<long long>(left) + width);
    const long long y1 = std::min<long long>(clipHeight, static_cast<long long>(top) + height);
    if (width < 1 || height < 1 || x0 >= x1 || y0 >= y1) {
        return;
    }
    GraphicsHolder g;
    if (GdipCreateFromHDC(dc, &g.graphics) != Ok) {
        return;
    }
    GdipSetInterpolationMode(g.graphics, InterpolationModeHighQualityBicubic);
    // Screen pixel centres map onto picture pixel centres, as in the Linux stub.
    GdipSetPixelOffsetMode(g.graphics, PixelOffsetModeHalf);
    GdipSetCompositingMode(g.graphics, CompositingModeSourceCopy);
    // Mirrored edges keep the kernel from pulling black into the picture's border.
    AttributesHolder attributes;
    GdipCreateImageAttributes(&attributes.attributes);
    if (attributes.attributes != nullptr) {
        GdipSetImageAttributesWrapMode(attributes.attributes, WrapModeTileFlipXY, 0, FALSE);
    }

    // The visible part of the destination and the part of the picture that lands there.
    const double sx = static_cast<double>(width_) / width;
    const double sy = static_cast<double>(height_) / height;
    GdipDrawImageRectRect(
        g.graphics, static_cast<GpBitmap*>(bitmap_), static_cast<REAL>(x0), static_cast<REAL>(y0),
        static_cast<REAL>(x1 - x0), static_cast<REAL>(y1 - y0), static_cast<REAL>((x0 - left) * sx),
        static_cast<REAL>((y0 - top) * sy), static_cast<REAL>((x1 - x0) * sx),
        static_cast<REAL>((y1 - y0) * sy), UnitPixel, attributes.attributes, nullptr, nullptr);
}

} // namespace pelisto
