#include "video/video_settings.h"

#include <algorithm>
#include <cmath>

namespace pelisto {

VideoFrameSize VideoFrameFor(int boxWidth, int boxHeight) {
    if (boxWidth <= 0 || boxHeight <= 0) {
        return {};
    }
    return {std::max(2, boxWidth & ~1), std::max(2, boxHeight & ~1)};
}

int VideoRateFactor(int quality) {
    const double q = std::clamp(quality, 1, 100);
    const double crf = q >= 75 ? 23 - (q - 75) * 9 / 25 : 23 + (75 - q) * 17 / 74;
    return static_cast<int>(std::lround(crf));
}

VideoTiming VideoTimingFor(std::uint16_t delaySeconds, std::uint16_t crossfadeMs) {
    VideoTiming t;
    t.framesPerPicture =
        std::int64_t{std::max<std::uint16_t>(delaySeconds, 1)} * kVideoFramesPerSecond;
    const std::int64_t fade = (std::int64_t{crossfadeMs} * kVideoFramesPerSecond + 500) / 1000;
    t.fadeFrames = std::min(fade, t.framesPerPicture / 2);
    return t;
}

int FadeWeight(std::int64_t k, std::int64_t frames) {
    return static_cast<int>(((k + 1) * 256 + (frames + 1) / 2) / (frames + 1));
}

} // namespace pelisto
