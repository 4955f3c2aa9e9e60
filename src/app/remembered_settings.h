#pragma once

#include <QString>

namespace pelisto {

// What the main window keeps between runs, in the user's configuration folder
// (pelisto-maker/pelisto-maker.conf). The defaults are the window's start-up values.
struct RememberedSettings {
    QString picturesFolder;  // where the pictures were last chosen
    QString slideshowFolder; // where the last slideshow was saved
    int quality = 75;        // 1..100
    bool automatic = false;
    double delaySeconds = 10;   // 1..65535
    int slideshowType = 1;      // save dialog type: 1 Windows, 2 Linux, 3 page, 4 signed, 5 video
    QString signingCertificate; // the code-signing certificate; its password is never kept
    int pictureSize = 0;        // index of the picture size choice: 0 the pictures' own size
    bool includeSubfolders = true; // a folder added brings its subfolders' pictures too
    bool shuffle = false;          // the playback options
    bool stopAtEnd = false;
    int crossfadeMs = 0; // 0..5000
    int caption = 0;     // CaptionKind: none, file name, date taken, own text
};

// A stored value that is missing or out of range gives the default in its place.
RememberedSettings LoadRememberedSettings();
void StoreRememberedSettings(const RememberedSettings& settings);

} // namespace pelisto
