#include "app/captions.h"

#include "codeclib/exif_date.h"

#include <QFile>
#include <QFileInfo>
#include <array>

namespace pelisto {
namespace {

// An EXIF block is one JPEG segment (at most 64 KB), after a JFIF header at most as large; a
// TIFF's directories usually lie near its start.
constexpr qint64 kDateSearch = 2 * 64 * 1024 + 64;

const std::array<const char*, 4> kNames{"none", "name", "date", "own"};

} // namespace

std::string CaptionText(CaptionKind kind, const QString& path, const QString& shownName,
                        const QString& own) {
    switch (kind) {
    case CaptionKind::None:
        return {};
    case CaptionKind::FileName:
        return QFileInfo(shownName).fileName().toStdString();
    case CaptionKind::OwnText:
        return own.trimmed().toStdString();
    case CaptionKind::DateTaken:
        break;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray head = file.read(kDateSearch);
    return exif::DateTaken(reinterpret_cast<const std::uint8_t*>(head.constData()),
                           static_cast<std::size_t>(head.size()));
}

CaptionKind CaptionKindNamed(const QString& word, bool* ok) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (word == QLatin1String(kNames[i])) {
            if (ok != nullptr) {
                *ok = true;
            }
            return static_cast<CaptionKind>(i);
        }
    }
    if (ok != nullptr) {
        *ok = false;
    }
    return CaptionKind::None;
}

QString CaptionKindName(CaptionKind kind) {
    return QLatin1String(kNames[static_cast<std::size_t>(kind)]);
}

} // namespace pelisto
