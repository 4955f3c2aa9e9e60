// Peak memory of converting large pictures to JPEG through the picture control, against the
// rule that it stays within three times the picture at 24 bits a pixel plus a fixed overhead.
//
// Usage: memory_bench   (24 and 100 megapixels, each as JPEG, PNG and TIFF)
// The pictures are written by the image library into a temporary folder; each is converted by
// picture_probe, in a process of its own, which reports how far its resident memory rose.

#include "framework/graphics/magick_startup.h"

#include <magick/api.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr double FixedOverheadMiB = 64;

struct Size {
    int width;
    int height;
};

// Smooth gradients with sensor-like noise: compresses as a photo does.
std::vector<std::uint8_t> MakePhoto(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = static_cast<int>(state % 17) - 8;
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            const int c[3] = {static_cast<int>(200 * u + 40 * std::sin(v * 9)),
                              static_cast<int>(160 * v + 60 * std::cos(u * 7)),
                              static_cast<int>(120 + 100 * std::sin((u + v) * 5))};
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            for (int i = 0; i < 3; ++i) {
                p[i] = static_cast<std::uint8_t>(std::clamp(c[i] + noise, 0, 255));
            }
        }
    }
    return rgb;
}

bool WritePictures(const Size& size, const QString& stem) {
    const std::vector<std::uint8_t> rgb = MakePhoto(size.width, size.height);
    ExceptionInfo errors;
    GetExceptionInfo(&errors);
    Image* image = ConstituteImage(static_cast<unsigned long>(size.width),
                                   static_cast<unsigned long>(size.height), "RGB", CharPixel,
                                   rgb.data(), &errors);
    bool ok = image != nullptr;
    for (const char* format : {"JPEG", "PNG", "TIFF"}) {
        if (!ok) {
            break;
        }
        ImageInfo* info = CloneImageInfo(nullptr);
        // Quick PNG compression; JPEG at a camera's quality; TIFF as scanners write it.
        info->quality = std::strcmp(format, "PNG") == 0 ? 10 : 92;
        const QByteArray name = QByteArray(format) + ':' +
                                (stem + '.' + QString::fromLatin1(format).toLower()).toLocal8Bit();
        std::snprintf(image->filename, sizeof(image->filename), "%s", name.constData());
        ok = WriteImage(info, image) != MagickFail;
        DestroyImageInfo(info);
    }
    if (image != nullptr) {
        DestroyImage(image);
    }
    DestroyExceptionInfo(&errors);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    pelisto::StartMagick({});
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString probe = QCoreApplication::applicationDirPath() + "/picture_probe";
    const Size sizes[] = {{6000, 4000}, {12500, 8000}};
    std::printf("%-6s %12s %10s %12s %12s %12s %7s\n", "format", "pixels", "file MiB", "24-bit MiB",
                "peak MiB", "rule MiB", "ratio");
    bool within = true;
    for (const Size& size : sizes) {
        const QString stem =
            folder.filePath(QStringLiteral("photo%1x%2").arg(size.width).arg(size.height));
        if (!WritePictures(size, stem)) {
            std::fprintf(stderr, "cannot write the pictures\n");
            return 1;
        }
        for (const char* ext : {"jpeg", "png", "tiff"}) {
            const QString file = stem + '.' + ext;
            QProcess process;
            process.start(probe, {file, folder.filePath(QStringLiteral("out.jpg"))});
            process.waitForFinished(-1);
            const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
            if (lines.size() < 2 || lines[0] != "ok") {
                std::fprintf(stderr, "%s: %s\n", qPrintable(file),
                             lines.isEmpty() ? "no answer" : lines[0].constData());
                return 1;
            }
            const double pixels = static_cast<double>(size.width) * size.height;
            const double picture = pixels * 3 / (1024 * 1024);
            const double peak = lines[1].toDouble() / 1024;
            const double rule = 3 * picture + FixedOverheadMiB;
            within = within && peak <= rule;
            std::printf("%-6s %12.0f %10.1f %12.1f %12.1f %12.1f %7.2f%s\n", ext, pixels,
                        static_cast<double>(QFileInfo(file).size()) / (1024 * 1024), picture, peak,
                        rule, peak / picture, peak <= rule ? "" : "  over");
            QFile::remove(file);
        }
    }
    std::printf("%s\n", within ? "all within 3 x the 24-bit picture + 64 MiB"
                               : "some over 3 x the 24-bit picture + 64 MiB");
    return within ? 0 : 1;
}
