#include "language/multi_lang.h"

#include "framework/common_dialogs.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolBox>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace pelisto {

namespace {

bool HasStringProperty(const QObject* object, const char* name) {
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfProperty(name);
    if (index < 0) {
        return false;
    }
    const QMetaProperty property = meta->property(index);
    return property.isWritable() && property.metaType().id() == QMetaType::QString;
}

bool IsForm(const QObject* object) {
    const auto* widget = qobject_cast<const QWidget*>(object);
    if (widget == nullptr || !widget->isWindow()) {
        return false;
    }
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

QList<QRadioButton*> RadioEntries(QObject* object) {
    auto* group = qobject_cast<QGroupBox*>(object);
    if (group == nullptr) {
        return {};
    }
    return group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
}

QStringList Lines(const QString& text) {
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// Re-enables sorting (which re-sorts) when the texts are in.
class SortingSuspended {
public:
    explicit SortingSuspended(QTreeWidget* tree) : tree_(tree), was_(tree->isSortingEnabled()) {
        tree_->setSortingEnabled(false);
    }
    ~SortingSuspended() { tree_->setSortingEnabled(was_); }
    SortingSuspended(const SortingSuspended&) = delete;
    SortingSuspended& operator=(const SortingSuspended&) = delete;

private:
    QTreeWidget* tree_;
    bool was_;
};

// A table widget's model refuses header texts for sections that have no item yet.
void SetSectionText(QHeaderView* header, int section, const QString& text) {
    QAbstractItemModel* model = header->model();
    const Qt::Orientation orientation = header->orientation();
    if (model == nullptr || model->setHeaderData(section, orientation, text, Qt::DisplayRole)) {
        return;
    }
    auto* table = qobject_cast<QTableWidget*>(header->parentWidget());
    if (table == nullptr) {
        return;
    }
    if (orientation == Qt::Horizontal) {
        table->setHorizontalHeaderItem(section, new QTableWidgetItem(text));
    } else {
        table->setVerticalHeaderItem(section, new QTableWidgetItem(text));
    }
}

} // namespace

TMultiLang::TMultiLang(QWidget* owner) : TBaseMultiLang(owner) {}

void TMultiLang::ApplyList(int& index, int count,
                           const std::function<void(int, const QString&)>& set) {
    QString text;
    if (count <= 0 || !TakeText(index, text)) {
        return;
    }
    set(0, text);
    int k = 1;
    while (k < count && IsContinuation(index) && TakeText(index, text)) {
        set(k, text);
        ++k;
    }
    for (; k < count; ++k) {
        set(k, QString());
    }
}

void TMultiLang::ApplyCaptionAndText(QObject* component, int& index) {
    QString text;
    const bool editText = qobject_cast<QLineEdit*>(component) != nullptr;
    const char* caption = nullptr;
    if (!editText && HasStringProperty(component, "text")) {
        caption = "text";
    } else if (HasStringProperty(component, "title")) {
        caption = "title";
    }
    if (caption != nullptr && TakeText(index, text)) {
        component->setProperty(caption, text);
    }
    if (editText && TakeText(index, text)) {
        component->setProperty("text", text);
    }
}

void TMultiLang::ApplyHint(QObject* component, int start, int& index) {
    if (!HasStringProperty(component, "toolTip")) {
        return;
    }
    QString text;
    if (index == start) {
        // The component's own record holds only its place: pass over it.
        TakeText(index, text);
    }
    if (IsHintRecord(index) && TakeText(index, text) && !text.isEmpty()) {
        component->setProperty("toolTip", text);
    }
}

void TMultiLang::ApplyWords(QObject* component, int& index) {
    const int start = index;
    QString text;
    const auto radios = RadioEntries(component);

    if (auto* list = qobject_cast<QListWidget*>(component)) {
        ApplyList(index, list->count(),
                  [list](int k, const QString& s) { list->item(k)->setText(s); });
    } else if (IsForm(component)) {
        if (TakeText(index, text)) {
            static_cast<QWidget*>(component)->setWindowTitle(text);
        }
    } else if (!radios.isEmpty()) {
        auto* group = static_cast<QGroupBox*>(component);
        if (TakeText(index, text)) {
            group->setTitle(text);
        }
        ApplyList(index, int(radios.size()),
                  [&radios](int k, const QString& s) { radios[k]->setText(s); });
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(component)) {
        QStringList lines = Lines(plain->toPlainText());
        ApplyList(index, int(lines.size()), [&lines](int k, const QString& s) { lines[k] = s; });
        if (!lines.isEmpty()) {
            plain->setPlainText(lines.join(QLatin1Char('\n')));
        }
    } else if (auto* rich = qobject_cast<QTextEdit*>(component)) {
        QStringList lines = Lines(rich->toPlainText());
        ApplyList(index, int(lines.size()), [&lines](int k, const QString& s) { lines[k] = s; });
        if (!lines.isEmpty()) {
            rich->setPlainText(lines.join(QLatin1Char('\n')));
        }
    } else if (auto* tabs = qobject_cast<QTabWidget*>(component)) {
        ApplyList(index, tabs->count(),
                  [tabs](int k, const QString& s) { tabs->setTabText(k, s); });
    } else if (auto* bar = qobject_cast<QTabBar*>(component)) {
        ApplyList(index, bar->count(), [bar](int k, const QString& s) { bar->setTabText(k, s); });
    } else if (auto* pages = qobject_cast<QToolBox*>(component)) {
        ApplyList(index, pages->count(),
                  [pages](int k, const QString& s) { pages->setItemText(k, s); });
    } else if (auto* tree = qobject_cast<QTreeWidget*>(component)) {
        QList<QTreeWidgetItem*> nodes;
        for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
            nodes << *it;
        }
        SortingSuspended suspended(tree);
        ApplyList(index, int(nodes.size()),
                  [&nodes](int k, const QString& s) { nodes[k]->setText(0, s); });
    } else if (auto* table = qobject_cast<QTableWidget*>(component)) {
        const int columns = table->columnCount();
        const int entries = columns + columns * table->rowCount();
        ApplyList(index, entries, [table, columns](int k, const QString& s) {
            if (k < columns) {
                if (table->horizontalHeaderItem(k) == nullptr) {
                    table->setHorizontalHeaderItem(k, new QTableWidgetItem);
                }
                table->horizontalHeaderItem(k)->setText(s);
                return;
            }
            const int row = (k - columns) / columns;
            const int column = (k - columns) % columns;
            if (table->item(row, column) == nullptr) {
                table->setItem(row, column, new QTableWidgetItem);
            }
            table->item(row, column)->setText(s);
        });
    } else if (auto* status = qobject_cast<QStatusBar*>(component)) {
        if (TakeText(index, text)) {
            if (text.isEmpty()) {
                status->clearMessage();
            } else {
                status->showMessage(text);
            }
            const auto panels = status->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
            for (QLabel* panel : panels) {
                if (!IsContinuation(index) || !TakeText(index, text)) {
                    break;
                }
                panel->setText(text);
            }
        }
    } else if (auto* header = qobject_cast<QHeaderView*>(component)) {
        ApplyList(index, header->count(),
                  [header](int k, const QString& s) { SetSectionText(header, k, s); });
    } else if (auto* combo = qobject_cast<QComboBox*>(component)) {
        const int selected = combo->currentIndex();
        ApplyList(index, combo->count(),
                  [combo](int k, const QString& s) { combo->setItemText(k, s); });
        combo->setCurrentIndex(selected);
    } else if (auto* dialog = qobject_cast<TOpenDialog*>(component)) {
        if (TakeText(index, text)) {
            dialog->SetTitle(text);
        }
        if (TakeText(index, text)) {
            dialog->SetFilter(text);
        }
    } else if (auto* action = qobject_cast<QAction*>(component)) {
        if (TakeText(index, text)) {
            action->setText(text);
        }
    } else if (auto* menu = qobject_cast<QMenu*>(component)) {
        if (TakeText(index, text)) {
            menu->setTitle(text);
        }
    } else {
        ApplyCaptionAndText(component, index);
    }

    ApplyHint(component, start, index);
}

} // namespace pelisto
