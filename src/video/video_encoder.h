#pragma once

#include "video/video_settings.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace pelisto {

// One frame in BT.709 limited-range YUV 4:2:0: full-size luma, chroma at half each way.
struct YuvFrame {
    YuvFrame() = default;
    explicit YuvFrame(VideoFrameSize size)
        : width(size.width), height(size.height),
          y(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height), 16),
          u(y.size() / 4, 128), v(y.size() / 4, 128) {}
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> y, u, v;
};

// An H.264 video in an MP4 file, written through FFmpeg's libraries to an open, seekable file
// descriptor (the file made beside the target): yuv420p, the High profile, BT.709 colour tags,
// a constant frame rate of kVideoFramesPerSecond, the index at the front so it streams. Errors
// are Exceptions naming `fileName` and saying why.
class VideoEncoder {
public:
    VideoEncoder(int descriptor, const QString& fileName, VideoFrameSize frame, int rateFactor);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Adds `count` frames that show `frame`. A cancel flag that is set stops it with EAbort.
    void Add(const YuvFrame& frame, std::int64_t count, const std::atomic<bool>* cancel = nullptr);
    // Ends the stream and writes the index; the file is complete once this returns.
    void Finish();

    std::int64_t FrameCount() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace pelisto
