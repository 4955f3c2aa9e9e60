#pragma once

// What a JPEG file carries besides its picture, kept when a turned photo has to be encoded
// again: the metadata segments (EXIF with date, camera and location, the ICC profile, XMP,
// comments) and the quality it was saved at.

#include <QByteArray>

namespace pelisto {

// The APP1..APP13, APP15 and COM segments of a JPEG file, markers included, in file order.
// Adobe's APP14 stays behind: it describes the colour transform of the old encoding, not the new.
QByteArray JpegMetadataSegments(const QByteArray& jpeg);

// The encoded file with the segments placed after its own JFIF header (or its start), and the
// EXIF orientation set to upright, as the new pixels lie. Empty when the file is not a JPEG.
QByteArray WithMetadataSegments(const QByteArray& encoded, const QByteArray& segments);

// The quality 1..100 whose scaled standard luminance table comes closest to the file's; 0 when
// the file has no such table.
int EstimateJpegQuality(const QByteArray& jpeg);

} // namespace pelisto
