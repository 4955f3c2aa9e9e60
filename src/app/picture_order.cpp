#include "app/picture_order.h"

#include "app/picture_paths.h"
#include "codeclib/exif_orientation.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <numeric>

namespace pelisto {
namespace {

// The EXIF block lies near the start: at most a JFIF header and one 64 KB segment before it,
// and itself at most 64 KB.
constexpr qint64 ExifHead = 192 * 1024;

} // namespace

std::optional<PictureOrder> PictureOrderNamed(const QString& name) {
    if (name == QLatin1String("name")) {
        return PictureOrder::Name;
    }
    if (name == QLatin1String("taken")) {
        return PictureOrder::Taken;
    }
    if (name == QLatin1String("modified")) {
        return PictureOrder::Modified;
    }
    return std::nullopt;
}

QDateTime DateTaken(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray head = in.read(ExifHead);
    const std::string text =
        exif::JpegDateTaken(reinterpret_cast<const std::uint8_t*>(head.constData()),
                            static_cast<std::size_t>(head.size()));
    return QDateTime::fromString(QString::fromStdString(text),
                                 QStringLiteral("yyyy:MM:dd HH:mm:ss"));
}

std::vector<int> OrderOfPictures(const QStringList& shown, const QStringList& files,
                                 PictureOrder order) {
    const int count = static_cast<int>(std::min(shown.size(), files.size()));
    std::vector<int> positions(static_cast<std::size_t>(count));
    std::iota(positions.begin(), positions.end(), 0);
    std::vector<QDateTime> when(positions.size());
    if (order != PictureOrder::Name) {
        for (int i = 0; i < count; ++i) {
            QDateTime& at = when[static_cast<std::size_t>(i)];
            if (order == PictureOrder::Taken) {
                at = DateTaken(files[i]);
            }
            if (!at.isValid()) {
                at = QFileInfo(files[i]).lastModified();
            }
        }
    }
    // A file that cannot be read has no date: it goes after those that have one.
    const NaturalNames names;
    std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) {
        const QDateTime& x = when[static_cast<std::size_t>(a)];
        const QDateTime& y = when[static_cast<std::size_t>(b)];
        if (x.isValid() != y.isValid()) {
            return x.isValid();
        }
        if (x != y) {
            return x < y;
        }
        return names.Compare(shown[a], shown[b]) < 0;
    });
    return positions;
}

} // namespace pelisto
