#pragma once

#include <QString>

namespace pelisto {

// Turns the picture file at path by quarter turns anticlockwise (negative: clockwise) and writes
// it back over itself, losing nothing: a JPEG's blocks move or its orientation says the turn
// (TurnJpeg); PNG, GIF (every frame), BMP and PCX keep depth, transparency, palette, profiles and
// text. When the turn cannot be made, ErrorInvalid says why and nothing is written. Answers
// false when the turned picture could not be written; the file is then as it was.
bool TurnPictureFile(const QString& path, int quarterTurns);

} // namespace pelisto
