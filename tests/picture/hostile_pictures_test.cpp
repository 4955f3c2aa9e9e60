// Files whose headers claim huge pictures fail at once, saying so with the size they claim;
// pictures within the limit convert with memory in proportion to their size. Each file is
// converted in a process of its own (picture_probe), whose peak resident memory (the kernel's
// high-water mark that getrusage reports, started over once the libraries are loaded) is
// measured: never a timer.

#include "picture_test_support.h"

#include <QProcess>
#include <QTemporaryDir>

namespace {

using pelisto::testing::Fixture;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's shadow memory and quarantine swell the resident size: only the messages are
// checked then.
constexpr bool MeasuresMemory = false;
#else
constexpr bool MeasuresMemory = true;
#endif

// Libraries starting up, decoder tables and row buffers: what any picture may take beyond its
// own pixels.
constexpr long FixedOverheadKiB = 64 * 1024;

struct Probe {
    QString result;
    long peakKiB = -1;
};

Probe Convert(const QString& picture, const QString& target) {
    QProcess process;
    process.start(QStringLiteral(PELISTO_BIN_DIR "/picture_probe"), {picture, target});
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        return {};
    }
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    if (lines.size() < 2) {
        return {};
    }
    return {QString::fromUtf8(lines[0]), lines[1].toLong()};
}

TEST(HostilePictures, FailFastWithTheirSizeOrConvertWithinMemoryInProportion) {
    struct Case {
        const char* file;
        const char* size; // the size named in the error; nullptr: converts within the rule
        long long pixels;
        const char* cause = nullptr; // refused for this cause instead, within the fixed overhead
    };
    const Case cases[] = {
        {"pictures/bombs/sides.png", "40000 x 100", 0},
        {"pictures/bombs/area.png", "20000 x 20000", 0},
        {"pictures/bombs/baseline.jpg", "40000 x 40000", 0},
        {"pictures/bombs/progressive.jpg", "32767 x 32767", 0},
        {"pictures/bombs/area_progressive.jpg", "20000 x 20000", 0},
        {"pictures/bombs/screen.gif", "40000 x 40000", 0},
        {"pictures/bombs/rgb24.bmp", "40000 x 40000", 0},
        {"pictures/bombs/rgb24.pcx", "40000 x 40000", 0},
        {"pictures/bombs/rgb24.tga", "40000 x 40000", 0},
        {"pictures/bombs/gray.tif", "50000 x 50000", 0},
        {"pictures/bombs/png.ico", "40000 x 40000", 0},
        {"pictures/bombs/size.heic", "40000 x 40000", 0},
        {"pictures/bombs/sides.webp", "16384 x 16384", 0},
        {"pictures/bombs/size.jxl", "40000 x 40000", 0},
        {"wmf/bomb.wmf", " x ", 0},
        // Within the limit, but files that cannot hold what they claim: refused before the
        // picture is allocated.
        {"pictures/bombs/cut_progressive.jpg", nullptr, 0, "too few for a 4000 x 3000 picture"},
        {"pictures/bombs/claim.jpg", nullptr, 0, "too few for a 16000 x 15000 picture"},
        {"pictures/bombs/text_chunk.png", nullptr, 0, "the tEXt chunk claims 2147483648 bytes"},
        // A whole PNG of 12 megapixels.
        {"pictures/bombs/flat.png", nullptr, 4000 * 3000},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Probe probe = Convert(QStringLiteral(PELISTO_FIXTURES "/") + c.file,
                                    folder.filePath(QStringLiteral("out.jpg")));
        ASSERT_GE(probe.peakKiB, 0) << "the probe did not finish";
        long allowed = FixedOverheadKiB;
        if (c.cause != nullptr) {
            EXPECT_TRUE(probe.result.contains(QLatin1String(c.cause)))
                << probe.result.toStdString();
        } else if (c.size != nullptr) {
            EXPECT_TRUE(probe.result.startsWith(QStringLiteral("Picture too large: ")))
                << probe.result.toStdString();
            EXPECT_TRUE(probe.result.contains(QLatin1String(c.size))) << probe.result.toStdString();
        } else {
            EXPECT_EQ(probe.result, QStringLiteral("ok"));
            // Three times the picture at 24 bits a pixel.
            allowed += static_cast<long>(3 * 3 * c.pixels / 1024);
        }
        if (MeasuresMemory) {
            EXPECT_LE(probe.peakKiB, allowed);
        }
    }
}

} // namespace
