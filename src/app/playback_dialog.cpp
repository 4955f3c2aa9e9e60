#include "app/playback_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace pelisto {

PlaybackDialog::PlaybackDialog(QWidget* parent, const std::function<QString(const char*)>& word,
                               const PlayOptions& play, CaptionKind caption)
    : QDialog(parent) {
    setObjectName(QStringLiteral("PlaybackDialog"));
    setWindowTitle(word("@151"));
    auto* form = new QFormLayout(this);
    Shuffle = new QCheckBox(word("@152"), this);
    Shuffle->setChecked(play.shuffle);
    form->addRow(Shuffle);

    AtEnd = new QComboBox(this);
    AtEnd->addItems({word("@154"), word("@155")});
    AtEnd->setCurrentIndex(play.stopAtEnd ? 1 : 0);
    form->addRow(word("@153"), AtEnd);

    Crossfade = new QComboBox(this);
    Crossfade->addItems({word("@157"), word("@158"), word("@159"), word("@160")});
    // A duration the window does not offer (from an older choice) shows as the nearest one.
    const auto nearest = std::min_element(
        std::begin(kWindowCrossfades), std::end(kWindowCrossfades), [&](int a, int b) {
            return std::abs(a - play.crossfadeMs) < std::abs(b - play.crossfadeMs);
        });
    Crossfade->setCurrentIndex(static_cast<int>(nearest - std::begin(kWindowCrossfades)));
    form->addRow(word("@156"), Crossfade);

    CaptionChoice = new QComboBox(this);
    CaptionChoice->addItems({word("@162"), word("@163"), word("@164"), word("@165")});
    CaptionChoice->setCurrentIndex(static_cast<int>(caption));
    form->addRow(word("@161"), CaptionChoice);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

PlayOptions PlaybackDialog::Play() const {
    PlayOptions play;
    play.shuffle = Shuffle->isChecked();
    play.stopAtEnd = AtEnd->currentIndex() == 1;
    play.crossfadeMs =
        static_cast<std::uint16_t>(kWindowCrossfades[std::clamp(Crossfade->currentIndex(), 0, 3)]);
    return play;
}

CaptionKind PlaybackDialog::Caption() const {
    return static_cast<CaptionKind>(std::clamp(CaptionChoice->currentIndex(), 0, 3));
}

} // namespace pelisto
