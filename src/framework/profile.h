#pragma once

#include <QString>

namespace pelisto {

// Writes one entry of an ini file, creating the file and the section as needed and keeping
// every other line as it was. Returns false when the file cannot be written.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& fileName);

// The user's configuration folder (XDG), where the tool's profile files live; trailing
// delimiter included.
QString UserConfigFolder();

} // namespace pelisto
