#include "language_test_support.h"

#include "framework/application.h"
#include "framework/system.h"
#include "support/fake_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <stdexcept>

using namespace pelisto;
using pelisto::testing::ScopedFakeDialogs;
using pelisto::testing::WordTableTest;

namespace {

QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int k = 0; k < list->count(); ++k) {
        out << list->item(k)->text();
    }
    return out;
}

using Switching = WordTableTest;

TEST_F(Switching, ComponentNamesMatchIgnoringAsciiCaseAndTheFormKeyIsExact) {
    auto* button = Add<QPushButton>("Button1");
    auto* first = Add<QLabel>("Label1");
    auto* second = Add<QLabel>("LABEL1"); // later in component order
    window->setWindowTitle("design");
    table->SetWords({"button1", "Bouton", "Button",  //
                     "label1", "Etiquette", "Label", //
                     "%form%", "pas moi", "not me",  //
                     "%Form%", "Fenêtre", "Window",  //
                     "Nobody", "personne", "nobody"});
    table->SetActiveLanguage(1);
    EXPECT_EQ(button->text(), "Button");
    EXPECT_EQ(first->text(), "Label");
    EXPECT_EQ(second->text(), "");
    EXPECT_EQ(window->windowTitle(), "Window");
    table->SetActiveLanguage(0);
    EXPECT_EQ(window->windowTitle(), "Fenêtre");
}

TEST_F(Switching, PlaceholdersAndHintRecords) {
    auto* bar = Add<QScrollBar>("ScrollBar1");
    auto* button = Add<QPushButton>("Button1");
    auto* label = Add<QLabel>("Label1");
    button->setToolTip("design hint");
    label->setText("design caption");
    table->SetWords({"ScrollBar1", "", "",           //
                     "\".HINT", "bulle", "bar hint", //
                     "Button1", "Bouton", "Button",  //
                     "\".hint", "", "",              //
                     "Label1", "", "",               //
                     "\".Hint", "x", "label hint"});
    table->SetActiveLanguage(1);
    EXPECT_EQ(bar->toolTip(), "bar hint");
    EXPECT_EQ(button->text(), "Button");
    EXPECT_EQ(button->toolTip(), "design hint"); // an empty hint text keeps the hint
    EXPECT_EQ(label->text(), "");                // an empty caption text empties the caption
    EXPECT_EQ(label->toolTip(), "label hint");
}

TEST_F(Switching, ListRuleEmptiesExtraEntriesAndLeavesExtraContinuations) {
    auto* list = Add<QListWidget>("ListBox1");
    list->addItems({"1", "2", "3", "4"});
    auto* small = Add<QListWidget>("ListBox2");
    small->addItems({"only"});
    auto* label = Add<QLabel>("Label1");
    table->SetWords({"ListBox1", "un", "one",     //
                     "\"", "deux", "two",         //
                     "ListBox2", "seul", "alone", //
                     "\"", "de trop", "extra",    //
                     "\"", "encore", "more",      //
                     "Label1", "Etiquette", "Label"});
    table->SetActiveLanguage(1);
    EXPECT_EQ(Entries(list), (QStringList{"one", "two", "", ""}));
    EXPECT_EQ(Entries(small), QStringList{"alone"});
    EXPECT_EQ(label->text(), "Label");
}

TEST_F(Switching, AnEmptyListPassesItsPlaceholderToItsHint) {
    auto* list = Add<QListWidget>("ListBox1");
    auto* label = Add<QLabel>("Label1");
    table->SetWords({"ListBox1", "", "",                //
                     "\".Hint", "glisser", "drag here", //
                     "Label1", "Etiquette", "Label"});
    table->SetActiveLanguage(1);
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(list->toolTip(), "drag here");
    EXPECT_EQ(label->text(), "Label");
}

TEST_F(Switching, DefaultEnabledFillsEmptyTextsAndReapplies) {
    auto* label = Add<QLabel>("Label1");
    table->SetWords({"Label1", "Etiquette", ""});
    table->SetActiveLanguage(1);
    EXPECT_EQ(label->text(), "");
    table->SetDefaultEnabled(true);
    EXPECT_EQ(label->text(), "Etiquette");
    table->SetDefaultEnabled(false);
    EXPECT_EQ(label->text(), "");
}

TEST_F(Switching, SwitchingToTheActiveLanguageAppliesEveryTextAgain) {
    auto* button = Add<QPushButton>("Button1");
    table->SetWords({"Button1", "Bouton", "Button"});
    int after = 0;
    table->AfterLanguageChanged = [&](TBaseMultiLang*, std::uint8_t language) {
        EXPECT_EQ(language, 0);
        ++after;
    };
    table->SetActiveLanguage(0);
    button->setText("changed by hand");
    table->SetActiveLanguage(0);
    EXPECT_EQ(button->text(), "Bouton");
    EXPECT_EQ(after, 2);
}

TEST_F(Switching, TooHighALanguageShowsTheBoxAndChangesNothing) {
    ScopedFakeDialogs dialogs;
    auto* button = Add<QPushButton>("Button1");
    table->SetWords({"Button1", "Bouton", "Button"});
    table->SetActiveLanguage(1);
    bool asked = false;
    table->BeforeLanguageChange = [&](TBaseMultiLang*, std::uint8_t, bool&) { asked = true; };

    table->SetActiveLanguage(2);
    table->SetDefaultLanguage(2);

    ASSERT_EQ(dialogs->boxes.size(), 2u);
    const MessageBoxRequest& box = dialogs->boxes[0];
    EXPECT_EQ(box.text, "Value must not be higher than\rnumber of available languages.");
    EXPECT_EQ(box.title, ApplicationTitle());
    EXPECT_EQ(box.icon, MsgBoxIcon::Information);
    ASSERT_EQ(box.buttons.size(), 1u);
    EXPECT_EQ(box.buttons[0].result, int(mrCancel));
    EXPECT_FALSE(asked);
    EXPECT_EQ(table->ActiveLanguage(), 1);
    EXPECT_EQ(table->DefaultLanguage(), 0);
    EXPECT_EQ(button->text(), "Button");
}

TEST_F(Switching, BeforeLanguageChangeCanVeto) {
    auto* button = Add<QPushButton>("Button1");
    button->setText("design");
    table->SetWords({"Button1", "Bouton", "Button"});
    std::vector<int> after;
    table->AfterLanguageChanged = [&](TBaseMultiLang*, std::uint8_t n) { after.push_back(n); };
    table->BeforeLanguageChange = [&](TBaseMultiLang* sender, std::uint8_t n, bool& allowIt) {
        EXPECT_EQ(sender, table);
        EXPECT_TRUE(allowIt);
        allowIt = n != 1;
    };
    table->SetActiveLanguage(1);
    EXPECT_EQ(table->ActiveLanguage(), 0);
    EXPECT_EQ(button->text(), "design");
    EXPECT_TRUE(after.empty());
    table->SetActiveLanguage(0);
    EXPECT_EQ(button->text(), "Bouton");
    EXPECT_EQ(after, std::vector<int>{0});
}

TEST_F(Switching, FontLinesAreSavedForTheLanguageLeftAndApplied) {
    QFont font = window->font();
    font.setFamily("MS Sans Serif");
    window->setFont(font);
    auto* plain = Add<QLabel>("Label1");
    auto* own = Add<QPushButton>("Button1");
    QFont arial = own->font();
    arial.setFamily("Arial");
    own->setFont(arial);

    // With no lines yet, the window's own line fills them.
    table->SetActiveLanguage(1);
    EXPECT_EQ(table->CharSets(), (QStringList{"MS Sans Serif,1", "MS Sans Serif,1"}));
    table->SetActiveLanguage(0);

    table->SetCharSets({"MS Sans Serif,1", "Courier, 238"});
    table->SetActiveLanguage(1);
    EXPECT_EQ(window->font().family(), "Courier");
    EXPECT_EQ(WindowCharSet(window.get()), 238);
    EXPECT_EQ(plain->font().family(), "Courier");
    EXPECT_EQ(own->font().family(), "Arial");

    table->SetActiveLanguage(0);
    EXPECT_EQ(table->CharSets()[1], "Courier,238");
    EXPECT_EQ(window->font().family(), "MS Sans Serif");
    EXPECT_EQ(WindowCharSet(window.get()), 1);
}

TEST_F(Switching, AMalformedFontLineKeepsTheFontButTextsStillApply) {
    QFont font = window->font();
    font.setFamily("MS Sans Serif");
    window->setFont(font);
    auto* label = Add<QLabel>("Label1");
    table->SetWords({"Label1", "Etiquette", "Label"});
    table->SetCharSets({"MS Sans Serif,1", "NoNumber"});
    table->SetActiveLanguage(1);
    EXPECT_EQ(window->font().family(), "MS Sans Serif");
    EXPECT_EQ(label->text(), "Label");
    // Re-applying saves the window's font into the active line first, so leave it before.
    table->SetActiveLanguage(0);
    table->SetCharSets({"MS Sans Serif,1", "Courier,x"});
    table->SetActiveLanguage(1);
    EXPECT_EQ(window->font().family(), "MS Sans Serif");
}

// A table whose components can fail while taking their texts.
class FailingMultiLang : public TMultiLang {
public:
    using TMultiLang::TMultiLang;
    void ApplyWords(QObject* component, int& index) override {
        if (component->objectName() == "Broken") {
            QString text;
            TakeText(index, text);
            throw std::runtime_error("broken after one record");
        }
        if (component->objectName() == "Stuck") {
            throw std::runtime_error("broken before taking anything");
        }
        TMultiLang::ApplyWords(component, index);
    }
};

TEST_F(Switching, ComponentErrorsAreSwallowedAndTheWalkGoesOn) {
    auto* failing = new FailingMultiLang(window.get());
    Add<QLabel>("Broken");
    Add<QLabel>("Stuck");
    Add<QObject>("Plain"); // takes nothing and has no hint
    auto* a = Add<QLabel>("LabelA");
    auto* b = Add<QLabel>("LabelB");
    auto* c = Add<QLabel>("LabelC");
    failing->SetWords({"Broken", "x", "x", //
                       "LabelA", "A", "a", //
                       "Stuck", "x", "x",  //
                       "LabelB", "B", "b", //
                       "Plain", "x", "x",  //
                       "LabelC", "C", "c"});
    bool after = false;
    failing->AfterLanguageChanged = [&](TBaseMultiLang*, std::uint8_t) { after = true; };
    failing->SetActiveLanguage(1);
    EXPECT_EQ(a->text(), "a");
    EXPECT_EQ(b->text(), "b");
    EXPECT_EQ(c->text(), "c");
    EXPECT_TRUE(after);
    delete failing;
}

TEST_F(Switching, FurtherKindsTakeTheirTexts) {
    auto* dialog = Add<QDialog>("Dialog1");
    auto* radios = Add<QGroupBox>("RadioGroup1");
    auto* r1 = Add<QRadioButton>("r1", radios);
    auto* r2 = Add<QRadioButton>("r2", radios);
    auto* memo = Add<QPlainTextEdit>("Memo1");
    memo->setPlainText("l1\nl2");
    auto* tabs = Add<QTabWidget>("PageControl1");
    tabs->addTab(new QWidget, "t1");
    tabs->addTab(new QWidget, "t2");
    auto* combo = Add<QComboBox>("ComboBox1");
    combo->addItems({"c1", "c2", "c3"});
    combo->setCurrentIndex(2);
    auto* edit = Add<QLineEdit>("Edit1");
    auto* menu = Add<QMenu>("Menu1");
    auto* status = Add<QStatusBar>("StatusBar1");
    auto* panel = new QLabel("p1");
    status->addWidget(panel);

    table->SetWords({"Dialog1",      "", "Settings",   //
                     "RadioGroup1",  "", "Mode",       //
                     "\"",           "", "Fast",       //
                     "\"",           "", "Slow",       //
                     "Memo1",        "", "first line", //
                     "PageControl1", "", "General",    //
                     "\"",           "", "Advanced",   //
                     "ComboBox1",    "", "Small",      //
                     "\"",           "", "Medium",     //
                     "\"",           "", "Large",      //
                     "Edit1",        "", "typed",      //
                     "Menu1",        "", "File",       //
                     "StatusBar1",   "", "Ready",      //
                     "\"",           "", "Panel"});
    table->SetActiveLanguage(1);

    EXPECT_EQ(dialog->windowTitle(), "Settings");
    EXPECT_EQ(radios->title(), "Mode");
    EXPECT_EQ(r1->text(), "Fast");
    EXPECT_EQ(r2->text(), "Slow");
    EXPECT_EQ(memo->toPlainText(), "first line\n");
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Advanced");
    EXPECT_EQ(combo->itemText(0), "Small");
    EXPECT_EQ(combo->itemText(2), "Large");
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(edit->text(), "typed");
    EXPECT_EQ(menu->title(), "File");
    EXPECT_EQ(status->currentMessage(), "Ready");
    EXPECT_EQ(panel->text(), "Panel");
}

TEST_F(Switching, TreesTablesAndHeadersTakeTheirTexts) {
    auto* tree = Add<QTreeWidget>("TreeView1");
    tree->setSortingEnabled(true);
    tree->sortByColumn(0, Qt::AscendingOrder);
    auto* root = new QTreeWidgetItem(tree, QStringList{"a"});
    new QTreeWidgetItem(root, QStringList{"a1"});
    new QTreeWidgetItem(tree, QStringList{"b"});
    auto* grid = Add<QTableWidget>("ListView1");
    grid->setColumnCount(2);
    grid->setRowCount(1);
    auto* other = Add<QTableWidget>("Other");
    other->setColumnCount(3);
    other->horizontalHeader()->setObjectName("Header1");

    table->SetWords({"TreeView1", "", "zeta",    //
                     "\"",        "", "child",   //
                     "\"",        "", "alpha",   //
                     "ListView1", "", "Name",    //
                     "\"",        "", "Size",    //
                     "\"",        "", "pic.jpg", //
                     "\"",        "", "12 KB",   //
                     "Header1",   "", "H1",      //
                     "\"",        "", "H2"});
    table->SetActiveLanguage(1);

    // Nodes take texts in pre-order; sorting resumes afterwards.
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_TRUE(tree->isSortingEnabled());
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "alpha");
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "zeta");
    EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), "child");

    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Name");
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Size");
    EXPECT_EQ(grid->item(0, 0)->text(), "pic.jpg");
    EXPECT_EQ(grid->item(0, 1)->text(), "12 KB");

    const auto header = [other](int k) {
        return other->model()->headerData(k, Qt::Horizontal).toString();
    };
    EXPECT_EQ(header(0), "H1");
    EXPECT_EQ(header(1), "H2");
    EXPECT_EQ(header(2), "");
}

TEST(GlobalLanguage, SkipsSmallerTablesSilentlyAndStillBecomesGlobal) {
    ScopedFakeDialogs dialogs;
    ASSERT_TRUE(RegisteredWordTables().empty());
    QWidget small;
    QWidget large;
    auto* smallLabel = new QLabel(&small);
    smallLabel->setObjectName("Label1");
    auto* largeLabel = new QLabel(&large);
    largeLabel->setObjectName("Label1");
    auto* two = new TMultiLang(&small);
    auto* three = new TMultiLang(&large);
    three->SetLanguages(3);
    two->SetWords({"Label1", "un", "one"});
    three->SetWords({"Label1", "un", "one", "ein"});
    EXPECT_EQ(RegisteredWordTables(), (std::vector<TBaseMultiLang*>{two, three}));

    std::vector<TBaseMultiLang*> order;
    two->AfterLanguageChanged = [&](TBaseMultiLang* s, std::uint8_t) { order.push_back(s); };
    three->AfterLanguageChanged = [&](TBaseMultiLang* s, std::uint8_t) { order.push_back(s); };
    SetGlobalLanguage(1);
    EXPECT_EQ(order, (std::vector<TBaseMultiLang*>{two, three}));
    EXPECT_EQ(smallLabel->text(), "one");

    SetGlobalLanguage(2);
    EXPECT_TRUE(dialogs->boxes.empty());
    EXPECT_EQ(GlobalLanguage(), 2);
    EXPECT_EQ(two->ActiveLanguage(), 1);
    EXPECT_EQ(smallLabel->text(), "one");
    EXPECT_EQ(three->ActiveLanguage(), 2);
    EXPECT_EQ(largeLabel->text(), "ein");

    // A window built now takes the global language at the end of its loading.
    QWidget later;
    auto* laterLabel = new QLabel(&later);
    laterLabel->setObjectName("Label1");
    auto* laterTable = new TMultiLang(&later);
    laterTable->SetLanguages(3);
    laterTable->SetWords({"Label1", "un", "one", "ein"});
    CallLoaded(&later);
    EXPECT_EQ(laterLabel->text(), "ein");

    delete two;
    EXPECT_EQ(RegisteredWordTables().size(), 2u);
    SetGlobalLanguage(0);
}

} // namespace
