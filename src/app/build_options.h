#pragma once

#include "app/picture_order.h"
#include "app/captions.h"
#include "app/slideshow_builder.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace pelisto::build {

// What the command line asks for. Names stay in their bytes, as the system gave them.
struct BuildOptions {
    QByteArray output;
    long quality = 75;
    long delay = 10;
    long jobs = 0; // pictures converted at once; 0: one per core
    bool automatic = false;
    int fitWidth = 0; // pictures larger than this box are fitted into it; 0 x 0: own size
    int fitHeight = 0;
    std::optional<SlideshowTarget> target;
    PlayOptions play;
    CaptionKind caption = CaptionKind::None;
    QByteArray captionFile; // one line of text per picture, with CaptionKind::OwnText
    std::vector<QByteArray> pictures;
    std::optional<PictureOrder> sort; // the pictures' order; nothing: as given
    // Signing a Windows program: the PKCS#12 certificate, a file holding its password, a
    // time-stamping service.
    QByteArray signCertificate;
    QByteArray signPasswordFile;
    QByteArray timestampUrl;
};

// The options, or the exit status when the command line is answered or refused here (help,
// usage and errors are printed).
struct ParsedCommandLine {
    std::optional<BuildOptions> options;
    int exitStatus = 0;
};

// Reads the arguments after the program name. "--" ends the options: every argument after it
// is a picture, even one that starts with "-".
ParsedCommandLine ParseCommandLine(const std::vector<QByteArray>& args);

} // namespace pelisto::build
