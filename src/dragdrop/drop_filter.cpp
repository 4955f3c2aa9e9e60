#include "dragdrop/drop_filter.h"

#include "framework/system.h"

#include <algorithm>

namespace pelisto {

namespace {

QString AsciiLower(QString text) {
    for (QChar& c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) {
            c = QChar(c.unicode() + ('a' - 'A'));
        }
    }
    return text;
}

bool Holds(const QStringList& items, const QString& name) {
    return std::any_of(items.begin(), items.end(),
                       [&](const QString& item) { return SameFilePath(item, name); });
}

} // namespace

QString DropExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return {};
    }
    for (qsizetype i = dot + 1; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')) {
            return {};
        }
    }
    return name.mid(dot);
}

QStringList FilesToAppend(const QStringList& listItems, const QStringList& dropped,
                          const QString& filterText) {
    QStringList result;
    for (const QString& name : dropped) {
        const QString extension = AsciiLower(DropExtension(name));
        if (extension.isEmpty() || !filterText.contains(extension, Qt::CaseSensitive)) {
            continue;
        }
        if (Holds(listItems, name) || Holds(result, name)) {
            continue;
        }
        result << name;
    }
    return result;
}

} // namespace pelisto
