#include "slideshow/jpeg_frame.h"
#include "slideshow/picture_limit.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pelisto {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Segment(std::uint8_t marker, const Bytes& body) {
    const std::size_t length = body.size() + 2;
    Bytes b{0xFF, marker, static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length & 0xFF)};
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes Frame(std::uint8_t marker, unsigned width, unsigned height) {
    return Segment(marker,
                   {8, static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                    static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width), 1, 1,
                    0x11, 0});
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

const Bytes kSoi{0xFF, 0xD8};
const Bytes kSos = Segment(0xDA, {1, 1, 0, 0, 63, 0});

TEST(JpegFrameSize, FoundPastOtherMarkersOrRefused) {
    struct Case {
        const char* what;
        Bytes jpeg;
        unsigned width, height; // 0: refused
    };
    const Bytes app0 = Segment(0xE0, Bytes(14, 'J'));
    const Case cases[] = {
        {"baseline after APP0", Join({kSoi, app0, Frame(0xC0, 640, 480), kSos}), 640, 480},
        {"progressive bomb", Join({kSoi, Frame(0xC2, 32767, 32767), kSos}), 32767, 32767},
        {"fill bytes, TEM and RST skipped",
         Join({kSoi, {0xFF, 0xFF, 0xFF, 0x01, 0xFF, 0xD3}, Frame(0xC1, 3, 5)}), 3, 5},
        {"DHT, JPG and DAC are not frames",
         Join({kSoi, Segment(0xC4, Bytes(20, 0)), Segment(0xC8, {}), Segment(0xCC, {0, 0}),
               Frame(0xC0, 7, 9)}),
         7, 9},
        {"no SOI", Join({Frame(0xC0, 7, 9), kSos}), 0, 0},
        {"scan before any frame", Join({kSoi, kSos, Frame(0xC0, 7, 9)}), 0, 0},
        {"height left to DNL", Join({kSoi, Frame(0xC0, 7, 0), kSos}), 0, 0},
        {"segment longer than the file", Join({kSoi, {0xFF, 0xE1, 0xFF, 0xFF, 0}}), 0, 0},
        {"segment length below 2", Join({kSoi, {0xFF, 0xE1, 0x00, 0x01}, Frame(0xC0, 7, 9)}), 0, 0},
        {"frame too short for its size", Join({kSoi, Segment(0xC0, {8, 0, 9})}), 0, 0},
        {"junk between segments", Join({kSoi, app0, {0x00}, Frame(0xC0, 7, 9)}), 0, 0},
        {"file of fill bytes", Join({kSoi, Bytes(1000, 0xFF)}), 0, 0},
    };
    for (const auto& c : cases) {
        const auto size = ReadJpegFrameSize(c.jpeg);
        if (c.width == 0) {
            EXPECT_FALSE(size.has_value()) << c.what;
        } else {
            ASSERT_TRUE(size.has_value()) << c.what;
            EXPECT_EQ(size->width, c.width) << c.what;
            EXPECT_EQ(size->height, c.height) << c.what;
        }
    }

    // Every cut of a valid header ends cleanly, and so do random bytes after a valid start.
    const Bytes frame = Frame(0xC2, 640, 480);
    const Bytes whole = Join({kSoi, app0, frame, kSos});
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const auto size = ReadJpegFrameSize(std::span(whole).first(n));
        EXPECT_EQ(size.has_value(), n >= 2 + app0.size() + frame.size()) << "cut at " << n;
    }
    std::mt19937 random(11);
    for (int i = 0; i < 2000; ++i) {
        Bytes b = kSoi;
        b.resize(2 + random() % 64);
        for (std::size_t j = 2; j < b.size(); ++j) {
            b[j] = random() % 3 == 0 ? 0xFF : static_cast<std::uint8_t>(random());
        }
        ReadJpegFrameSize(b); // must stay within the buffer (the sanitizer build checks)
    }
}

TEST(PictureLimits, SidesAndAreaBothBound) {
    EXPECT_TRUE(PictureSizeAllowed(30000, 8333));
    EXPECT_TRUE(PictureSizeAllowed(15811, 15811));
    EXPECT_FALSE(PictureSizeAllowed(30001, 10));
    EXPECT_FALSE(PictureSizeAllowed(10, 30001));
    EXPECT_FALSE(PictureSizeAllowed(20000, 12501));
    EXPECT_FALSE(PictureSizeAllowed(0, 10));
    EXPECT_FALSE(PictureSizeAllowed(0xFFFFFFFFu, 0xFFFFFFFFu));
}

} // namespace
} // namespace pelisto
