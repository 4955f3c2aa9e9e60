#include "app/picture_paths.h"

#include "framework/ascii_case.h"
#include "framework/system.h"

#include <QListWidget>

namespace pelisto {

QString ExtensionOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash) {
        return QString();
    }
    return path.mid(dot);
}

bool CanWriteBack(const QString& path) {
    static const QStringList writable{QStringLiteral(".JPG"), QStringLiteral(".BMP"),
                                      QStringLiteral(".PCX"), QStringLiteral(".GIF"),
                                      QStringLiteral(".PNG")};
    return writable.contains(AsciiUpper(ExtensionOf(path)));
}

bool ListContains(const QListWidget& list, const QString& path) {
    for (int i = 0; i < list.count(); ++i) {
        if (SameFilePath(list.item(i)->text(), path)) {
            return true;
        }
    }
    return false;
}

QStringList ListItems(const QListWidget& list) {
    QStringList items;
    items.reserve(list.count());
    for (int i = 0; i < list.count(); ++i) {
        items << list.item(i)->text();
    }
    return items;
}

} // namespace pelisto
