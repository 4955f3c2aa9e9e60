#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace pelisto {

// At most this many pictures come from one folder added: a mistaken choice (the home folder, a
// whole disk) stops there instead of reading every file below it.
inline constexpr int kMaxFolderPictures = 10000;

struct FolderPictures {
    std::vector<QByteArray> files; // absolute names, in bytes (Qt cannot hold every name)
    int skipped = 0;               // hidden entries and files of a type not read
    bool capped = false;           // the walk stopped at the limit
};

// The pictures of a folder, read by the bytes of their names: each folder's files in natural
// name order, then its subfolders (when asked) in the same order, each with everything below it.
// Names starting with a dot are hidden and skipped; links to folders are not followed, so a
// loop of links cannot make the walk endless. `isPicture` tells by the name whether the tool
// reads that type.
FolderPictures PicturesInFolder(const QByteArray& folder, bool subfolders,
                                const std::function<bool(const QString&)>& isPicture,
                                int limit = kMaxFolderPictures);

} // namespace pelisto
