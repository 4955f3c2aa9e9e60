#pragma once

#include <QByteArray>
#include <QString>

namespace pelisto {

// A JPEG turned by quarter turns anticlockwise (negative: clockwise) from the way it is shown,
// without decoding a pixel. When the picture's size allows a perfect transform, the compressed
// blocks move (stored orientation and turn in one operation) and the orientation becomes
// upright; otherwise the blocks stay and the turn goes into the EXIF orientation, combined with
// the stored one. Every other marker is kept either way.
struct TurnedJpeg {
    QByteArray data; // empty when the turn cannot be made
    QString error;   // why not, then
    bool blocksMoved = false;
};

// The size the header claims is checked against the picture limit and against the bytes the
// file holds before anything is allocated for it.
TurnedJpeg TurnJpeg(const QByteArray& jpeg, int quarterTurns);

} // namespace pelisto
