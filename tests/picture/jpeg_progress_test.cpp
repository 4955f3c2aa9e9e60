#include "picture/jpeg_image.h"

#include "framework/system.h"

#include <QBuffer>
#include <gtest/gtest.h>
#include <vector>

using namespace pelisto;

namespace {

struct Report {
    TProgressStage stage;
    int percent;
    bool redrawNow;
    QRect rect;
    std::uint32_t tick;
};

// Every reading of the clock moves it on by step milliseconds.
class FakeClock {
public:
    explicit FakeClock(std::uint32_t step) {
        SetTickSource([this, step] {
            now_ += step;
            ++reads_;
            return now_;
        });
    }
    ~FakeClock() { SetTickSource({}); }
    std::uint32_t Now() const { return now_; }
    int Reads() const { return reads_; }

private:
    std::uint32_t now_ = 1000;
    int reads_ = 0;
};

TBitmap Noise(int width, int height) {
    TBitmap bitmap(width, height, pf24bit);
    for (int y = 0; y < height; ++y) {
        uchar* row = bitmap.ScanLine(y);
        for (int x = 0; x < width * 3; ++x) {
            row[x] = static_cast<uchar>((x * 31 + y * 17 + (x * y) % 13) & 0xFF);
        }
    }
    return bitmap;
}

void Observe(TJPEGImage& jpeg, std::vector<Report>& reports, const FakeClock& clock) {
    jpeg.OnProgress = [&reports, &clock](TGraphic&, TProgressStage stage, int percent, bool redraw,
                                         const QRect& rect, const QString& msg) {
        EXPECT_TRUE(msg.isEmpty());
        reports.push_back({stage, percent, redraw, rect, clock.Now()});
    };
}

// Running reports come at least 500 ms apart and only when the whole percent changed.
void ExpectRateLimited(const std::vector<Report>& reports) {
    ASSERT_GE(reports.size(), 4u);
    EXPECT_EQ(reports.front().stage, psStarting);
    EXPECT_EQ(reports.front().percent, 0);
    EXPECT_EQ(reports.back().stage, psEnding);
    EXPECT_EQ(reports.back().percent, 100);
    int lastPercent = 0;
    std::uint32_t lastTick = 0;
    for (std::size_t i = 1; i + 1 < reports.size(); ++i) {
        const Report& r = reports[i];
        ASSERT_EQ(r.stage, psRunning);
        EXPECT_NE(r.percent, lastPercent);
        EXPECT_GE(r.percent, 0);
        EXPECT_LE(r.percent, 100);
        if (i > 1) {
            EXPECT_GE(r.tick - lastTick, 500u);
        }
        lastPercent = r.percent;
        lastTick = r.tick;
    }
}

// A top-down bitmap goes to the encoder in one call; progressive output makes the several
// passes that report as they go.
TEST(JpegProgress, EncodingReportsAreRateLimitedWithEmptyRectangles) {
    FakeClock clock(100);
    TJPEGImage jpeg;
    jpeg.SetWriteProgressive(true);
    std::vector<Report> reports;
    Observe(jpeg, reports, clock);
    jpeg.AssignFrom(Noise(256, 512));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    jpeg.WriteTo(buffer);
    EXPECT_GT(bytes.size(), 0);
    ExpectRateLimited(reports);
    for (const Report& r : reports) {
        EXPECT_TRUE(r.rect.isEmpty());
        EXPECT_FALSE(r.redrawNow);
    }
}

TEST(JpegProgress, DecodingReportsCoverTheRowsTopDown) {
    QByteArray bytes;
    {
        TJPEGImage source;
        source.AssignFrom(Noise(200, 600));
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        source.WriteTo(out);
    }
    FakeClock clock(100);
    TJPEGImage jpeg;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    jpeg.ReadFrom(in);
    std::vector<Report> reports;
    Observe(jpeg, reports, clock);
    jpeg.DecodeBitmap();
    ExpectRateLimited(reports);
    int row = 0;
    for (std::size_t i = 1; i + 1 < reports.size(); ++i) {
        const QRect& r = reports[i].rect;
        EXPECT_EQ(r.left(), 0);
        EXPECT_EQ(r.width(), 200);
        EXPECT_EQ(r.top(), row); // each report starts where the last one ended
        EXPECT_EQ(reports[i].redrawNow, r.height() >= 4);
        row = r.top() + r.height();
    }
    EXPECT_GT(row, 0);
}

TEST(JpegProgress, NoObserverNoClockAndTheFirstCallOnlyStartsTheClock) {
    {
        FakeClock clock(100);
        TJPEGImage jpeg;
        jpeg.AssignFrom(Noise(64, 256));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        jpeg.WriteTo(buffer);
        EXPECT_EQ(clock.Reads(), 0);
    }
    {
        // A clock that never moves: only the start and end are reported.
        FakeClock clock(0);
        TJPEGImage jpeg;
        std::vector<Report> reports;
        Observe(jpeg, reports, clock);
        jpeg.SetWriteProgressive(true);
        jpeg.AssignFrom(Noise(64, 256));
        jpeg.EncodeBitmap();
        EXPECT_GT(clock.Reads(), 1);
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_EQ(reports[0].stage, psStarting);
        EXPECT_EQ(reports[1].stage, psEnding);
    }
}

TEST(JpegProgress, AnAbortingObserverStopsQuietlyAndOtherErrorsPassOn) {
    FakeClock clock(600);
    const auto abortWhenRunning = [](TGraphic&, TProgressStage stage, int, bool, const QRect&,
                                     const QString&) {
        if (stage == psRunning) {
            throw EAbort();
        }
    };
    TJPEGImage jpeg;
    jpeg.SetWriteProgressive(true);
    jpeg.AssignFrom(Noise(128, 512));
    jpeg.OnProgress = abortWhenRunning;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_NO_THROW(jpeg.WriteTo(buffer));
    EXPECT_TRUE(bytes.isEmpty()); // the partial result was dropped
    EXPECT_FALSE(jpeg.JPEGData().Data.has_value());

    // The bitmap is still there: without the observer it encodes in full.
    jpeg.OnProgress = nullptr;
    jpeg.WriteTo(buffer);
    ASSERT_FALSE(bytes.isEmpty());

    // A baseline file decodes row by row, reporting between rows.
    TJPEGImage baseline;
    baseline.AssignFrom(Noise(128, 512));
    bytes.clear();
    buffer.seek(0);
    baseline.WriteTo(buffer);
    TJPEGImage reader;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    reader.ReadFrom(in);
    reader.OnProgress = abortWhenRunning;
    EXPECT_NO_THROW(reader.DecodeBitmap());
    ASSERT_NE(reader.Bitmap(), nullptr); // partly decoded, kept
    EXPECT_EQ(reader.Bitmap()->Height(), 512);
    const TBitmap* kept = reader.Bitmap();
    reader.DecodeBitmap();
    EXPECT_EQ(reader.Bitmap(), kept);

    TJPEGImage failing;
    failing.SetWriteProgressive(true);
    failing.AssignFrom(Noise(128, 512));
    failing.OnProgress = [](TGraphic&, TProgressStage stage, int, bool, const QRect&,
                            const QString&) {
        if (stage == psRunning) {
            throw Exception(QStringLiteral("observer failed"));
        }
    };
    try {
        failing.EncodeBitmap();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), QStringLiteral("observer failed"));
    }
}

} // namespace
