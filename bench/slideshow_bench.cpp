// slideshow_bench: how long pelisto-build takes to turn large photos into a slideshow, with its
// page faults and peak memory, next to the plain libjpeg tools doing the same re-encoding
// (djpeg | cjpeg -quality 75 -optimize -smooth 5, one pipeline per picture, one at a time and as
// many at once as there are cores) and, for the same photos as PNGs, next to Pillow; for the
// same photos as HEICs (made by heif-enc), next to libheif's heif-convert to JPEG, as many at
// once as there are cores; and, made into a Full HD video, next to the ffmpeg command line.
//
//   slideshow_bench [COUNT] [--keep FOLDER] [--fit-only] [--heic-only] [--video-only]
//
// COUNT photo-like 4000 x 3000 JPEGs (default 20, quality 90) are generated in a temporary
// folder, or in FOLDER, which is kept for profiling runs. Prints both times and their ratio.
// Then COUNT 24-megapixel photos (6000 x 4000) are made into a slideshow at their own size and
// at Full HD (--fit fullhd): both times, their ratio and both slideshows' sizes. --fit-only
// runs only that part. Then the same 24-megapixel photos become a 1080p video, 5 seconds each,
// through pelisto-build and through ffmpeg (the same fit with Lanczos, 25 fps, libx264 medium
// tuned for still pictures at rate factor 23): both times and their ratio. --video-only runs
// only that part.
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth gradients, sensor-like noise and a few sharp shapes: roughly what a camera gives the
// encoder to chew on.
QImage PhotoLike(int seed, int width = kWidth, int height = kHeight) {
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(seed + 1);
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const int hue = (seed * 47) % 360;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::uint32_t n = next();
            const int noise = static_cast<int>(n & 15) - 8;
            const int r = (x * 200) / width + 30 + noise;
            const int g = (y * 180) / height + 40 + noise;
            const int b = ((x + y + seed * 97) * 160) / (width + height) + 50 + noise;
            row[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 40; ++i) {
        const QColor colour =
            QColor::fromHsv((hue + i * 23) % 360, 160 + (next() % 90), 120 + (next() % 130));
        painter.setBrush(colour);
        painter.setPen(QPen(colour.darker(180), 6));
        const QRect box(static_cast<int>(next() % (width - 600)),
                        static_cast<int>(next() % (height - 600)), 100 + next() % 500,
                        100 + next() % 500);
        if (i % 3 == 0) {
            painter.drawEllipse(box);
        } else if (i % 3 == 1) {
            painter.drawRect(box);
        } else {
            painter.drawLine(box.topLeft(), box.bottomRight());
        }
    }
    painter.setFont(QFont(QStringLiteral("Sans"), 120));
    painter.setPen(Qt::white);
    painter.drawText(200, height - 300, QStringLiteral("Picture %1").arg(seed + 1));
    return image;
}

std::optional<double> TimedRun(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", program.toLocal8Bit().constData());
        return std::nullopt;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

qint64 FolderSize(const QString& folder) {
    qint64 total = 0;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files)) {
        total += f.size();
    }
    return total;
}

int RunAtOwnSize(const QString& root, int count);
int RunAtFullHd(const QString& root, int count);
int RunHeic(const QString& root, int count);
int RunVideo(const QString& root, int count);

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv); // fonts for the shapes' text
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    int count = 20;
    QString keep;
    bool fitOnly = false;
    bool heicOnly = false;
    bool videoOnly = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--keep") && i + 1 < args.size()) {
            keep = args[++i];
        } else if (args[i] == QLatin1String("--fit-only")) {
            fitOnly = true;
        } else if (args[i] == QLatin1String("--heic-only")) {
            heicOnly = true;
        } else if (args[i] == QLatin1String("--video-only")) {
            videoOnly = true;
        } else {
            bool ok = false;
            count = args[i].toInt(&ok);
            if (!ok || count < 1) {
                std::fputs("usage: slideshow_bench [COUNT] [--keep FOLDER] [--fit-only] "
                           "[--heic-only] [--video-only]\n",
                           stderr);
                return 2;
            }
        }
    }

    QTemporaryDir temp;
    const QString root = keep.isEmpty() ? temp.path() : QDir(keep).absolutePath();
    if (heicOnly) {
        return RunHeic(root, count);
    }
    if (videoOnly) {
        return RunVideo(root, count);
    }
    if (!fitOnly && (RunAtOwnSize(root, count) != 0 || RunHeic(root, count) != 0)) {
        return 1;
    }
    if (RunAtFullHd(root, count) != 0) {
        return 1;
    }
    return fitOnly ? 0 : RunVideo(root, count);
}

namespace {

// COUNT 24-megapixel photos in root/photos24, photo01.jpg on, made once; empty when one cannot
// be written.
QStringList Photos24(const QString& root, int count) {
    const QString photos = root + QStringLiteral("/photos24");
    QDir().mkpath(photos);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString name = photos + QStringLiteral("/photo%1.jpg").arg(i + 1, 2, 10, QChar('0'));
        files << name;
        if (!QFileInfo::exists(name) && !PhotoLike(i, 6000, 4000).save(name, "JPG", 90)) {
            std::fprintf(stderr, "cannot write %s\n", name.toLocal8Bit().constData());
            return {};
        }
    }
    std::printf("%d pictures of 6000 x 4000 (%.1f MB)\n", count,
                static_cast<double>(FolderSize(photos)) / 1e6);
    return files;
}

// 24-megapixel photos made for a Full HD screen against their own size.
int RunAtFullHd(const QString& root, int count) {
    const QStringList files = Photos24(root, count);
    if (files.isEmpty()) {
        return 1;
    }
    const QString builder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/pelisto-build");
    double seconds[2] = {};
    qint64 bytes[2] = {};
    const char* fits[2] = {"original", "fullhd"};
    for (int k = 0; k < 2; ++k) {
        const QString show = root + QStringLiteral("/show-%1.run").arg(QLatin1String(fits[k]));
        const auto time = TimedRun(
            builder, QStringList{"-q", "75", "--fit", QLatin1String(fits[k]), "-o", show} << files);
        if (!time) {
            return 1;
        }
        seconds[k] = *time;
        bytes[k] = QFileInfo(show).size();
        std::printf("24 MP, --fit %-8s %7.2f s, slideshow %.1f MB\n", fits[k], seconds[k],
                    static_cast<double>(bytes[k]) / 1e6);
    }
    std::printf("24 MP: Full HD / own size %.2f of the time (target: at most 0.33), slideshow "
                "%.1f MB (expect well under 25)\n",
                seconds[1] / seconds[0], static_cast<double>(bytes[1]) / 1e6);
    return 0;
}

// The 24-megapixel photos as a 1080p video, 5 seconds each, against ffmpeg doing the same job:
// the image2 reader at one picture per 5 seconds, so each photo is decoded and scaled once and
// the fps filter repeats it, then the encoder with pelisto-build's settings.
int RunVideo(const QString& root, int count) {
    const QStringList files = Photos24(root, count);
    if (files.isEmpty()) {
        return 1;
    }
    const QString builder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/pelisto-build");
    const QString ours = root + QStringLiteral("/video-ours.mp4");
    const QString theirs = root + QStringLiteral("/video-ffmpeg.mp4");
    const QStringList ourArgs =
        QStringList{"-q", "75", "--fit", "fullhd", "--delay", "5", "-o", ours} << files;
    const QStringList theirArgs = {
        "-nostdin", "-loglevel", "error", "-y", "-framerate", "1/5", "-start_number", "1", "-i",
        root + QStringLiteral("/photos24/photo%02d.jpg"), "-frames:v",
        QString::number(count * 5 * 25), "-vf",
        // (The photos are larger than the frame: this scale only ever shrinks them.)
        "scale=1920:1080:force_original_aspect_ratio=decrease:flags=lanczos:"
        "out_color_matrix=bt709:out_range=tv,pad=1920:1080:(ow-iw)/2:(oh-ih)/2:black,"
        "format=yuv420p,fps=25",
        "-c:v", "libx264", "-preset", "medium", "-tune", "stillimage", "-crf", "23", "-profile:v",
        "high", "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
        "-movflags", "+faststart", theirs};
    // The processor time too (user and system): on a shared machine the wall clock also counts
    // the others' work.
    const auto timed = [&root](const QString& program, const QStringList& args, double& cpu) {
        const QString usage = root + QStringLiteral("/video-usage.txt");
        const auto wall = TimedRun(QStringLiteral("/usr/bin/time"),
                                   QStringList{"-f", "%U %S", "-o", usage, program} << args);
        QFile file(usage);
        file.open(QIODevice::ReadOnly);
        const QList<QByteArray> numbers = file.readAll().trimmed().split(' ');
        cpu = numbers.value(0).toDouble() + numbers.value(1).toDouble();
        return wall;
    };
    double ourCpu = 0;
    double theirCpu = 0;
    const auto ourTime = timed(builder, ourArgs, ourCpu);
    const auto theirTime = timed(QStringLiteral("ffmpeg"), theirArgs, theirCpu);
    if (!ourTime || !theirTime) {
        return 1;
    }
    std::printf("video: pelisto-build --fit fullhd --delay 5 %7.2f s (processor %.2f s), %.1f MB\n",
                *ourTime, ourCpu, static_cast<double>(QFileInfo(ours).size()) / 1e6);
    std::printf("video: ffmpeg, the same job             %7.2f s (processor %.2f s), %.1f MB\n",
                *theirTime, theirCpu, static_cast<double>(QFileInfo(theirs).size()) / 1e6);
    std::printf("video: ours / ffmpeg %.2f (target: at most 1.10), processor time %.2f\n",
                *ourTime / *theirTime, ourCpu / theirCpu);
    return 0;
}

// The same 12-megapixel photos as HEICs, against libheif's own heif-convert to JPEG at the same
// quality, as many at once as there are cores.
int RunHeic(const QString& root, int count) {
    const QString heics = root + QStringLiteral("/heic");
    const QString plain = root + QStringLiteral("/heif-convert");
    QDir().mkpath(heics);
    QDir().mkpath(plain);
    const int cores = QThread::idealThreadCount();
    QStringList files;
    QStringList missing;
    for (int i = 0; i < count; ++i) {
        const QString name = heics + QStringLiteral("/photo%1.heic").arg(i + 1, 2, 10, QChar('0'));
        files << name;
        if (QFileInfo::exists(name)) {
            continue;
        }
        const QString png = name.chopped(5) + QStringLiteral(".png");
        if (!PhotoLike(i).save(png)) {
            std::fprintf(stderr, "cannot write %s\n", png.toLocal8Bit().constData());
            return 1;
        }
        missing << png;
    }
    if (!missing.isEmpty()) {
        QElapsedTimer made;
        made.start();
        const QString names = QLatin1Char('\'') + missing.join(QStringLiteral("' '")) + '\'';
        if (!TimedRun(
                QStringLiteral("/bin/sh"),
                {"-c", QStringLiteral("printf '%s\\n' %1 | xargs -d '\\n' -P %2 -n 1 sh -c "
                                      "'heif-enc -q 85 \"$0\" -o \"${0%.png}.heic\" && rm \"$0\"'")
                           .arg(names)
                           .arg(cores)})) {
            return 1;
        }
        std::printf("%lld HEICs of %d x %d made by heif-enc in %.1f s\n",
                    static_cast<long long>(missing.size()), kWidth, kHeight,
                    static_cast<double>(made.elapsed()) / 1e3);
    }
    std::printf("%d HEICs of %d x %d (%.1f MB)\n", count, kWidth, kHeight,
                static_cast<double>(FolderSize(heics)) / 1e6);
    const QString builder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/pelisto-build");
    const auto ours = TimedRun(builder, QStringList{"-q", "75", "-o", root + "/heic.run"} << files);
    const QString names = QLatin1Char('\'') + files.join(QStringLiteral("' '")) + '\'';
    const auto theirs = TimedRun(
        QStringLiteral("/bin/sh"),
        {"-c", QStringLiteral("printf '%s\\n' %1 | xargs -d '\\n' -P %2 -n 1 sh -c "
                              "'heif-convert -q 75 \"$0\" \"%3/$(basename \"$0\" .heic).jpg\"'")
                   .arg(names)
                   .arg(cores)
                   .arg(plain)});
    if (!ours || !theirs) {
        return 1;
    }
    std::printf("HEIC: pelisto-build -q 75            %7.2f s\n", *ours);
    std::printf("HEIC: heif-convert -q 75, %d at a time %7.2f s\n", cores, *theirs);
    std::printf("HEIC: ours / heif-convert %.2f (target: at most 1.10)\n", *ours / *theirs);
    return 0;
}

// 12-megapixel photos at their own size, against the libjpeg tools and Pillow.
int RunAtOwnSize(const QString& root, int count) {
    const QString photos = root + QStringLiteral("/photos");
    const QString plain = root + QStringLiteral("/cjpeg");
    QDir().mkpath(photos);
    QDir().mkpath(plain);

    QStringList files;
    QElapsedTimer made;
    made.start();
    for (int i = 0; i < count; ++i) {
        const QString name = photos + QStringLiteral("/photo%1.jpg").arg(i + 1, 2, 10, QChar('0'));
        files << name;
        if (QFileInfo::exists(name)) {
            continue;
        }
        QImageWriter writer(name, "jpeg");
        writer.setQuality(90);
        if (!writer.write(PhotoLike(i))) {
            std::fprintf(stderr, "cannot write %s: %s\n", name.toLocal8Bit().constData(),
                         writer.errorString().toLocal8Bit().constData());
            return 1;
        }
    }
    std::printf("%d pictures of %d x %d (%.1f MB) ready in %.1f s\n", count, kWidth, kHeight,
                static_cast<double>(FolderSize(photos)) / 1e6,
                static_cast<double>(made.elapsed()) / 1e3);

    // The same photos as PNGs, for the readers that are not JPEG.
    const QString pngs = root + QStringLiteral("/png");
    QDir().mkpath(pngs);
    QStringList pngFiles;
    for (const QString& jpeg : files) {
        const QString png = pngs + QLatin1Char('/') + QFileInfo(jpeg).completeBaseName() + ".png";
        pngFiles << png;
        if (!QFileInfo::exists(png) && !QImage(jpeg).save(png)) {
            std::fprintf(stderr, "cannot write %s\n", png.toLocal8Bit().constData());
            return 1;
        }
    }

    const QString builder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/pelisto-build");
    const int cores = QThread::idealThreadCount();
    const double decodedMb = kWidth * kHeight * 3 / 1e6;
    std::printf("%d cores; one decoded picture: %.0f MB\n", cores, decodedMb);
    for (const auto& [kind, list] : {std::pair{"JPEG", files}, std::pair{"PNG", pngFiles}}) {
        const QString show = root + QStringLiteral("/show.exe");
        const QString usage = root + QStringLiteral("/usage.txt");
        const auto ours = TimedRun(
            QStringLiteral("/usr/bin/time"),
            QStringList{"-f", "%R %M", "-o", usage, builder, "-q", "75", "-o", show} << list);
        if (!ours) {
            return 1;
        }
        QFile usageFile(usage);
        usageFile.open(QIODevice::ReadOnly);
        const QList<QByteArray> numbers = usageFile.readAll().trimmed().split(' ');
        const long faults = numbers.value(0).toLong();
        const double peakMb = numbers.value(1).toDouble() * 1024 / 1e6;
        std::printf("%s: pelisto-build -q 75 %7.2f s  (%ld page faults, peak %.0f MB = %.2f x a "
                    "decoded picture per worker; target at most 3)\n",
                    kind, *ours, faults, peakMb, peakMb / decodedMb / cores);
        if (QLatin1String(kind) == QLatin1String("JPEG")) {
            // The reference: one shell pipeline per picture, then as many at once as cores.
            const QString pipe =
                QStringLiteral(
                    "djpeg \"$0\" | cjpeg -quality 75 -optimize -smooth 5 > \"%1/$(basename "
                    "\"$0\")\"")
                    .arg(plain);
            const QString names = QLatin1Char('\'') + list.join(QStringLiteral("' '")) + '\'';
            const auto one =
                TimedRun(QStringLiteral("/bin/sh"),
                         {"-c", QStringLiteral("for f in %1; do sh -c '%2' \"$f\" || exit 1; done")
                                    .arg(names, QString(pipe).replace('\'', "'\\''"))});
            const auto many = TimedRun(
                QStringLiteral("/bin/sh"),
                {"-c", QStringLiteral("printf '%s\\n' %1 | xargs -d '\\n' -P %2 -n 1 sh -c '%3'")
                           .arg(names)
                           .arg(cores)
                           .arg(QString(pipe).replace('\'', "'\\''"))});
            if (!one || !many) {
                return 1;
            }
            std::printf("JPEG: djpeg | cjpeg, one at a time %7.2f s\n", *one);
            std::printf("JPEG: djpeg | cjpeg, %d at a time  %7.2f s\n", cores, *many);
            std::printf("JPEG: ours / parallel pipes %.2f (target: at most 1.10); ours / one at a "
                        "time %.2f\n",
                        *ours / *many, *ours / *one);
        } else {
            // Pillow at its default settings, one picture after the other.
            const QString script = QStringLiteral(
                "import sys\nfrom PIL import Image\nfor i, f in enumerate(sys.argv[2:]):\n"
                "    Image.open(f).convert('RGB').save('%s/%d.jpg' % (sys.argv[1], i))\n");
            const auto pillow = TimedRun(QStringLiteral("/usr/bin/python3"),
                                         QStringList{"-c", script, plain} << list);
            if (!pillow) {
                return 1;
            }
            std::printf("PNG: Pillow, one at a time         %7.2f s\n", *pillow);
            std::printf("PNG: ours / Pillow %.2f (target: at most 0.80)\n", *ours / *pillow);
        }
    }
    return 0;
}

} // namespace
