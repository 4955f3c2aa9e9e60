#pragma once

#include <cstdint>

namespace pelisto {

// How a slideshow becomes a video: its frame, its rate and how each picture's time is spent.

struct VideoFrameSize {
    int width = 1920;
    int height = 1080;
    friend bool operator==(const VideoFrameSize&, const VideoFrameSize&) = default;
};

inline constexpr int kVideoFramesPerSecond = 25;
// The pictures handed to the video are JPEGs at this quality, whatever the slideshow's: the
// video's own quality is the encoder's rate factor.
inline constexpr int kVideoPictureQuality = 95;

// The frame for a picture size box: the box, or Full HD for the pictures' own size. H.264 in
// 4:2:0 needs even sides, so an odd side loses a pixel.
VideoFrameSize VideoFrameFor(int boxWidth, int boxHeight);

// The encoder's constant rate factor for a slideshow quality 1..100: 75, the tool's default,
// gives the encoder's own default 23; 100 gives 14, 1 gives 40 (see docs/decisions.md).
int VideoRateFactor(int quality);

// The frames of one picture's time and of the crossfade that opens it. A crossfade takes the
// first frames of the next picture's time, at most half of it, so the video lasts exactly
// the pictures times the delay.
struct VideoTiming {
    std::int64_t framesPerPicture = 0;
    std::int64_t fadeFrames = 0; // 0: a plain cut
};
VideoTiming VideoTimingFor(std::uint16_t delaySeconds, std::uint16_t crossfadeMs);

// The weight of the new picture, out of 256, in frame `k` (0-based) of a crossfade of `frames`.
int FadeWeight(std::int64_t k, std::int64_t frames);

} // namespace pelisto
