#include "app/remembered_settings.h"

#include "slideshow/play_options.h"

#include <QSettings>
#include <memory>

namespace pelisto {
namespace {

std::unique_ptr<QSettings> UserSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("pelisto-maker"),
                                       QStringLiteral("pelisto-maker"));
}

// The stored number when it is one and lies in the range, else the fallback.
double NumberIn(const QSettings& stored, const QString& key, double low, double high,
                double fallback) {
    bool ok = false;
    const double value = stored.value(key).toDouble(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

} // namespace

RememberedSettings LoadRememberedSettings() {
    const auto settings = UserSettings();
    const QSettings& stored = *settings;
    RememberedSettings s;
    s.picturesFolder = stored.value(QStringLiteral("picturesFolder")).toString();
    s.slideshowFolder = stored.value(QStringLiteral("slideshowFolder")).toString();
    s.quality = static_cast<int>(NumberIn(stored, QStringLiteral("quality"), 1, 100, s.quality));
    const QString automatic = stored.value(QStringLiteral("automatic")).toString();
    s.automatic = automatic == QLatin1String("true");
    s.delaySeconds = NumberIn(stored, QStringLiteral("delay"), 1, 65535, s.delaySeconds);
    s.slideshowType =
        static_cast<int>(NumberIn(stored, QStringLiteral("slideshowType"), 1, 5, s.slideshowType));
    s.signingCertificate = stored.value(QStringLiteral("signingCertificate")).toString();
    s.pictureSize =
        static_cast<int>(NumberIn(stored, QStringLiteral("pictureSize"), 0, 3, s.pictureSize));
    s.includeSubfolders =
        stored.value(QStringLiteral("includeSubfolders")).toString() != QLatin1String("false");
    s.shuffle = stored.value(QStringLiteral("shuffle")).toString() == QLatin1String("true");
    s.stopAtEnd = stored.value(QStringLiteral("stopAtEnd")).toString() == QLatin1String("true");
    s.crossfadeMs = static_cast<int>(
        NumberIn(stored, QStringLiteral("crossfadeMs"), 0, kMaxCrossfadeMs, s.crossfadeMs));
    s.caption = static_cast<int>(NumberIn(stored, QStringLiteral("caption"), 0, 3, s.caption));
    return s;
}

void StoreRememberedSettings(const RememberedSettings& s) {
    const auto settings = UserSettings();
    QSettings& stored = *settings;
    stored.setValue(QStringLiteral("picturesFolder"), s.picturesFolder);
    stored.setValue(QStringLiteral("slideshowFolder"), s.slideshowFolder);
    stored.setValue(QStringLiteral("quality"), s.quality);
    stored.setValue(QStringLiteral("automatic"), s.automatic);
    stored.setValue(QStringLiteral("delay"), s.delaySeconds);
    stored.setValue(QStringLiteral("slideshowType"), s.slideshowType);
    stored.setValue(QStringLiteral("signingCertificate"), s.signingCertificate);
    stored.setValue(QStringLiteral("pictureSize"), s.pictureSize);
    stored.setValue(QStringLiteral("includeSubfolders"), s.includeSubfolders);
    stored.setValue(QStringLiteral("shuffle"), s.shuffle);
    stored.setValue(QStringLiteral("stopAtEnd"), s.stopAtEnd);
    stored.setValue(QStringLiteral("crossfadeMs"), s.crossfadeMs);
    stored.setValue(QStringLiteral("caption"), s.caption);
}

} // namespace pelisto
