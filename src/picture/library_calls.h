#pragma once

// Helpers shared by the picture control's loading, turning and saving: extension folding, file
// names for the codec library and its status calls under the fault guard.

#include "picture/call_guard.h"
#include "picture/codec_library.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>

namespace pelisto::picture_calls {

inline QString UpperExtension(const QString& name) {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    if (dot < 0 || dot < slash) {
        return {};
    }
    // Only A..Z are folded, as the tool compares extensions everywhere.
    QString ext = name.mid(dot);
    for (QChar& c : ext) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) {
            c = QChar(c.unicode() - 32);
        }
    }
    return ext;
}

inline QByteArray NativeName(const QString& name) {
    return QFile::encodeName(name);
}

// Status calls of the main library under the fault guard; a fault counts as status 0.
template <typename Fn, typename Call> std::int16_t CallStatus(const char* entry, Call&& call) {
    auto fn = reinterpret_cast<Fn>(CodecLibrary::Get(CodecLibrary::Main).Entry(entry));
    if (fn == nullptr) {
        return 0;
    }
    std::int16_t status = 0;
    if (!CallGuarded([&] { status = call(fn); })) {
        return 0;
    }
    NoteLibraryStatus(status);
    return status;
}

} // namespace pelisto::picture_calls
