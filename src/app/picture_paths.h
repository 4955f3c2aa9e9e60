#pragma once

#include "framework/ascii_case.h"

#include <QCollator>
#include <QString>
#include <QStringList>

class QListWidget;
class QListWidgetItem;

namespace pelisto {

// The extension of a path: from the last dot of its file name to the end, dot included; empty
// when the file name has no dot.
QString ExtensionOf(const QString& path);

// Whether rotation can write a picture back in the format its extension names.
bool CanWriteBack(const QString& path);

// The file a list item stands for. An item shows its file's name; where that name is not UTF-8
// it shows it as Qt can and keeps the name the file is opened by beside it.
QString PathOf(const QListWidgetItem& item);
void AppendToList(QListWidget& list, const QString& path, const QString& shown);
// Whether the extension names a format the tool reads but will not write again (HEIC, HEIF,
// AVIF, WebP, JPEG XL): the turn is offered and refused with the reason.
bool TurnRefusedWithReason(const QString& path);

// Whether the list already holds the path, compared as the file system compares names.
bool ListContains(const QListWidget& list, const QString& path);
QStringList ListItems(const QListWidget& list);

// The files as a file dialog lists them: by name, numbers by their value (IMG_2 before IMG_10),
// letter case aside; the folder breaks ties.
QStringList InNaturalOrder(QStringList files);
// Compares names as InNaturalOrder does: negative, zero or positive.
class NaturalNames {
public:
    NaturalNames();
    int Compare(const QString& a, const QString& b) const;

private:
    QCollator collator_;
};

} // namespace pelisto
