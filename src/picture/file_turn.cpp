#include "picture/file_turn.h"

#include "codeclib/codec_api.h"
#include "framework/replace_file.h"
#include "picture/codec_library.h"
#include "picture/jpeg_turn.h"
#include "picture/library_calls.h"

#include <QFile>

namespace pelisto {
namespace {

bool WriteOver(ReplaceFile& target, const QByteArray& data) {
    if (!target.ok()) {
        return false;
    }
    QFile file(target.writePath());
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   file.write(data) == data.size() && file.flush();
    file.close();
    written = written && file.error() == QFileDevice::NoError;
    return written && target.Commit();
}

} // namespace

bool TurnPictureFile(const QString& path, int quarterTurns) {
    if (picture_calls::UpperExtension(path) == QLatin1String(".JPG")) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            throw ErrorInvalid(QStringLiteral("Can't open the file: ") + file.errorString());
        }
        const TurnedJpeg turned = TurnJpeg(file.readAll(), quarterTurns);
        if (turned.data.isEmpty()) {
            throw ErrorInvalid(turned.error);
        }
        ReplaceFile target(path);
        return WriteOver(target, turned.data);
    }
    ReplaceFile target(path);
    if (!target.ok()) {
        return false;
    }
    const QByteArray source = picture_calls::NativeName(path);
    const QByteArray written = picture_calls::NativeName(target.writePath());
    const auto quarters = static_cast<std::int16_t>(quarterTurns);
    const std::int16_t status =
        picture_calls::CallStatus<plturnfile_t>("plturnfile", [&](plturnfile_t fn) {
            return fn(source.constData(), written.constData(), quarters);
        });
    if (status == codec::ErrCreate || status == codec::ErrWrite) {
        return false;
    }
    if (status <= 0) {
        const QString why = PictureLibraryState::lastErrorText;
        throw ErrorInvalid(why.isEmpty() ? QStringLiteral("The picture could not be turned") : why);
    }
    return target.Commit();
}

} // namespace pelisto
