#include "language/main_window_words.h"

namespace pelisto {

QStringList MainWindowWords() {
    // Key, French, English. A key "\"" continues the component before it; "\".Hint" is its hint;
    // "@nnn" keys are messages.
    return {
        QStringLiteral("Label5"),
        QStringLiteral("Réalisé par l'équipe Pelisto"),
        QStringLiteral("Made by the Pelisto team"),

        QStringLiteral("Button1"),
        QStringLiteral("1 - Choix des images du pelisto"),
        QStringLiteral("1 - Choose pictures for pelisto"),

        QStringLiteral("\".Hint"),
        QStringLiteral("(éventuellement en plusieurs fois...)"),
        QStringLiteral("(you can do this the number of times you want)"),

        QStringLiteral("ListBox1"),
        QString(),
        QString(),

        QStringLiteral("\".Hint"),
        QStringLiteral("Il est possible de \"Glisser/Déposer\" des fichiers\r\n"
                       "directement sur cette liste depuis l'explorateur\r\n"
                       "ou le bureau.\r\n"
                       "On peut aussi changer de place les éléments de la liste."),
        QStringLiteral("You can drag & drop files from explorer or desktop.\r\n"
                       "It is also possible to move items in the list."),

        QStringLiteral("Button2"),
        QStringLiteral("3 - Enregistrement de l'exe final"),
        QStringLiteral("3 - Save the final EXE file"),

        QStringLiteral("Button3"),
        QStringLiteral("4 - Quitter"),
        QStringLiteral("4 - Exit"),

        QStringLiteral("Button4"),
        QStringLiteral("2 - Test du résultat final"),
        QStringLiteral("2 - Test the result"),

        QStringLiteral("GroupBox1"),
        QStringLiteral("Qualité des images"),
        QStringLiteral("Pictures quality"),

        QStringLiteral("ScrollBar1"),
        QString(),
        QString(),

        QStringLiteral("\".Hint"),
        QStringLiteral("Plus vous diminuez la qualité des images,\r\n"
                       "plus vous augmentez le taux de compression,\r\n"
                       "et donc plus vous diminuez la taille de l'exe final"),
        QStringLiteral("Low the quality of pictures (increase the compression) in order to low "
                       "the size of the final EXE file."),

        QStringLiteral("GroupBox2"),
        QStringLiteral("Défilement automatique"),
        QStringLiteral("Automatic slideshow"),

        QStringLiteral("Label2"),
        QStringLiteral("Temporisation :"),
        QStringLiteral("Duration : "),

        QStringLiteral("Label3"),
        QStringLiteral("secondes"),
        QStringLiteral("seconds"),

        QStringLiteral("CheckBox1"),
        QStringLiteral("Utiliser le défilement automatique"),
        QStringLiteral("Use automatic slideshow"),

        QStringLiteral("SaveDialog1"),
        QStringLiteral("Donner un nom à l'exe final et choisir un endroit où l'enregistrer"),
        QStringLiteral("Give the final EXE final a name and choose where to save it"),

        QStringLiteral("\""),
        QStringLiteral("Programme (*.exe)|*.exe"),
        QStringLiteral("Program (*.exe)|*.exe"),

        QStringLiteral("Effacer1"),
        QStringLiteral("Effacer le fichier sélectionné de la liste"),
        QStringLiteral("Remove selected file from list"),

        QStringLiteral("Effacertout1"),
        QStringLiteral("Effacer toute la liste"),
        QStringLiteral("Clear the list"),

        QStringLiteral("N90horaire1"),
        QStringLiteral("90° horaire"),
        QStringLiteral("90° CW"),

        QStringLiteral("N90antihoraire1"),
        QStringLiteral("90° antihoraire"),
        QStringLiteral("90° ACW"),

        QStringLiteral("OpenDialog1"),
        QStringLiteral("Choix des images (utiliser touches Ctrl ou Maj)"),
        QStringLiteral("Choose the pictures (use Ctrl or Shift keys)"),

        QStringLiteral("\""),
        // Every extension the tool reads, then every file.
        QStringLiteral(
            "Toutes images|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;"
            "*.jfif;*.png;*.pcd;*.tga|Tous les fichiers|*"),
        QStringLiteral("All pictures|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;"
                       "*.jfif;*.png;*.pcd;*.tga|All files|*"),

        QStringLiteral("@100"),
        QStringLiteral("Voulez-vous vraiment effacer toute la liste ?"),
        QStringLiteral("Do you really want to clear all the list ?"),

        QStringLiteral("@101"),
        QStringLiteral(" introuvable. TheExe.exe DOIT se trouver dans le même répertoire que "),
        QStringLiteral(" missing. TheExe.exe MUST be in the same folder as  "),

        QStringLiteral("@102"),
        QStringLiteral(" introuvable."),
        QStringLiteral(" missing."),

        QStringLiteral("@103"),
        QStringLiteral("Impossible d''enregistrer l'image modifiée."),
        QStringLiteral("Impossible to save the modified picture."),

        QStringLiteral("@105"),
        QStringLiteral("secondes"),
        QStringLiteral("seconds"),

        QStringLiteral("@104"),
        QStringLiteral("seconde"),
        QStringLiteral("second"),

        // Added after the original records: the save dialog's second file type (the Linux
        // stub) and the message for that stub when it is missing.
        QStringLiteral("@106"),
        QStringLiteral("Programme Linux (*.run)|*.run"),
        QStringLiteral("Linux program (*.run)|*.run"),

        QStringLiteral("@107"),
        QStringLiteral(" introuvable. TheExe.run DOIT se trouver dans le même répertoire que "),
        QStringLiteral(" missing. TheExe.run MUST be in the same folder as  "),

        // Added after those: the save's progress dialog (its title, its line for picture %1 of
        // %2 named %3, its button) and the status line that tells the file saved and its size.
        QStringLiteral("@108"),
        QStringLiteral("Enregistrement du diaporama"),
        QStringLiteral("Saving the slideshow"),

        QStringLiteral("@109"),
        QStringLiteral("Image %1 sur %2 : %3"),
        QStringLiteral("Picture %1 of %2: %3"),

        QStringLiteral("@110"),
        QStringLiteral("Annuler"),
        QStringLiteral("Cancel"),

        QStringLiteral("@111"),
        QStringLiteral("Enregistré : %1 (%2 Ko)"),
        QStringLiteral("Saved: %1 (%2 KB)"),

        // Added after those: the save dialog's third file type (the web page) and the page's
        // hint, one line for the keys and one for the gestures.
        QStringLiteral("@112"),
        QStringLiteral("Page web (*.html)|*.html"),
        QStringLiteral("Web page (*.html)|*.html"),

        QStringLiteral("@113"),
        QString::fromUtf8("Espace, → ou un clic : suivante · Retour arrière ou ← : précédente · "
                          "+ − * : zoom · F : plein écran"),
        QString::fromUtf8("Space, → or a click: next · Backspace or ←: previous · + − *: zoom · "
                          "F: full screen"),

        QStringLiteral("@114"),
        QString::fromUtf8("Toucher à droite ou glisser vers la gauche : suivante · toucher à "
                          "gauche ou glisser vers la droite : précédente"),
        QString::fromUtf8("Tap on the right or swipe left: next · tap on the left or swipe "
                          "right: previous"),

        // Added after those: the save dialog's fourth file type (the signed Windows program),
        // the certificate's open dialog (title, file type) and the password dialog (title,
        // line naming the certificate %1, button for another certificate).
        QStringLiteral("@115"),
        QStringLiteral("Programme signé (*.exe)|*.exe"),
        QStringLiteral("Signed program (*.exe)|*.exe"),

        QStringLiteral("@116"),
        QStringLiteral("Choix du certificat de signature de code"),
        QStringLiteral("Choose the code-signing certificate"),

        QStringLiteral("@117"),
        QStringLiteral("Certificats PKCS#12 (*.pfx;*.p12)|*.pfx;*.p12"),
        QStringLiteral("PKCS#12 certificates (*.pfx;*.p12)|*.pfx;*.p12"),

        QStringLiteral("@118"),
        QStringLiteral("Signature du programme"),
        QStringLiteral("Signing the program"),

        QStringLiteral("@119"),
        QStringLiteral("Mot de passe du certificat %1 :"),
        QStringLiteral("Password of the certificate %1:"),

        QStringLiteral("@120"),
        QString::fromUtf8("Autre certificat…"),
        QString::fromUtf8("Other certificate…"),

        // Added after those (from @121): the picture size choices beside the quality, and the
        // warning after a save too large for mail, with the smaller sizes it names.
        QStringLiteral("@121"),
        QStringLiteral("Taille d'origine"),
        QStringLiteral("Original size"),

        QStringLiteral("@122"),
        QStringLiteral("Écran 4K (3840 x 2160)"),
        QStringLiteral("4K screen (3840 x 2160)"),

        QStringLiteral("@123"),
        QStringLiteral("Écran Full HD (1920 x 1080)"),
        QStringLiteral("Full HD screen (1920 x 1080)"),

        QStringLiteral("@124"),
        QStringLiteral("Petit écran (1280 x 720)"),
        QStringLiteral("Small screen (1280 x 720)"),

        QStringLiteral("@125"),
        QStringLiteral("Plus de 25 Mo : la plupart des messageries le refuseront. Tailles plus "
                       "petites : %1"),
        QStringLiteral("Over 25 MB: most mail services will refuse it. Smaller sizes: %1"),

        QStringLiteral("@126"),
        QStringLiteral("Plus de 25 Mo : la plupart des messageries le refuseront."),
        QStringLiteral("Over 25 MB: most mail services will refuse it."),

        // Added after those: the save's question when the type's extension, added to the name
        // typed, names a file that already exists.
        QStringLiteral("@130"),
        QString::fromUtf8(" existe déjà. Voulez-vous le remplacer ?"),
        QStringLiteral(" already exists. Do you want to replace it?"),

        // When no program could open the user guide: where it lies.
        QStringLiteral("@131"),
        QString::fromUtf8("Aucun programme n'a pu ouvrir le guide de l'utilisateur. Il se trouve "
                          "ici : "),
        QStringLiteral("No program could open the user guide. It is here: "),

        // Files refused when added: the message's first line, then the reasons the tool gives
        // itself.
        QStringLiteral("@132"),
        QString::fromUtf8("Ces fichiers ne sont pas des images lisibles ; ils n'ont pas été "
                          "ajoutés :"),
        QStringLiteral("These files are not pictures that can be read; they were not added:"),

        QStringLiteral("@133"),
        QString::fromUtf8("type de fichier non pris en charge"),
        QStringLiteral("file type not supported"),

        QStringLiteral("@134"),
        QString::fromUtf8("l'image n'a pas pu être lue"),
        QStringLiteral("the picture could not be read"),

        QStringLiteral("@135"),
        QString::fromUtf8("fichier introuvable"),
        QStringLiteral("file not found"),

        // The open dialog's filter with today's phone and web formats (HEIC, AVIF, WebP, JPEG
        // XL) after the record's extensions; it replaces the record's filter.
        QStringLiteral("@136"),
        QStringLiteral(
            "Toutes images|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;"
            "*.jfif;*.png;*.pcd;*.tga;*.heic;*.heif;*.avif;*.webp;*.jxl|Tous les fichiers|*"),
        QStringLiteral("All pictures|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;"
                       "*.jfif;*.png;*.pcd;*.tga;*.heic;*.heif;*.avif;*.webp;*.jxl|All files|*"),

        // The list's folder and order commands (menu entries, the folder dialog's title, the
        // one line that counts what a folder brought and skipped, the walk's limit %1).
        QStringLiteral("@140"),
        QString::fromUtf8("Ajouter un dossier…"),
        QString::fromUtf8("Add a folder…"),

        QStringLiteral("@141"),
        QString::fromUtf8("Choix d'un dossier d'images"),
        QStringLiteral("Choose a folder of pictures"),

        QStringLiteral("@142"),
        QString::fromUtf8("Avec les sous-dossiers"),
        QStringLiteral("Include subfolders"),

        QStringLiteral("@143"),
        QString::fromUtf8(
            "Images ajoutées : %1. Fichiers ignorés (pas des images, ou cachés) : %2"),
        QStringLiteral("Pictures added: %1. Files skipped (not pictures or hidden): %2"),

        QStringLiteral("@144"),
        QString::fromUtf8("Trier par nom"),
        QStringLiteral("Sort by name"),

        QStringLiteral("@145"),
        QString::fromUtf8("Trier par date de prise de vue"),
        QStringLiteral("Sort by date taken"),

        QStringLiteral("@146"),
        QString::fromUtf8("Trier par date de modification"),
        QStringLiteral("Sort by date modified"),

        QStringLiteral("@147"),
        QString::fromUtf8("Le dossier contient plus de %1 images : seules les %1 premières ont "
                          "été ajoutées."),
        QStringLiteral("The folder holds more than %1 pictures: only the first %1 were added."),

        // The playback options (from @150): the button under the list and its dialog (title,
        // shuffle, the end, the crossfade and its durations, the caption and its kinds), then
        // the list menu's entry for a picture's own caption and its question.
        QStringLiteral("@150"),
        QString::fromUtf8("Options de lecture…"),
        QString::fromUtf8("Playback options…"),

        QStringLiteral("@151"),
        QString::fromUtf8("Options de lecture"),
        QString::fromUtf8("Playback options"),

        QStringLiteral("@152"),
        QString::fromUtf8("Ordre aléatoire (nouveau à chaque lancement)"),
        QString::fromUtf8("Shuffle (a new order at each start)"),

        QStringLiteral("@153"),
        QString::fromUtf8("À la fin :"),
        QString::fromUtf8("At the end:"),

        QStringLiteral("@154"),
        QString::fromUtf8("Recommencer"),
        QString::fromUtf8("Start again"),

        QStringLiteral("@155"),
        QString::fromUtf8("S'arrêter sur la dernière image"),
        QString::fromUtf8("Stop on the last picture"),

        QStringLiteral("@156"),
        QString::fromUtf8("Fondu enchaîné :"),
        QString::fromUtf8("Crossfade:"),

        QStringLiteral("@157"),
        QString::fromUtf8("Aucun"),
        QString::fromUtf8("None"),

        QStringLiteral("@158"),
        QString::fromUtf8("0,5 s"),
        QString::fromUtf8("0.5 s"),

        QStringLiteral("@159"),
        QString::fromUtf8("1 s"),
        QString::fromUtf8("1 s"),

        QStringLiteral("@160"),
        QString::fromUtf8("2 s"),
        QString::fromUtf8("2 s"),

        QStringLiteral("@161"),
        QString::fromUtf8("Légende :"),
        QString::fromUtf8("Caption:"),

        QStringLiteral("@162"),
        QString::fromUtf8("Aucune"),
        QString::fromUtf8("None"),

        QStringLiteral("@163"),
        QString::fromUtf8("Nom du fichier"),
        QString::fromUtf8("File name"),

        QStringLiteral("@164"),
        QString::fromUtf8("Date de prise de vue"),
        QString::fromUtf8("Date taken"),

        QStringLiteral("@165"),
        QString::fromUtf8("Texte personnel (Légende… sur une image de la liste)"),
        QString::fromUtf8("Own text (Caption… on a picture in the list)"),

        QStringLiteral("@166"),
        QString::fromUtf8("Légende…"),
        QString::fromUtf8("Caption…"),

        QStringLiteral("@167"),
        QString::fromUtf8("Légende de %1 :"),
        QString::fromUtf8("Caption of %1:"),

        // The video (from @170): the save dialog's file type for it.
        QStringLiteral("@170"),
        QString::fromUtf8("Vidéo (*.mp4)|*.mp4"),
        QStringLiteral("Video (*.mp4)|*.mp4"),
    };
}

QString MainWindowWord(const QString& id, int language) {
    const QStringList words = MainWindowWords();
    for (qsizetype r = 0; r + 2 < words.size(); r += 3) {
        if (words[r] == id && (language == 0 || language == 1)) {
            return words[r + 1 + language];
        }
    }
    return id;
}

QStringList MainWindowCharSets() {
    return {QStringLiteral("MS Sans Serif,1"), QStringLiteral("MS Sans Serif,1")};
}

} // namespace pelisto
