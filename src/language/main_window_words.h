#pragma once

#include <QStringList>

namespace pelisto {

// The main window's word table: 35 records of a key, the French text and the English text (the
// original 29, then the Linux save type and its missing-stub message, then the save's progress
// dialog and status line).
QStringList MainWindowWords();

// The main window's font line for each of its two languages.
QStringList MainWindowCharSets();

} // namespace pelisto
