// Loads one picture as the slideshow converter does and writes it as a JPEG, in a process of its
// own so that its peak memory is that of this one picture. Prints two lines: "ok" or the error
// text, then how far the resident memory rose above where it stood before the picture (KiB).
// Usage: picture_probe PICTURE TARGET.jpg

#include "framework/application.h"
#include "framework/exceptions.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/magick_startup.h"
#include "framework/graphics/picture.h"
#include "picture/jpeg_image.h"
#include "picture/multi_picture.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// A line of /proc/self/status in KiB: VmRSS now, VmHWM the peak. The peak is the one getrusage
// reports, without what it keeps of the process that started this one (getrusage's maximum also
// covers the parent's memory copied at the fork before exec).
long StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                .trimmed()
                .split(' ')[0]
                .toLong();
        }
    }
    return 0;
}

// Starts the peak over from the present resident size.
void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

QString Convert(pelisto::TMultiPicture& control, const QString& file, const QString& target) {
    using namespace pelisto;
    const QString ext = QFileInfo(file).suffix().toLower();
    if (ext == QLatin1String("wmf") || ext == QLatin1String("ico")) {
        TPicture loader;
        loader.LoadFromFile(file);
        TBitmap bitmap;
        bitmap.SetWidth(loader.Width());
        bitmap.SetHeight(loader.Height());
        {
            TCanvas canvas(bitmap);
            canvas.Draw(0, 0, *loader.Graphic());
        }
        TJPEGImage jpeg;
        jpeg.AssignFrom(bitmap);
        jpeg.SaveFile(target);
        return QStringLiteral("ok");
    }
    control.SetImageName(file);
    control.SetJPegSaveQuality(75);
    return control.SaveAsJpeg(target) ? QStringLiteral("ok") : control.LastError();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    pelisto::StartMagick({});
    pelisto::Application app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: picture_probe PICTURE TARGET.jpg\n");
        return 2;
    }
    pelisto::TMultiPicture control;
    control.Loaded();
    ResetPeak();
    const long before = StatusKiB("VmRSS:");
    QString result;
    try {
        result = Convert(control, QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    } catch (const pelisto::Exception& e) {
        result = e.message();
    }
    // The peak is kept page-wise and may lag the present size a little.
    const long peak = StatusKiB("VmHWM:");
    std::printf("%s\n%ld\n", result.toUtf8().constData(), std::max(0L, peak - before));
    return 0;
}
