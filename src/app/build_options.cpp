#include "app/build_options.h"

#include "app/build_reporting.h"
#include "app/picture_sizes.h"

#include <QFile>
#include <cmath>
#include <cstdio>

namespace pelisto::build {
namespace {

void Usage(std::FILE* to) {
    std::fputs("usage: pelisto-build -o OUT [-q QUALITY] [-j JOBS] [--auto] [--delay SECONDS]\n"
               "                    [--target windows|linux|web|video] [--fit WxH]\n"
               "                    [--sort name|taken|modified]\n"
               "                    [--shuffle] [--stop-at-end] [--crossfade SECONDS]\n"
               "                    [--caption none|name|date | --caption-file FILE]\n"
               "                    [--sign CERT.pfx\n"
               "                    [--sign-password-file FILE] [--timestamp URL]]\n"
               "                    [--] PICTURE...\n"
               "       pelisto-build --help | --version\n"
               "  -o OUT           the slideshow (program, page or video) to write\n"
               "  -q QUALITY       JPEG quality of the pictures, 1 to 100 (default 75); for a\n"
               "                   video, the encoder's quality on the same scale\n"
               "  -j JOBS          pictures converted at once, 1 to 64 (default: one per\n"
               "                   core); the output is the same whatever the number\n"
               "  --auto           advance to the next picture by itself\n"
               "  --delay SECONDS  seconds between pictures, 1 to 65535 (default 10)\n"
               "  --target T       where it plays: windows (stub TheExe.exe), linux\n"
               "                   (stub TheExe.run), web (one HTML page for any browser)\n"
               "                   or video (an MP4 video, H.264, for phones, TVs and\n"
               "                   chats; the frame is the --fit box, else 1920x1080);\n"
               "                   default: windows when OUT ends in .exe, web when it ends\n"
               "                   in .html or .htm, video in .mp4, in any letter case,\n"
               "                   else linux\n"
               "  --sign CERT      sign the Windows program with this code-signing\n"
               "                   certificate (PKCS#12), through osslsigncode\n"
               "  --sign-password-file FILE\n"
               "                   the file holding the certificate's password\n"
               "  --timestamp URL  time-stamp the signature at this RFC 3161 service\n"
               "  --fit WxH        scale pictures larger than W x H pixels down to fit it,\n"
               "                   as a screen of that size shows them; also 4k (3840x2160),\n"
               "                   fullhd (1920x1080), small (1280x720) or original (the\n"
               "                   pictures' own size, the default)\n"
               "  --sort ORDER     put the pictures in order first: name (IMG_2 before\n"
               "                   IMG_10), taken (the photo's EXIF date, else the file's\n"
               "                   time) or modified (the file's time); ties by name\n"
               "  --shuffle        a new order at each start\n"
               "  --stop-at-end    stop on the last picture (default: start again)\n"
               "  --crossfade SECONDS\n"
               "                   fade from picture to picture, 0.1 to 5 seconds (0: cut)\n"
               "  --caption WHAT   a caption at the foot of each picture: none, name (its\n"
               "                   file name) or date (the date it was taken, when known)\n"
               "  --caption-file FILE\n"
               "                   each picture's own caption: one line per picture, in order\n"
               "  --               the arguments after it are pictures, even those that\n"
               "                   start with -\n",
               to);
    std::fflush(to);
}

std::optional<long> WholeNumber(const QByteArray& text, long low, long high) {
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

ParsedCommandLine Refuse(const QString& message) {
    PrintError(message);
    return {std::nullopt, 2};
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<QByteArray>& args) {
    BuildOptions o;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const QByteArray& a = args[i];
        auto value = [&]() -> std::optional<QByteArray> {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        if (optionsEnded || a == "-" || !a.startsWith('-')) {
            o.pictures.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            Usage(stdout);
            return {std::nullopt, 0};
        } else if (a == "--version") {
            std::fputs("pelisto-build " PELISTO_VERSION "\n", stdout);
            std::fflush(stdout);
            return {std::nullopt, 0};
        } else if (a == "-o") {
            auto v = value();
            if (!v || v->isEmpty()) {
                return Refuse(QStringLiteral("-o needs a file name"));
            }
            o.output = *v;
        } else if (a == "-q") {
            auto v = value();
            auto n = v ? WholeNumber(*v, 1, 100) : std::nullopt;
            if (!n) {
                return Refuse(QStringLiteral("-q needs a quality from 1 to 100"));
            }
            o.quality = *n;
        } else if (a == "-j") {
            auto v = value();
            auto n = v ? WholeNumber(*v, 1, 64) : std::nullopt;
            if (!n) {
                return Refuse(QStringLiteral("-j needs a number of pictures from 1 to 64"));
            }
            o.jobs = *n;
        } else if (a == "--delay") {
            auto v = value();
            auto n = v ? WholeNumber(*v, 1, 65535) : std::nullopt;
            if (!n) {
                return Refuse(
                    QStringLiteral("--delay needs a whole number of seconds from 1 to 65535"));
            }
            o.delay = *n;
        } else if (a == "--target") {
            auto v = value();
            if (v && *v == "windows") {
                o.target = SlideshowTarget::Windows;
            } else if (v && *v == "linux") {
                o.target = SlideshowTarget::Linux;
            } else if (v && *v == "web") {
                o.target = SlideshowTarget::Web;
            } else if (v && *v == "video") {
                o.target = SlideshowTarget::Video;
            } else {
                return Refuse(QStringLiteral("--target needs windows, linux, web or video"));
            }
        } else if (a == "--sign" || a == "--sign-password-file" || a == "--timestamp") {
            auto v = value();
            if (!v || v->isEmpty()) {
                return Refuse(QStringLiteral("%1 needs a value").arg(QFile::decodeName(a)));
            }
            (a == "--sign"        ? o.signCertificate
             : a == "--timestamp" ? o.timestampUrl
                                  : o.signPasswordFile) = *v;
        } else if (a == "--fit") {
            auto v = value();
            auto box = v ? ParseFitBox(*v) : std::nullopt;
            if (!box) {
                return Refuse(QStringLiteral(
                    "--fit needs WxH (1 to 30000 pixels a side), 4k, fullhd, small or original"));
            }
            o.fitWidth = box->width;
            o.fitHeight = box->height;
        } else if (a == "--sort") {
            auto v = value();
            o.sort = v ? PictureOrderNamed(QString::fromLatin1(*v)) : std::nullopt;
            if (!o.sort) {
                return Refuse(QStringLiteral("--sort needs name, taken or modified"));
            }
        } else if (a == "--auto") {
            o.automatic = true;
        } else if (a == "--shuffle") {
            o.play.shuffle = true;
        } else if (a == "--stop-at-end") {
            o.play.stopAtEnd = true;
        } else if (a == "--crossfade") {
            auto v = value();
            bool ok = false;
            const double seconds = v ? v->toDouble(&ok) : 0;
            if (!ok || !(seconds == 0 || (seconds >= 0.1 && seconds <= kMaxCrossfadeMs / 1000.0))) {
                return Refuse(QStringLiteral("--crossfade needs 0 (none) or 0.1 to 5 seconds"));
            }
            o.play.crossfadeMs = static_cast<std::uint16_t>(std::lround(seconds * 1000));
        } else if (a == "--caption") {
            auto v = value();
            bool ok = false;
            const CaptionKind kind =
                v ? CaptionKindNamed(QString::fromUtf8(*v), &ok) : CaptionKind::None;
            if (!ok || kind == CaptionKind::OwnText) {
                return Refuse(QStringLiteral("--caption needs none, name or date"));
            }
            o.caption = kind;
        } else if (a == "--caption-file") {
            auto v = value();
            if (!v || v->isEmpty()) {
                return Refuse(QStringLiteral("--caption-file needs a file name"));
            }
            o.captionFile = *v;
        } else {
            Usage(stderr);
            return Refuse(QStringLiteral("unknown option %1").arg(QFile::decodeName(a)));
        }
    }
    if (o.output.isEmpty() || o.pictures.empty()) {
        PrintError(o.output.isEmpty() && o.pictures.empty()
                       ? QStringLiteral("no output file (-o OUT) and no pictures given")
                   : o.output.isEmpty() ? QStringLiteral("no output file given (-o OUT)")
                                        : QStringLiteral("no pictures given"));
        Usage(stderr);
        return {std::nullopt, 2};
    }
    if (o.signCertificate.isEmpty() &&
        (!o.signPasswordFile.isEmpty() || !o.timestampUrl.isEmpty())) {
        return Refuse(QStringLiteral("--sign-password-file and --timestamp go with --sign"));
    }
    if (!o.captionFile.isEmpty()) {
        if (o.caption != CaptionKind::None) {
            return Refuse(QStringLiteral("--caption and --caption-file go one without the other"));
        }
        o.caption = CaptionKind::OwnText;
    }
    return {std::move(o), 0};
}

} // namespace pelisto::build
