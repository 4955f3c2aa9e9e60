#pragma once

#include <QString>

namespace pelisto {

// Where a save writes before the file is moved into place: a new file beside a regular (or
// missing) target; the target itself when it is a device or other special file. So a failed
// write leaves any old file as it was.
struct SaveTarget {
    QString finalName;
    QString writeName;
    bool direct = false;
    bool ok = false;
    QString error; // why no file could be made, when ok is false
};

// Makes the file to write beside name; ok is false when none can be made (or the target is a
// read-only file, which stays as it is).
SaveTarget PrepareTarget(const QString& name);
// Moves the written file over the target, with the old file's permissions.
bool CommitTarget(const SaveTarget& target);
// Removes the file written beside the target after a failure.
void DiscardTarget(const SaveTarget& target);

} // namespace pelisto
