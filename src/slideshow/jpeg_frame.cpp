#include "slideshow/jpeg_frame.h"

#include "slideshow/jpeg_segments.h"

namespace pelisto {

std::optional<JpegFrameSize> ReadJpegFrameSize(std::span<const std::uint8_t> jpeg) {
    std::optional<JpegFrameSize> found;
    bool broken = false;
    WalkJpegSegments(jpeg, [&](const JpegSegment& s) {
        if (!IsJpegStartOfFrame(s.marker)) {
            return false;
        }
        // Precision, height, width.
        if (s.payloadSize < 5) {
            broken = true;
            return true;
        }
        const std::uint32_t height = bytes::Be16(&jpeg[s.payload + 1]);
        const std::uint32_t width = bytes::Be16(&jpeg[s.payload + 3]);
        if (width != 0 && height != 0) {
            found = JpegFrameSize{width, height};
        } else {
            broken = true;
        }
        return true;
    });
    return broken ? std::nullopt : found;
}

} // namespace pelisto
