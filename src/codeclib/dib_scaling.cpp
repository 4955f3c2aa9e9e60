#include "codeclib/dib_scaling.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <new>

namespace pelisto::codec {
namespace {

struct ScalerFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using Scaler = std::unique_ptr<SwsContext, ScalerFree>;

struct AlignedFree {
    void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{64}); }
};
using Bytes = std::unique_ptr<std::uint8_t[], AlignedFree>;

// The scaler reads and writes whole vectors; rows start on such a boundary.
constexpr int kAlign = 64;
// Source rows go to the scaler in slices of this many, so only the scaled picture is held whole.
constexpr int kSliceRows = 32;
// The scaler's filter grows with the reduction; past about 28 times along the height it fails
// (a fault inside the library), so larger reductions are made in several passes.
constexpr int kMaxReduction = 16;

Bytes Allocate(std::size_t bytes) {
    return Bytes(new (std::align_val_t{kAlign}, std::nothrow) std::uint8_t[bytes]);
}

// One to three 8-bit planes of the same size, one after the other.
struct Planes {
    int width = 0;
    int height = 0;
    int count = 0;
    int stride = 0;
    std::size_t planeBytes = 0;
    Bytes bytes;

    bool Make(int w, int h, int planes) {
        width = w;
        height = h;
        count = planes;
        stride = (w + kAlign - 1) / kAlign * kAlign;
        planeBytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(h);
        bytes = Allocate(planeBytes * static_cast<std::size_t>(planes));
        return static_cast<bool>(bytes);
    }
    std::uint8_t* Row(int plane, int y) const {
        return bytes.get() + planeBytes * static_cast<std::size_t>(plane) +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    }
};

// 24-bit pixels to planes and back. Vectorised (with SSSE3's byte shuffle where the processor
// has it) they take a third of the time of a plain loop, which was a quarter of a scaling.
[[gnu::target_clones("ssse3", "default"), gnu::optimize("O3")]] void
SplitPixels(const std::uint8_t* __restrict in, std::uint8_t* __restrict b,
            std::uint8_t* __restrict g, std::uint8_t* __restrict r, int width) {
    for (int x = 0; x < width; ++x) {
        b[x] = in[3 * x];
        g[x] = in[3 * x + 1];
        r[x] = in[3 * x + 2];
    }
}

[[gnu::target_clones("ssse3", "default"), gnu::optimize("O3")]] void
JoinPixels(const std::uint8_t* __restrict b, const std::uint8_t* __restrict g,
           const std::uint8_t* __restrict r, std::uint8_t* __restrict out, int width) {
    for (int x = 0; x < width; ++x) {
        out[3 * x] = b[x];
        out[3 * x + 1] = g[x];
        out[3 * x + 2] = r[x];
    }
}

// The size after one pass towards the target: at most kMaxReduction times smaller.
int PassSide(int from, int to) {
    return std::max(to, (from + kMaxReduction - 1) / kMaxReduction);
}

// Blue, green and red are scaled as the three planes of a 4:4:4 picture: each on its own, with
// no colour conversion between them. A gray picture is one plane.
Scaler MakeScaler(int width, int height, const Planes& out) {
    const AVPixelFormat format = out.count == 1 ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_YUV444P;
    return Scaler(sws_getContext(width, height, format, out.width, out.height, format,
                                 SWS_LANCZOS | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
}

// Hands rows top .. top + rows - 1, held in the slice's planes, to the scaler writing into out.
bool Scale(SwsContext* scaler, const Planes& slice, int top, int rows, const Planes& out) {
    const std::uint8_t* src[4] = {};
    int srcStride[4] = {};
    std::uint8_t* dst[4] = {};
    int dstStride[4] = {};
    for (int p = 0; p < out.count; ++p) {
        src[p] = slice.Row(p, 0);
        srcStride[p] = slice.stride;
        dst[p] = out.Row(p, 0);
        dstStride[p] = out.stride;
    }
    return sws_scale(scaler, src, srcStride, top, rows, dst, dstStride) >= 0;
}

bool IsGrayTable(const dib::DibView& v) {
    return std::all_of(v.colours, v.colours + v.colourCount,
                       [](const dib::RgbQuad& c) { return c.red == c.green && c.green == c.blue; });
}

} // namespace

struct DibScaler::State {
    int width = 0;
    int height = 0;
    int toWidth = 0;
    int toHeight = 0;
    int fed = 0;     // rows pushed so far
    int inSlice = 0; // of them, rows waiting in the slice
    Scaler scaler;
    Planes slice;
    Planes scaled;

    bool Flush() {
        const int rows = inSlice;
        inSlice = 0;
        return rows == 0 || Scale(scaler.get(), slice, fed - rows, rows, scaled);
    }
};

DibScaler::DibScaler() = default;
DibScaler::~DibScaler() = default;

bool DibScaler::Start(int width, int height, bool gray, int toWidth, int toHeight) {
    state_.reset();
    if (width < kSmallestScaledSide || height < kSmallestScaledSide || toWidth < 1 ||
        toHeight < 1 || std::int64_t{toWidth} * toHeight > dib::MaxPixels) {
        return false;
    }
    auto s = std::make_unique<State>();
    s->width = width;
    s->height = height;
    s->toWidth = toWidth;
    s->toHeight = toHeight;
    const int planes = gray ? 1 : 3;
    if (!s->scaled.Make(PassSide(width, toWidth), PassSide(height, toHeight), planes) ||
        !s->slice.Make(width, kSliceRows, planes)) {
        return false;
    }
    s->scaler = MakeScaler(width, height, s->scaled);
    if (!s->scaler) {
        return false;
    }
    state_ = std::move(s);
    return true;
}

bool DibScaler::Push(const std::uint8_t* row) {
    State* s = state_.get();
    if (s == nullptr || s->fed >= s->height) {
        return false;
    }
    if (s->slice.count == 1) {
        std::copy_n(row, s->width, s->slice.Row(0, s->inSlice));
    } else {
        SplitPixels(row, s->slice.Row(0, s->inSlice), s->slice.Row(1, s->inSlice),
                    s->slice.Row(2, s->inSlice), s->width);
    }
    ++s->fed;
    ++s->inSlice;
    if (s->inSlice == kSliceRows || s->fed == s->height) {
        if (!s->Flush()) {
            state_.reset();
            return false;
        }
    }
    return true;
}

void* DibScaler::Finish() {
    const std::unique_ptr<State> s = std::move(state_);
    if (!s || s->fed != s->height) {
        return nullptr;
    }
    // Reductions beyond one pass: the planes so far are the next pass's source.
    const int planes = s->scaled.count;
    while (s->scaled.width != s->toWidth || s->scaled.height != s->toHeight) {
        Planes next;
        if (!next.Make(PassSide(s->scaled.width, s->toWidth),
                       PassSide(s->scaled.height, s->toHeight), planes)) {
            return nullptr;
        }
        const Scaler scaler = MakeScaler(s->scaled.width, s->scaled.height, next);
        if (!scaler || !Scale(scaler.get(), s->scaled, 0, s->scaled.height, next)) {
            return nullptr;
        }
        s->scaled = std::move(next);
    }
    const bool gray = planes == 1;
    void* block = dib::Allocate(s->toWidth, s->toHeight, gray ? 8 : 24, gray ? 256 : 0);
    if (block == nullptr) {
        return nullptr;
    }
    const dib::DibView out = dib::View(block);
    if (gray) {
        dib::FillGrayTable(out.colours, 256);
    }
    for (int y = 0; y < s->toHeight; ++y) {
        if (gray) {
            std::copy_n(s->scaled.Row(0, y), s->toWidth, out.Row(y));
        } else {
            JoinPixels(s->scaled.Row(0, y), s->scaled.Row(1, y), s->scaled.Row(2, y), out.Row(y),
                       s->toWidth);
        }
    }
    return block;
}

void* ScaledDib(const dib::DibView& v, int width, int height) {
    if (!v || v.header->biCompression != dib::BI_RGB ||
        !(v.bits == 1 || v.bits == 4 || v.bits == 8 || v.bits == 24 || v.bits == 32)) {
        return nullptr;
    }
    const bool indexed = v.bits <= 8;
    const bool gray = indexed && IsGrayTable(v);
    DibScaler scaler;
    if (!scaler.Start(v.width, v.height, gray, width, height)) {
        return nullptr;
    }
    if (v.bits == 24) {
        for (int y = 0; y < v.height; ++y) {
            if (!scaler.Push(v.Row(y))) {
                return nullptr;
            }
        }
        return scaler.Finish();
    }
    // Other depths are made gray samples or 24-bit pixels a row at a time. Indexes past the
    // table show its first colour.
    std::array<dib::RgbQuad, 256> table{};
    if (indexed) {
        std::copy(v.colours, v.colours + v.colourCount, table.begin());
        std::fill(table.begin() + v.colourCount, table.end(), v.colours[0]);
    }
    std::unique_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[3 * v.width]);
    if (!pixels) {
        return nullptr;
    }
    for (int y = 0; y < v.height; ++y) {
        const std::uint8_t* in = v.Row(y);
        std::uint8_t* out = pixels.get();
        for (int x = 0; x < v.width; ++x) {
            const dib::RgbQuad c = indexed
                                       ? table[dib::IndexAt(in, x, v.bits)]
                                       : dib::RgbQuad{in[4 * x], in[4 * x + 1], in[4 * x + 2], 0};
            if (gray) {
                *out++ = c.blue;
            } else {
                *out++ = c.blue;
                *out++ = c.green;
                *out++ = c.red;
            }
        }
        if (!scaler.Push(pixels.get())) {
            return nullptr;
        }
    }
    return scaler.Finish();
}

} // namespace pelisto::codec
