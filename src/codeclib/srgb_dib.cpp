// The processing library's colour conversion: a picture that carries a colour profile other
// than sRGB is brought to sRGB in place, through LittleCMS, so that every viewer shows its
// colours, whether it manages colour or not.

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "codeclib/picture_profile.h"

#include <cstdlib>
#include <lcms2.h>
#include <memory>
#include <vector>

#define PL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace pelisto;

namespace {

// Relative colorimetric with black point compensation: colours that sRGB holds keep their
// measured values, the rest are clipped at its edge, and the profile's black lands on black.
constexpr cmsUInt32Number Intent = INTENT_RELATIVE_COLORIMETRIC;
constexpr cmsUInt32Number Flags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_COPY_ALPHA;

// One context per call: nothing of LittleCMS is shared between threads converting at once.
struct Context {
    cmsContext handle = cmsCreateContext(nullptr, nullptr);
    Context() {
        if (handle != nullptr) {
            // Broken profiles are common and simply not used; nothing to print.
            cmsSetLogErrorHandlerTHR(handle, [](cmsContext, cmsUInt32Number, const char*) {});
        }
    }
    ~Context() {
        if (handle != nullptr) {
            cmsDeleteContext(handle);
        }
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

struct ProfileClose {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileClose>;
struct TransformDelete {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Transform = std::unique_ptr<void, TransformDelete>;

// Gray on sRGB's tone curve: a gray picture comes out with the grays sRGB shows.
Profile SrgbGray(cmsContext ctx) {
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(ctx, 4, srgb);
    if (curve == nullptr) {
        return nullptr;
    }
    Profile gray(cmsCreateGrayProfileTHR(ctx, cmsD50_xyY(), curve));
    cmsFreeToneCurve(curve);
    return gray;
}

// A transform that moves no sample by more than one step, over a grid through the colour cube
// (every gray for gray), is sRGB's own: the picture is left exactly as it was read.
bool Unchanging(cmsHTRANSFORM transform, int channels, int pixelBytes) {
    std::vector<std::uint8_t> in;
    if (channels == 1) {
        for (int v = 0; v < 256; ++v) {
            in.push_back(static_cast<std::uint8_t>(v));
        }
    } else {
        for (int a = 0; a < 256; a += 15) {
            for (int b = 0; b < 256; b += 15) {
                for (int c = 0; c < 256; c += 15) {
                    const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(a),
                                                   static_cast<std::uint8_t>(b),
                                                   static_cast<std::uint8_t>(c), 255};
                    in.insert(in.end(), pixel, pixel + pixelBytes);
                }
            }
        }
    }
    std::vector<std::uint8_t> out(in.size());
    const auto pixels = static_cast<cmsUInt32Number>(in.size() / static_cast<unsigned>(pixelBytes));
    cmsDoTransform(transform, in.data(), out.data(), pixels);
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (i % static_cast<unsigned>(pixelBytes) < static_cast<unsigned>(channels) &&
            std::abs(int{in[i]} - int{out[i]}) > 1) {
            return false;
        }
    }
    return true;
}

} // namespace

// Brings the DIB's pixels (or its colour table) from the profile to sRGB, in place. Answers 1
// when they changed, 0 when they were left as they were: no profile, an sRGB one, one LittleCMS
// cannot use or one for another kind of picture (a CMYK profile on a picture already read as
// RGB); a broken profile never fails the picture. ErrArgument for a DIB it cannot handle.
PL_EXPORT std::int16_t ProfileToSrgb(PLDib dib, const void* profile, std::int32_t size) {
    const dib::DibView v = dib::View(dib);
    if (!v || v.header->biCompression != dib::BI_RGB || v.bits == 16) {
        return codec::ErrArgument;
    }
    if (profile == nullptr || size <= 0 ||
        static_cast<std::size_t>(size) > codec::MaxProfileBytes) {
        return 0;
    }
    Context context;
    if (context.handle == nullptr) {
        return 0;
    }
    const cmsContext ctx = context.handle;
    Profile source(cmsOpenProfileFromMemTHR(ctx, profile, static_cast<cmsUInt32Number>(size)));
    if (!source) {
        return 0;
    }
    const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
    if (space == cmsSigGrayData) {
        // A gray picture's samples (gray table entries, or the equal channels of gray read as
        // RGB) go through one table of the 256 grays.
        Profile gray = SrgbGray(ctx);
        Transform transform(gray ? cmsCreateTransformTHR(ctx, source.get(), TYPE_GRAY_8, gray.get(),
                                                         TYPE_GRAY_8, Intent,
                                                         cmsFLAGS_BLACKPOINTCOMPENSATION)
                                 : nullptr);
        if (!transform || Unchanging(transform.get(), 1, 1)) {
            return 0;
        }
        std::uint8_t table[256];
        for (int i = 0; i < 256; ++i) {
            table[i] = static_cast<std::uint8_t>(i);
        }
        cmsDoTransform(transform.get(), table, table, 256);
        if (v.bits <= 8) {
            for (std::uint32_t i = 0; i < v.colourCount; ++i) {
                dib::RgbQuad& c = v.colours[i];
                c = {table[c.blue], table[c.green], table[c.red], c.reserved};
            }
            return 1;
        }
        const int bytes = v.bits / 8;
        for (int y = 0; y < v.height; ++y) {
            std::uint8_t* row = v.Row(y);
            for (int x = 0; x < v.width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    row[bytes * x + c] = table[row[bytes * x + c]];
                }
            }
        }
        return 1;
    }
    if (space != cmsSigRgbData) {
        return 0;
    }
    Profile srgb(cmsCreate_sRGBProfileTHR(ctx));
    // Colour tables hold blue, green, red and a spare byte, as 32-bit pixels do.
    const bool three = v.bits == 24;
    const cmsUInt32Number format = three ? TYPE_BGR_8 : TYPE_BGRA_8;
    Transform transform(
        srgb ? cmsCreateTransformTHR(ctx, source.get(), format, srgb.get(), format, Intent, Flags)
             : nullptr);
    if (!transform || Unchanging(transform.get(), 3, three ? 3 : 4)) {
        return 0;
    }
    if (v.bits <= 8) {
        cmsDoTransform(transform.get(), v.colours, v.colours, v.colourCount);
        return 1;
    }
    for (int y = 0; y < v.height; ++y) {
        cmsDoTransform(transform.get(), v.Row(y), v.Row(y), static_cast<cmsUInt32Number>(v.width));
    }
    return 1;
}
