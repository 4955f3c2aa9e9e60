#pragma once

#include <QStringList>

namespace pelisto {

// The main window's word table: 31 records of a key, the French text and the English text (the
// original 29, then the Linux save type and its missing-stub message).
QStringList MainWindowWords();

// The main window's font line for each of its two languages.
QStringList MainWindowCharSets();

} // namespace pelisto
