#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace pelisto {

// The JPEG file's picture turned by quarter turns anticlockwise (1, 2 or 3) from the way it is
// shown (its EXIF orientation applied), without decoding it: the compressed blocks are moved
// as they are, so nothing of the picture's quality is lost, and every marker (EXIF, ICC
// profile, comments) is kept, with the orientation set to upright. Nothing when the picture's
// size does not allow a perfect turn (partial blocks at an edge that would have to move) or the
// data is not a sound JPEG.
std::optional<QByteArray> TurnJpegLosslessly(const QByteArray& jpeg, int quarterTurns);

enum class LosslessTurn { Written, NotPossible, WriteFailed };

// Turns the JPEG file at path in place the same way; the file is written beside and moved over
// the old one only when complete.
LosslessTurn TurnJpegFileLosslessly(const QString& path, int quarterTurns);

} // namespace pelisto
