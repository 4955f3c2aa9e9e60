#include "app/picture_paths.h"

#include "framework/ascii_case.h"
#include "framework/system.h"

#include <QCollator>
#include <QFileInfo>
#include <QListWidget>
#include <QLocale>
#include <algorithm>

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

QString PathOf(const QListWidgetItem& item) {
    const QVariant kept = item.data(Qt::UserRole);
    return kept.isValid() ? kept.toString() : item.text();
}

void AppendToList(QListWidget& list, const QString& path, const QString& shown) {
    auto* item = new QListWidgetItem(shown);
    if (shown != path) {
        item->setData(Qt::UserRole, path);
    }
    list.addItem(item);
}

bool TurnRefusedWithReason(const QString& path) {
    // Offered, so that the turn can say why these formats are not turned.
    static const QStringList lossy{QStringLiteral(".HEIC"), QStringLiteral(".HEIF"),
                                   QStringLiteral(".AVIF"), QStringLiteral(".WEBP"),
                                   QStringLiteral(".JXL")};
    return lossy.contains(AsciiUpper(ExtensionOf(path)));
}

bool ListContains(const QListWidget& list, const QString& path) {
    for (int i = 0; i < list.count(); ++i) {
        if (SameFilePath(PathOf(*list.item(i)), path)) {
            return true;
        }
    }
    return false;
}

QStringList ListItems(const QListWidget& list) {
    QStringList items;
    items.reserve(list.count());
    for (int i = 0; i < list.count(); ++i) {
        items << PathOf(*list.item(i));
    }
    return items;
}

NaturalNames::NaturalNames() {
    // The "C" locale compares plain code points, numbers digit by digit: take English there.
    const QLocale system = QLocale::system();
    collator_ = QCollator(system.language() == QLocale::C ? QLocale(QLocale::English) : system);
    collator_.setNumericMode(true);
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

int NaturalNames::Compare(const QString& a, const QString& b) const {
    const int byName = collator_.compare(QFileInfo(a).fileName(), QFileInfo(b).fileName());
    return byName != 0 ? byName : collator_.compare(a, b);
}

QStringList InNaturalOrder(QStringList files) {
    const NaturalNames names;
    std::stable_sort(files.begin(), files.end(),
                     [&](const QString& a, const QString& b) { return names.Compare(a, b) < 0; });
    return files;
}

} // namespace pelisto
