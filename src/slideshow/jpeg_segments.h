#pragma once

// The one walk over a JPEG file's markers, from its start to its first scan. Every step is
// checked against the buffer's end and moves forward, so damaged or hostile bytes end the walk
// rather than read out of bounds or loop.

#include "slideshow/byte_order.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace pelisto {

// One marker segment: its code, where its 0xFF lies, and its payload (after the length).
struct JpegSegment {
    std::uint8_t marker = 0;
    std::size_t start = 0;
    std::size_t payload = 0;
    std::size_t payloadSize = 0;
    std::size_t end() const { return payload + payloadSize; }
};

enum class JpegWalk {
    Scan,    // the first scan was reached; `at` is where its SOS marker lies
    Stopped, // the visitor asked to stop
    Broken,  // no start-of-image, a marker cut short or out of place
};

struct JpegWalkEnd {
    JpegWalk how = JpegWalk::Broken;
    std::size_t at = 0;
};

inline bool IsJpegStartOfFrame(std::uint8_t marker) {
    // C0..CF are frames except DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Calls visit(const JpegSegment&) for each segment with a length before the first scan; a visit
// that answers true stops the walk. Fill bytes, TEM and RSTn (markers without a length) are
// stepped over.
template <typename Visit>
JpegWalkEnd WalkJpegSegments(std::span<const std::uint8_t> jpeg, Visit&& visit) {
    const std::size_t size = jpeg.size();
    if (size < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return {};
    }
    std::size_t at = 2;
    for (;;) {
        if (at >= size || jpeg[at] != 0xFF) {
            return {JpegWalk::Broken, at};
        }
        const std::size_t start = at;
        while (at < size && jpeg[at] == 0xFF) {
            ++at;
        }
        if (at >= size) {
            return {JpegWalk::Broken, start};
        }
        const std::uint8_t marker = jpeg[at++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            continue;
        }
        if (marker == 0xDA) {
            return {JpegWalk::Scan, start};
        }
        if (marker == 0xD9 || marker == 0xD8 || marker == 0x00) {
            return {JpegWalk::Broken, start};
        }
        if (size - at < 2) {
            return {JpegWalk::Broken, start};
        }
        const std::size_t length = bytes::Be16(&jpeg[at]);
        if (length < 2 || length > size - at) {
            return {JpegWalk::Broken, start};
        }
        if (visit(JpegSegment{marker, start, at + 2, length - 2})) {
            return {JpegWalk::Stopped, start};
        }
        at += length;
    }
}

} // namespace pelisto
