// slideshow_bench: how long pelisto-build takes to turn large photos into a slideshow, next to
// the plain libjpeg tools doing the same re-encoding (djpeg | cjpeg -quality 75 -optimize, one
// pipeline per picture).
//
//   slideshow_bench [COUNT] [--keep FOLDER]
//
// COUNT photo-like 4000 x 3000 JPEGs (default 20, quality 90) are generated in a temporary
// folder, or in FOLDER, which is kept for profiling runs. Prints both times and their ratio.
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
#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth gradients, sensor-like noise and a few sharp shapes: roughly what a camera gives the
// encoder to chew on.
QImage PhotoLike(int seed) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(seed + 1);
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const int hue = (seed * 47) % 360;
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const std::uint32_t n = next();
            const int noise = static_cast<int>(n & 15) - 8;
            const int r = (x * 200) / kWidth + 30 + noise;
            const int g = (y * 180) / kHeight + 40 + noise;
            const int b = ((x + y + seed * 97) * 160) / (kWidth + kHeight) + 50 + noise;
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
        const QRect box(static_cast<int>(next() % (kWidth - 600)),
                        static_cast<int>(next() % (kHeight - 600)), 100 + next() % 500,
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
    painter.drawText(200, kHeight - 300, QStringLiteral("Picture %1").arg(seed + 1));
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

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv); // fonts for the shapes' text
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    int count = 20;
    QString keep;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--keep") && i + 1 < args.size()) {
            keep = args[++i];
        } else {
            bool ok = false;
            count = args[i].toInt(&ok);
            if (!ok || count < 1) {
                std::fputs("usage: slideshow_bench [COUNT] [--keep FOLDER]\n", stderr);
                return 2;
            }
        }
    }

    QTemporaryDir temp;
    const QString root = keep.isEmpty() ? temp.path() : QDir(keep).absolutePath();
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

    const QString builder =
        QCoreApplication::applicationDirPath() + QStringLiteral("/pelisto-build");
    const QString show = root + QStringLiteral("/show.exe");
    const auto ours = TimedRun(builder, QStringList{"-q", "75", "-o", show} << files);
    if (!ours) {
        return 1;
    }

    // The reference: one shell pipeline per picture, as a user would script it.
    QStringList script;
    for (int i = 0; i < files.size(); ++i) {
        script << QStringLiteral("djpeg '%1' | cjpeg -quality 75 -optimize > '%2/%3.jpg' || exit 1")
                      .arg(files[i], plain)
                      .arg(i + 1);
    }
    const auto reference = TimedRun(QStringLiteral("/bin/sh"), {"-c", script.join('\n')});
    if (!reference) {
        return 1;
    }

    std::printf("pelisto-build -q 75       %7.2f s  (%.1f MB slideshow)\n", *ours,
                static_cast<double>(QFileInfo(show).size()) / 1e6);
    std::printf("djpeg | cjpeg -quality 75 %7.2f s  (%.1f MB of JPEGs)\n", *reference,
                static_cast<double>(FolderSize(plain)) / 1e6);
    std::printf("ratio                     %7.2f  (target: at most 1.30)\n", *ours / *reference);
    return 0;
}
