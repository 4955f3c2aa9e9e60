#include "slideshow/jpeg_frame.h"

namespace pelisto {

namespace {

constexpr std::uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kTem = 0x01;

bool IsStartOfFrame(std::uint8_t marker) {
    // C0..CF are frames except DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool HasNoLength(std::uint8_t marker) {
    return marker == kTem || (marker >= 0xD0 && marker <= 0xD7); // TEM, RST0..7
}

} // namespace

std::optional<JpegFrameSize> ReadJpegFrameSize(std::span<const std::uint8_t> jpeg) {
    const std::size_t size = jpeg.size();
    if (size < 4 || jpeg[0] != 0xFF || jpeg[1] != kSoi) {
        return std::nullopt;
    }
    std::size_t at = 2;
    for (;;) {
        // A marker: one or more 0xFF fill bytes, then its code.
        if (at >= size || jpeg[at] != 0xFF) {
            return std::nullopt;
        }
        while (at < size && jpeg[at] == 0xFF) {
            ++at;
        }
        if (at >= size) {
            return std::nullopt;
        }
        const std::uint8_t marker = jpeg[at++];
        if (HasNoLength(marker)) {
            continue;
        }
        if (marker == kSos || marker == kEoi || marker == kSoi || marker == 0x00) {
            return std::nullopt; // the data starts (or the file ends) with no frame declared
        }
        if (size - at < 2) {
            return std::nullopt;
        }
        const std::size_t length = static_cast<std::size_t>(jpeg[at]) << 8 | jpeg[at + 1];
        if (length < 2 || length > size - at) {
            return std::nullopt;
        }
        if (IsStartOfFrame(marker)) {
            // Length, precision, height, width.
            if (length < 7) {
                return std::nullopt;
            }
            const std::uint32_t height =
                static_cast<std::uint32_t>(jpeg[at + 3]) << 8 | jpeg[at + 4];
            const std::uint32_t width =
                static_cast<std::uint32_t>(jpeg[at + 5]) << 8 | jpeg[at + 6];
            if (width == 0 || height == 0) {
                return std::nullopt;
            }
            return JpegFrameSize{width, height};
        }
        at += length;
    }
}

} // namespace pelisto
