#pragma once

#include "app/captions.h"
#include "slideshow/play_options.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;

namespace pelisto {

// The crossfades the window offers, in milliseconds; 0 is a plain cut.
inline constexpr int kWindowCrossfades[] = {0, 500, 1000, 2000};

// The window's small dialog for the playback options: shuffle, what happens at the end, the
// crossfade and the caption. Its texts come from the word table through `word`.
class PlaybackDialog : public QDialog {
    Q_OBJECT

public:
    PlaybackDialog(QWidget* parent, const std::function<QString(const char*)>& word,
                   const PlayOptions& play, CaptionKind caption);

    PlayOptions Play() const;
    CaptionKind Caption() const;

    QCheckBox* Shuffle = nullptr;
    QComboBox* AtEnd = nullptr;
    QComboBox* Crossfade = nullptr;
    QComboBox* CaptionChoice = nullptr;
};

} // namespace pelisto
