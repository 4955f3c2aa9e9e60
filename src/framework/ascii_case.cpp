#include "framework/ascii_case.h"

namespace pelisto {

namespace {
QString Shift(const QString& text, char from, char to) {
    QString out = text;
    for (QChar& c : out) {
        if (c >= QLatin1Char(from) && c <= QLatin1Char(static_cast<char>(from + 25))) {
            c = QChar(c.unicode() - from + to);
        }
    }
    return out;
}
} // namespace

QString AsciiUpper(const QString& text) {
    return Shift(text, 'a', 'A');
}

QString AsciiLower(const QString& text) {
    return Shift(text, 'A', 'a');
}

bool AsciiSameIgnoringCase(const QString& a, const QString& b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

} // namespace pelisto
