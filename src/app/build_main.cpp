// pelisto-build: makes a slideshow from the command line with the same conversion and builder
// as the window.
#include "app/jpeg_converter.h"
#include "app/slideshow_builder.h"
#include "framework/application.h"
#include "framework/exceptions.h"
#include "picture/jpeg_image.h"
#include "picture/multi_picture.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

namespace {

void Usage(std::FILE* to) {
    std::fputs("usage: pelisto-build -o OUT [-q QUALITY] [--auto] [--delay SECONDS]\n"
               "                    [--target windows|linux] PICTURE...\n"
               "  -o OUT           the slideshow program to write\n"
               "  -q QUALITY       JPEG quality of the pictures, 1 to 100 (default 75)\n"
               "  --auto           advance to the next picture by itself\n"
               "  --delay SECONDS  seconds between pictures, 1 to 65535 (default 10)\n"
               "  --target T       where it plays: windows (stub TheExe.exe) or linux\n"
               "                   (stub TheExe.run); default: windows when OUT ends in .exe,\n"
               "                   in any letter case, else linux\n",
               to);
}

std::optional<long> WholeNumber(const QString& text, long low, long high) {
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

int Fail(const QString& message) {
    std::fprintf(stderr, "pelisto-build: %s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // The work buffer is a widget, but nothing is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    pelisto::Application app(argc, argv);
    pelisto::RegisterJPEGGraphic();

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    QString output;
    long quality = 75;
    long delay = 10;
    bool automatic = false;
    std::optional<pelisto::SlideshowTarget> target;
    QStringList pictures;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            Usage(stdout);
            return 0;
        } else if (a == QLatin1String("-o")) {
            auto v = value();
            if (!v) {
                return Fail(QStringLiteral("-o needs a file name"));
            }
            output = *v;
        } else if (a == QLatin1String("-q")) {
            auto v = value();
            auto n = v ? WholeNumber(*v, 1, 100) : std::nullopt;
            if (!n) {
                return Fail(QStringLiteral("-q needs a quality from 1 to 100"));
            }
            quality = *n;
        } else if (a == QLatin1String("--delay")) {
            auto v = value();
            auto n = v ? WholeNumber(*v, 1, 65535) : std::nullopt;
            if (!n) {
                return Fail(
                    QStringLiteral("--delay needs a whole number of seconds from 1 to 65535"));
            }
            delay = *n;
        } else if (a == QLatin1String("--target")) {
            auto v = value();
            if (v && *v == QLatin1String("windows")) {
                target = pelisto::SlideshowTarget::Windows;
            } else if (v && *v == QLatin1String("linux")) {
                target = pelisto::SlideshowTarget::Linux;
            } else {
                return Fail(QStringLiteral("--target needs windows or linux"));
            }
        } else if (a == QLatin1String("--auto")) {
            automatic = true;
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            Usage(stderr);
            return Fail(QStringLiteral("unknown option %1").arg(a));
        } else {
            pictures << QFileInfo(a).absoluteFilePath();
        }
    }
    if (output.isEmpty() || pictures.isEmpty()) {
        Usage(stderr);
        return 2;
    }
    for (const QString& p : pictures) {
        if (!QFileInfo(p).isFile()) {
            return Fail(QStringLiteral("%1: no such file").arg(p));
        }
    }

    const QString stub =
        pelisto::ExecutableFolder() +
        pelisto::StubFileName(target.value_or(pelisto::TargetForOutputName(output)));
    if (!QFileInfo(stub).isFile()) {
        return Fail(QStringLiteral("the viewer stub %1 is missing").arg(stub));
    }
    // The scratch JPEG lives in a private folder, so several builds may run at once.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        return Fail(QStringLiteral("cannot make a scratch folder: %1").arg(scratch.errorString()));
    }

    pelisto::TMultiPicture workBuffer;
    workBuffer.Loaded();
    workBuffer.SetJPegSaveQuality(75);
    workBuffer.SetJPegSaveSmooth(5);
    workBuffer.SetStretch(true);
    pelisto::JpegConverter converter(workBuffer);
    converter.SetToolFolder(scratch.path() + QLatin1Char('/'));

    pelisto::SlideshowSettings settings;
    settings.automatic = automatic;
    settings.delaySeconds = static_cast<double>(delay);
    try {
        pelisto::BuildSlideshowFile(
            QFileInfo(output).absoluteFilePath(), stub, pictures, settings,
            [&](const QString& picture) {
                return converter.ConvertToJpeg(picture, static_cast<int>(quality));
            },
            [](int index, int count, const QString& picture) {
                std::printf("[%d/%d] %s\n", index + 1, count, picture.toLocal8Bit().constData());
                std::fflush(stdout);
            });
    } catch (const pelisto::Exception& e) {
        return Fail(e.message());
    } catch (const std::exception& e) {
        return Fail(QString::fromLocal8Bit(e.what()));
    }
    std::printf("wrote %s\n", QFileInfo(output).absoluteFilePath().toLocal8Bit().constData());
    return 0;
}
