#include "framework/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace pelisto {

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& fileName) {
    QStringList lines;
    QFile in(fileName);
    if (in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.back().isEmpty()) {
            lines.removeLast();
        }
    }

    const QString header = QLatin1Char('[') + section + QLatin1Char(']');
    const QString entry = key + QLatin1Char('=') + value;
    qsizetype sectionAt = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().compare(header, Qt::CaseInsensitive) == 0) {
            sectionAt = i;
            break;
        }
    }
    if (sectionAt < 0) {
        lines << header << entry;
    } else {
        qsizetype insertAt = sectionAt + 1;
        bool replaced = false;
        for (qsizetype i = sectionAt + 1; i < lines.size(); ++i) {
            const QString trimmed = lines[i].trimmed();
            if (trimmed.startsWith(QLatin1Char('['))) {
                break;
            }
            const auto eq = trimmed.indexOf(QLatin1Char('='));
            if (eq > 0 && trimmed.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
                lines[i] = entry;
                replaced = true;
                break;
            }
            if (!trimmed.isEmpty()) {
                insertAt = i + 1;
            }
        }
        if (!replaced) {
            lines.insert(insertAt, entry);
        }
    }

    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return out.commit();
}

QString UserConfigFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/');
}

} // namespace pelisto
