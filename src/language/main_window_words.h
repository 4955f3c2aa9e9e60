#pragma once

#include <QStringList>

namespace pelisto {

// The main window's word table: 44 records of a key, the French text and the English text (the
// original 29, then the Linux save type and its missing-stub message, then the save's progress
// dialog and status line, then the web page's save type and hint, then the signed program's save
// type and its certificate and password dialogs).
QStringList MainWindowWords();

// A message of that table in a language (0 French, 1 English) for a caller without a window;
// a missing key comes back unchanged, as from the window's table.
QString MainWindowWord(const QString& id, int language);

// The main window's font line for each of its two languages.
QStringList MainWindowCharSets();

} // namespace pelisto
