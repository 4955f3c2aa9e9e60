#include "picture/jpeg_markers.h"

#include "codeclib/exif_orientation.h"
#include "slideshow/jpeg_segments.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>

namespace pelisto {
namespace {

std::uint8_t Byte(const QByteArray& data, qsizetype at) {
    return static_cast<std::uint8_t>(data[at]);
}

// Calls visit(marker, start, end) for each segment between the start of the file and its first
// scan; end lies one past the segment. Returns false when the file is not a sound JPEG header.
bool EachSegment(const QByteArray& jpeg,
                 const std::function<void(std::uint8_t, qsizetype, qsizetype)>& visit) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                              static_cast<std::size_t>(jpeg.size()));
    return WalkJpegSegments(bytes, [&](const JpegSegment& s) {
               visit(s.marker, static_cast<qsizetype>(s.start), static_cast<qsizetype>(s.end()));
               return false;
           }).how == JpegWalk::Scan;
}

bool IsMetadata(std::uint8_t marker) {
    return (marker >= 0xE1 && marker <= 0xEF && marker != 0xEE) || marker == 0xFE;
}

constexpr std::array<int, 64> StandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> ZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

} // namespace

QByteArray JpegMetadataSegments(const QByteArray& jpeg) {
    QByteArray segments;
    EachSegment(jpeg, [&](std::uint8_t marker, qsizetype start, qsizetype end) {
        if (IsMetadata(marker)) {
            segments += jpeg.mid(start, end - start);
        }
    });
    return segments;
}

QByteArray WithMetadataSegments(const QByteArray& encoded, const QByteArray& segments) {
    qsizetype insertAt = -1;
    const bool sound = EachSegment(encoded, [&](std::uint8_t marker, qsizetype, qsizetype end) {
        if (insertAt < 0) {
            insertAt = marker == 0xE0 ? end : 2;
        }
    });
    if (!sound || insertAt < 0) {
        return {};
    }
    QByteArray out = encoded.left(insertAt) + segments + encoded.mid(insertAt);
    exif::SetJpegOrientation(reinterpret_cast<std::uint8_t*>(out.data()),
                             static_cast<std::size_t>(out.size()), exif::Upright);
    return out;
}

int EstimateJpegQuality(const QByteArray& jpeg) {
    std::array<int, 64> table{};
    bool found = false;
    EachSegment(jpeg, [&](std::uint8_t marker, qsizetype start, qsizetype end) {
        if (marker != 0xDB || found) {
            return;
        }
        for (qsizetype at = start + 4; at < end && !found;) {
            const bool wide = (Byte(jpeg, at) >> 4) != 0;
            const int id = Byte(jpeg, at) & 15;
            const qsizetype bytes = wide ? 128 : 64;
            if (at + 1 + bytes > end) {
                return;
            }
            if (id == 0) {
                for (int i = 0; i < 64; ++i) {
                    table[static_cast<std::size_t>(i)] =
                        wide ? Byte(jpeg, at + 1 + 2 * i) << 8 | Byte(jpeg, at + 2 + 2 * i)
                             : Byte(jpeg, at + 1 + i);
                }
                found = true;
            }
            at += 1 + bytes;
        }
    });
    if (!found) {
        return 0;
    }
    // The libjpeg scaling of the standard table; the closest quality wins.
    int best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (int q = 1; q <= 100; ++q) {
        const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
        long distance = 0;
        for (std::size_t i = 0; i < 64; ++i) {
            const int expected = std::clamp(
                (StandardLuminance[static_cast<std::size_t>(ZigZag[i])] * scale + 50) / 100, 1,
                255);
            distance += std::abs(table[i] - expected);
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = q;
        }
    }
    return best;
}

} // namespace pelisto
