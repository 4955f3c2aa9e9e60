#pragma once

#include <QString>
#include <QStringList>

namespace pelisto {

// The extension of a dropped name: from its last dot to the end, dot included; empty when no
// dot follows the last folder delimiter ('/', '\\') or drive colon.
QString DropExtension(const QString& name);

// The dropped names to append to a picture list, in drop order: a name is taken when its
// extension, lower-cased (A to Z only), occurs anywhere in the open dialog's filter text, and
// when neither the list nor an earlier name of this drop already holds it (the same file name,
// compared as the file system compares names).
QStringList FilesToAppend(const QStringList& listItems, const QStringList& dropped,
                          const QString& filterText);

} // namespace pelisto
