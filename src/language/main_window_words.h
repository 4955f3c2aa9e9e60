#pragma once

#include <QStringList>

namespace pelisto {

// The main window's word table: 29 records of a key, the French text and the English text.
QStringList MainWindowWords();

// The main window's font line for each of its two languages.
QStringList MainWindowCharSets();

} // namespace pelisto
