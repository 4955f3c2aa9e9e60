#pragma once

#include <QString>

namespace pelisto {

// Case folding of the letters A to Z alone: extensions and component names are compared this
// way, whatever other letters they hold.
QString AsciiUpper(const QString& text);
QString AsciiLower(const QString& text);
bool AsciiSameIgnoringCase(const QString& a, const QString& b);

} // namespace pelisto
