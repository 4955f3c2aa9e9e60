#include "language/main_window_words.h"
#include "language/multi_lang.h"

#include "framework/common_dialogs.h"
#include "framework/system.h"
#include "support/fake_dialogs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace pelisto;

namespace {

// The main window's components that the table names, with their kinds, and a few it does not.
struct FakeMainWindow {
    QWidget form;
    QPushButton* button[5] = {};
    QListWidget* listBox1;
    QGroupBox* groupBox1;
    QGroupBox* groupBox2;
    QScrollBar* scrollBar1;
    QLabel* label1;
    QLabel* label2;
    QLabel* label3;
    QLabel* label5;
    QCheckBox* checkBox1;
    TOpenDialog* openDialog1;
    TSaveDialog* saveDialog1;
    QMenu* popupMenu1;
    QAction* effacer1;
    QAction* effacertout1;
    QMenu* rotation1;
    QAction* n90horaire1;
    QAction* n90antihoraire1;
    QAction* n1801;
    TMultiLang* multiLang1;

    template <typename T, typename P> static T* Make(P* parent, const char* name) {
        auto* object = new T(parent);
        object->setObjectName(QString::fromLatin1(name));
        return object;
    }
    static QAction* Item(QMenu* menu, const char* name, const QString& text) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    }

    FakeMainWindow() {
        form.setObjectName("Form1");
        QFont font = form.font();
        font.setFamily("MS Sans Serif");
        form.setFont(font);
        button[1] = Make<QPushButton>(&form, "Button1");
        listBox1 = Make<QListWidget>(&form, "ListBox1");
        button[4] = Make<QPushButton>(&form, "Button4");
        button[2] = Make<QPushButton>(&form, "Button2");
        button[3] = Make<QPushButton>(&form, "Button3");
        for (int k = 1; k <= 4; ++k) {
            QFont arial = button[k]->font();
            arial.setFamily("Arial");
            button[k]->setFont(arial);
        }
        groupBox1 = Make<QGroupBox>(&form, "GroupBox1");
        scrollBar1 = Make<QScrollBar>(groupBox1, "ScrollBar1");
        label1 = Make<QLabel>(groupBox1, "Label1");
        label1->setText("1");
        groupBox2 = Make<QGroupBox>(&form, "GroupBox2");
        checkBox1 = Make<QCheckBox>(groupBox2, "CheckBox1");
        label2 = Make<QLabel>(groupBox2, "Label2");
        label3 = Make<QLabel>(groupBox2, "Label3");
        label5 = Make<QLabel>(&form, "Label5");
        openDialog1 = Make<TOpenDialog>(&form, "OpenDialog1");
        saveDialog1 = Make<TSaveDialog>(&form, "SaveDialog1");
        popupMenu1 = Make<QMenu>(&form, "PopupMenu1");
        effacer1 = Item(popupMenu1, "Effacer1", "x");
        effacertout1 = Item(popupMenu1, "Effacertout1", "x");
        popupMenu1->addSeparator()->setObjectName("N1");
        rotation1 = Make<QMenu>(popupMenu1, "Rotation1");
        rotation1->setTitle("Rotation");
        popupMenu1->addMenu(rotation1);
        n90horaire1 = Item(rotation1, "N90horaire1", "x");
        n90antihoraire1 = Item(rotation1, "N90antihoraire1", "x");
        n1801 = Item(rotation1, "N1801", QStringLiteral("180°"));

        // As the window's description sets the table up: the active language is stored before
        // the words, so that first switch only fills the font lines.
        multiLang1 = Make<TMultiLang>(&form, "MultiLang1");
        multiLang1->SetActiveLanguage(1);
        multiLang1->SetWords(MainWindowWords());
        multiLang1->SetCharSets(MainWindowCharSets());
    }
};

TEST(MainWindowWords, HoldsTheOriginalRecordsInStoredOrderThenTheNewOnes) {
    const QStringList words = MainWindowWords();
    ASSERT_EQ(words.size(), 252);
    QStringList keys;
    for (int r = 0; r < 84; ++r) {
        keys << words[r * 3];
    }
    EXPECT_EQ(keys, (QStringList{"Label5",       "Button1",     "\".Hint",
                                 "ListBox1",     "\".Hint",     "Button2",
                                 "Button3",      "Button4",     "GroupBox1",
                                 "ScrollBar1",   "\".Hint",     "GroupBox2",
                                 "Label2",       "Label3",      "CheckBox1",
                                 "SaveDialog1",  "\"",          "Effacer1",
                                 "Effacertout1", "N90horaire1", "N90antihoraire1",
                                 "OpenDialog1",  "\"",          "@100",
                                 "@101",         "@102",        "@103",
                                 "@105",         "@104",        "@106",
                                 "@107",         "@108",        "@109",
                                 "@110",         "@111",        "@112",
                                 "@113",         "@114",        "@115",
                                 "@116",         "@117",        "@118",
                                 "@119",         "@120",        "@121",
                                 "@122",         "@123",        "@124",
                                 "@125",         "@126",        "@130",
                                 "@131",         "@132",        "@133",
                                 "@134",         "@135",        "@136",
                                 "@140",         "@141",        "@142",
                                 "@143",         "@144",        "@145",
                                 "@146",         "@147",        "@150",
                                 "@151",         "@152",        "@153",
                                 "@154",         "@155",        "@156",
                                 "@157",         "@158",        "@159",
                                 "@160",         "@161",        "@162",
                                 "@163",         "@164",        "@165",
                                 "@166",         "@167",        "@170"}));
    EXPECT_EQ(MainWindowCharSets(), (QStringList{"MS Sans Serif,1", "MS Sans Serif,1"}));
}

TEST(MainWindowWords, MessagesInBothLanguages) {
    FakeMainWindow w;
    TMultiLang& t = *w.multiLang1;
    t.SetActiveLanguage(0);
    EXPECT_EQ(t.LookupWord("@100"), "Voulez-vous vraiment effacer toute la liste ?");
    EXPECT_EQ(
        t.LookupWord("@101"),
        QStringLiteral(" introuvable. TheExe.exe DOIT se trouver dans le même répertoire que "));
    EXPECT_EQ(t.LookupWord("@103"), QStringLiteral("Impossible d''enregistrer l'image modifiée."));
    EXPECT_EQ(t.LookupWord("@104"), "seconde");
    EXPECT_EQ(t.LookupWord("@106"), "Programme Linux (*.run)|*.run");
    EXPECT_EQ(
        t.LookupWord("@107"),
        QStringLiteral(" introuvable. TheExe.run DOIT se trouver dans le même répertoire que "));
    EXPECT_EQ(t.LookupWord("@108"), "Enregistrement du diaporama");
    EXPECT_EQ(t.LookupWord("@109").arg(2).arg(9).arg("a.png"), "Image 2 sur 9 : a.png");
    EXPECT_EQ(t.LookupWord("@110"), "Annuler");
    EXPECT_EQ(t.LookupWord("@111").arg("show.exe", "120"),
              QStringLiteral("Enregistré : show.exe (120 Ko)"));
    EXPECT_EQ(t.LookupWord("@112"), "Page web (*.html)|*.html");
    EXPECT_EQ(t.LookupWord("@115"), QStringLiteral("Programme signé (*.exe)|*.exe"));
    EXPECT_EQ(t.LookupWord("@119").arg("c.pfx"), "Mot de passe du certificat c.pfx :");
    EXPECT_EQ(t.LookupWord("@121"), "Taille d'origine");
    EXPECT_EQ(t.LookupWord("@124"), QStringLiteral("Petit écran (1280 x 720)"));
    EXPECT_EQ(t.LookupWord("@125").arg("x"),
              "Plus de 25 Mo : la plupart des messageries le refuseront. Tailles plus petites : x");
    EXPECT_EQ(t.LookupWord("@167").arg("a.jpg"), QStringLiteral("Légende de a.jpg :"));
    t.SetActiveLanguage(1);
    EXPECT_EQ(t.LookupWord("@100"), "Do you really want to clear all the list ?");
    EXPECT_EQ(t.LookupWord("@101"), " missing. TheExe.exe MUST be in the same folder as  ");
    EXPECT_EQ(t.LookupWord("@102"), " missing.");
    EXPECT_EQ(t.LookupWord("@103"), "Impossible to save the modified picture.");
    EXPECT_EQ(t.LookupWord("@105"), "seconds");
    EXPECT_EQ(t.LookupWord("@104"), "second");
    EXPECT_EQ(t.LookupWord("@106"), "Linux program (*.run)|*.run");
    EXPECT_EQ(t.LookupWord("@107"), " missing. TheExe.run MUST be in the same folder as  ");
    EXPECT_EQ(t.LookupWord("@108"), "Saving the slideshow");
    EXPECT_EQ(t.LookupWord("@109").arg(2).arg(9).arg("a.png"), "Picture 2 of 9: a.png");
    EXPECT_EQ(t.LookupWord("@110"), "Cancel");
    EXPECT_EQ(t.LookupWord("@111").arg("show.exe", "120"), "Saved: show.exe (120 KB)");
    EXPECT_EQ(t.LookupWord("@112"), "Web page (*.html)|*.html");
    EXPECT_EQ(t.LookupWord("@115"), "Signed program (*.exe)|*.exe");
    EXPECT_EQ(t.LookupWord("@119").arg("c.pfx"), "Password of the certificate c.pfx:");
    // pelisto-build has no window: its lookup gives the same texts.
    for (const char* id : {"@112", "@113", "@114", "@122", "@125", "@126", "@999"}) {
        EXPECT_EQ(MainWindowWord(id, 1), t.LookupWord(id)) << id;
    }
}

TEST(MainWindowWords, StartUpAppliesFrenchThenEnglish) {
    pelisto::testing::ScopedFakeDialogs dialogs;
    ASSERT_TRUE(RegisteredWordTables().empty());
    SetGlobalLanguage(0);
    FakeMainWindow w;
    EXPECT_EQ(w.multiLang1->CharSets(), MainWindowCharSets());

    CallLoaded(&w.form);
    EXPECT_EQ(w.multiLang1->ActiveLanguage(), 0);
    EXPECT_EQ(w.label5->text(), QStringLiteral("Réalisé par l'équipe Pelisto"));
    EXPECT_EQ(w.button[1]->text(), "1 - Choix des images du pelisto");
    EXPECT_EQ(w.button[1]->toolTip(), QStringLiteral("(éventuellement en plusieurs fois...)"));
    EXPECT_EQ(w.listBox1->toolTip(),
              QStringLiteral("Il est possible de \"Glisser/Déposer\" des fichiers\r\ndirectement "
                             "sur cette liste depuis l'explorateur\r\nou le bureau.\r\nOn peut "
                             "aussi changer de place les éléments de la liste."));
    EXPECT_EQ(w.groupBox1->title(), QStringLiteral("Qualité des images"));
    EXPECT_EQ(w.label2->text(), "Temporisation :");
    EXPECT_EQ(w.saveDialog1->Filter(), "Programme (*.exe)|*.exe");
    EXPECT_EQ(w.openDialog1->Title(), "Choix des images (utiliser touches Ctrl ou Maj)");
    EXPECT_EQ(w.n90antihoraire1->text(), QStringLiteral("90° antihoraire"));

    SetGlobalLanguage(1);
    EXPECT_EQ(GlobalLanguage(), 1);
    EXPECT_EQ(w.label5->text(), "Made by the Pelisto team");
    EXPECT_EQ(w.button[1]->text(), "1 - Choose pictures for pelisto");
    EXPECT_EQ(w.button[1]->toolTip(), "(you can do this the number of times you want)");
    EXPECT_EQ(w.button[2]->text(), "3 - Save the final EXE file");
    EXPECT_EQ(w.button[3]->text(), "4 - Exit");
    EXPECT_EQ(w.button[4]->text(), "2 - Test the result");
    EXPECT_EQ(w.listBox1->count(), 0);
    EXPECT_EQ(w.listBox1->toolTip(), "You can drag & drop files from explorer or desktop.\r\n"
                                     "It is also possible to move items in the list.");
    EXPECT_EQ(w.groupBox1->title(), "Pictures quality");
    EXPECT_EQ(w.scrollBar1->toolTip(),
              "Low the quality of pictures (increase the compression) in order to low the size "
              "of the final EXE file.");
    EXPECT_EQ(w.groupBox2->title(), "Automatic slideshow");
    EXPECT_EQ(w.label2->text(), "Duration : ");
    EXPECT_EQ(w.label3->text(), "seconds");
    EXPECT_EQ(w.checkBox1->text(), "Use automatic slideshow");
    EXPECT_EQ(w.saveDialog1->Title(),
              "Give the final EXE final a name and choose where to save it");
    EXPECT_EQ(w.saveDialog1->Filter(), "Program (*.exe)|*.exe");
    EXPECT_EQ(w.openDialog1->Title(), "Choose the pictures (use Ctrl or Shift keys)");
    EXPECT_EQ(w.openDialog1->Filter(),
              "All pictures|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;*.jfif;"
              "*.png;*.pcd;*.tga|All files|*");
    EXPECT_EQ(w.effacer1->text(), "Remove selected file from list");
    EXPECT_EQ(w.effacertout1->text(), "Clear the list");
    EXPECT_EQ(w.n90horaire1->text(), QStringLiteral("90° CW"));
    EXPECT_EQ(w.n90antihoraire1->text(), QStringLiteral("90° ACW"));

    // Components without a record keep their own texts, and the font stays the window's.
    EXPECT_EQ(w.rotation1->title(), "Rotation");
    EXPECT_EQ(w.n1801->text(), QStringLiteral("180°"));
    EXPECT_EQ(w.label1->text(), "1");
    EXPECT_EQ(w.form.font().family(), "MS Sans Serif");
    EXPECT_EQ(w.button[1]->font().family(), "Arial");
    EXPECT_EQ(w.multiLang1->CharSets(), MainWindowCharSets());
    EXPECT_TRUE(dialogs->boxes.empty());
    SetGlobalLanguage(0);
}

} // namespace
