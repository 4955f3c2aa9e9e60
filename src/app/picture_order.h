#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace pelisto {

// The orders the list can be put in.
enum class PictureOrder {
    Name,     // natural name order (IMG_2 before IMG_10)
    Taken,    // the date the photo was taken, else the file's modification time
    Modified, // the file's modification time
};

// "name", "taken" or "modified".
std::optional<PictureOrder> PictureOrderNamed(const QString& name);

// The date a JPEG photo was taken (EXIF), in local time; invalid when the file says none.
QDateTime DateTaken(const QString& file);

// The positions of the pictures in the order asked, stable. `shown` holds the names as the user
// sees them (natural order goes by them, and breaks ties of dates), `files` the names they are
// read by (the same, or links to them).
std::vector<int> OrderOfPictures(const QStringList& shown, const QStringList& files,
                                 PictureOrder order);

} // namespace pelisto
