#include "framework/exceptions.h"
#include "video/video_encoder.h"
#include "video/video_frames.h"
#include "video/video_settings.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pelisto {
namespace {

TEST(VideoSettings, FramesTimingAndRateFactor) {
    struct Frame {
        int boxWidth, boxHeight, width, height;
    };
    for (const Frame& f : {Frame{0, 0, 1920, 1080}, Frame{3840, 2160, 3840, 2160},
                           Frame{1281, 721, 1280, 720}, Frame{1, 1, 2, 2}}) {
        const VideoFrameSize size = VideoFrameFor(f.boxWidth, f.boxHeight);
        EXPECT_EQ(size.width, f.width) << f.boxWidth;
        EXPECT_EQ(size.height, f.height) << f.boxHeight;
    }
    struct Timing {
        std::uint16_t delay, fadeMs;
        std::int64_t frames, fade;
    };
    for (const Timing& t :
         {Timing{1, 0, 25, 0}, Timing{10, 1000, 250, 25}, Timing{2, 500, 50, 13},
          Timing{1, 5000, 25, 12}, Timing{65535, 5000, 1638375, 125}, Timing{3, 10, 75, 0}}) {
        const VideoTiming timing = VideoTimingFor(t.delay, t.fadeMs);
        EXPECT_EQ(timing.framesPerPicture, t.frames) << t.delay << " s, " << t.fadeMs << " ms";
        EXPECT_EQ(timing.fadeFrames, t.fade) << t.delay << " s, " << t.fadeMs << " ms";
    }
    for (const auto& [quality, crf] :
         {std::pair{75, 23}, {100, 14}, {1, 40}, {50, 29}, {90, 18}, {0, 40}, {101, 14}}) {
        EXPECT_EQ(VideoRateFactor(quality), crf) << quality;
    }
    // A fade rises through every frame and meets the new picture only after its last one.
    for (const std::int64_t frames : {1, 2, 12, 125}) {
        int before = 0;
        for (std::int64_t k = 0; k < frames; ++k) {
            const int w = FadeWeight(k, frames);
            EXPECT_GT(w, before) << k << " of " << frames;
            EXPECT_LT(w, 256) << k << " of " << frames;
            before = w;
        }
    }
    EXPECT_EQ(FadeWeight(12, 25), 128);
}

// A luma sample and the chroma samples around it.
struct Sample {
    int y, u, v;
};
Sample At(const YuvFrame& f, int x, int y) {
    const auto half = static_cast<std::size_t>(f.width / 2);
    return {f.y[static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) +
                static_cast<std::size_t>(x)],
            f.u[static_cast<std::size_t>(y / 2) * half + static_cast<std::size_t>(x / 2)],
            f.v[static_cast<std::size_t>(y / 2) * half + static_cast<std::size_t>(x / 2)]};
}

QImage Filled(int width, int height, QColor colour) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

TEST(ComposeFrame, PicturesSitWhereTheScreenFitPutsThemInBt709) {
    // Pure red in BT.709 limited range; BT.601 would give luma 81.
    const Sample red{63, 102, 240};
    const Sample black{16, 128, 128};
    struct Case {
        const char* what;
        int width, height;
        int inX, inY;   // a pixel inside the picture
        int outX, outY; // the nearest pixel outside it, or -1
    };
    const VideoFrameSize frame{320, 240};
    for (const Case& c : {
             Case{"smaller: never enlarged, centred", 100, 50, 110, 95, 109, 95},
             Case{"smaller, odd margins: left truncated", 101, 51, 109, 94, 108, 94},
             Case{"larger: shrunk to the whole frame", 640, 480, 0, 0, -1, -1},
             Case{"wide: shrunk, centred top to bottom", 800, 100, 160, 100, 160, 99},
             Case{"tall: shrunk, centred across", 100, 800, 145, 120, 144, 120},
         }) {
        const YuvFrame f = ComposeFrame(Filled(c.width, c.height, Qt::red), {}, frame);
        ASSERT_EQ(f.width, 320) << c.what;
        ASSERT_EQ(f.y.size(), 320u * 240u) << c.what;
        const Sample in = At(f, c.inX, c.inY);
        EXPECT_NEAR(in.y, red.y, 1) << c.what;
        if (c.inX % 2 == 0 && c.inY % 2 == 0 && c.outX < 0) {
            EXPECT_NEAR(in.u, red.u, 1) << c.what;
            EXPECT_NEAR(in.v, red.v, 1) << c.what;
        }
        if (c.outX >= 0) {
            EXPECT_EQ(At(f, c.outX, c.outY).y, black.y) << c.what;
        }
    }
    const Sample corner = At(ComposeFrame(Filled(100, 50, Qt::red), {}, frame), 0, 0);
    EXPECT_EQ(corner.y, black.y);
    EXPECT_EQ(corner.u, black.u);
    EXPECT_EQ(corner.v, black.v);
}

TEST(ComposeFrame, CaptionsDarkenABandAtTheFootAndFadesMix) {
    const VideoFrameSize frame{320, 240};
    const YuvFrame plain = ComposeFrame(Filled(320, 240, Qt::white), {}, frame);
    const YuvFrame captioned = ComposeFrame(Filled(320, 240, Qt::white), "Harbour", frame);
    const int band = CaptionLayoutFor(240, QGuiApplication::font()).bandHeight;
    ASSERT_GT(band, 14);
    ASSERT_LT(band, 120);
    // White under 170/255 of black: 85 of 255, luma 16 + 219 * 85 / 255.
    EXPECT_NEAR(At(captioned, 2, 239).y, 89, 2);
    EXPECT_NEAR(At(captioned, 2, 240 - band).y, 89, 2);
    EXPECT_EQ(At(captioned, 2, 239 - band).y, 235);
    EXPECT_EQ(At(plain, 2, 239).y, 235);
    // Some of the band's middle is lit by the text.
    int lit = 0;
    for (int x = 120; x < 200; ++x) {
        lit += At(captioned, x, 240 - band / 2).y > 150 ? 1 : 0;
    }
    EXPECT_GT(lit, 3);

    YuvFrame mixed;
    MixFrames(ComposeFrame(Filled(320, 240, Qt::black), {}, frame), plain, 128, mixed);
    EXPECT_NEAR(At(mixed, 50, 50).y, (16 + 235) / 2, 1);
    MixFrames(plain, captioned, 256, mixed);
    EXPECT_EQ(mixed.y, captioned.y);
}

TEST(VideoEncoder, WritesAStreamableFileOrSaysWhyNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const YuvFrame frame = ComposeFrame(Filled(64, 48, Qt::blue), {}, {160, 120});
    {
        const QString path = dir.filePath("a.mp4");
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        VideoEncoder video(fd, path, {160, 120}, 23);
        video.Add(frame, 30);
        video.Add(frame, 20);
        EXPECT_EQ(video.FrameCount(), 50);
        video.Finish();
        ::close(fd);
        QFile written(path);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        ASSERT_GT(bytes.size(), 100);
        EXPECT_EQ(bytes.mid(4, 4), "ftyp");
        // The index comes before the pictures' data, so a player can start at once.
        const qsizetype moov = bytes.indexOf("moov");
        const qsizetype mdat = bytes.indexOf("mdat");
        EXPECT_GT(moov, 0);
        EXPECT_GT(mdat, moov);
    }
    // A full disk names the file and the cause.
    {
        const int fd = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(fd, 0);
        try {
            VideoEncoder video(fd, "full.mp4", {160, 120}, 23);
            video.Add(frame, 50);
            video.Finish();
            ADD_FAILURE() << "a write to a full disk passed";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.message().contains("full.mp4")) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
                << e.message().toStdString();
        }
        ::close(fd);
    }
    // A cancel stops between two frames.
    {
        const int fd = ::open(QFile::encodeName(dir.filePath("b.mp4")).constData(),
                              O_RDWR | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        VideoEncoder video(fd, "b.mp4", {160, 120}, 23);
        const std::atomic<bool> cancel{true};
        EXPECT_THROW(video.Add(frame, 1000, &cancel), EAbort);
        EXPECT_EQ(video.FrameCount(), 0);
        ::close(fd);
    }
}

} // namespace
} // namespace pelisto
