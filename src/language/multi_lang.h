#pragma once

#include "language/base_multi_lang.h"

#include <functional>

namespace pelisto {

// The word table that knows how each kind of Qt component takes its texts.
//
// Kinds, tried in this order (a kind includes its subclasses):
//   QListWidget                      entries, by the list rule
//   window (Qt::Window or Qt::Dialog) windowTitle
//   QGroupBox with QRadioButton children (radio group): title, then the buttons by the list rule
//   QPlainTextEdit, QTextEdit        lines, by the list rule
//   QTabWidget, QTabBar, QToolBox    tab / page names, by the list rule
//   QTreeWidget                      node texts (column 0) in pre-order, by the list rule, with
//                                    sorting suspended meanwhile
//   QTableWidget (list view)         column captions, then each row's cells left to right, as
//                                    one sequence by the list rule
//   QStatusBar                       the shown message, then one QLabel panel (a direct child)
//                                    per continuation record that follows
//   QHeaderView                      section texts, by the list rule
//   QComboBox                        entries, by the list rule, keeping the selected index
//   TOpenDialog (TSaveDialog too)    title, then filter from the next text whatever its key
//   QAction                          text;  QMenu: title
//   anything else                    caption from one text: the writable "text" property, else
//                                    "title"; then, for QLineEdit only, whose "text" is the
//                                    edited text rather than a caption, that text from the next
//                                    text (a QLineEdit has no caption, so it takes one text).
// Then the hint: components with a writable "toolTip" (widgets, actions) pass over a record
// they took nothing from and take a following ".Hint record; an empty hint text keeps the hint.
//
// List rule: with m entries, nothing is taken when m is 0 or no text exists; else entry 0 takes
// a text, and each further entry takes one while the next record is a continuation record;
// entries left over are emptied, not removed.
class TMultiLang : public TBaseMultiLang {
    Q_OBJECT

public:
    explicit TMultiLang(QWidget* owner);

    void ApplyWords(QObject* component, int& index) override;

protected:
    void ApplyList(int& index, int count, const std::function<void(int, const QString&)>& set);
    void ApplyCaptionAndText(QObject* component, int& index);
    void ApplyHint(QObject* component, int start, int& index);
};

} // namespace pelisto
