#include "picture/jpeg_turn.h"

#include "codeclib/exif_orientation.h"
#include "framework/replace_file.h"

#include <QFile>
#include <array>
#include <cstdint>
#include <turbojpeg.h>

namespace pelisto {
namespace {

// A quarter-turn-and-mirror as the 2 x 2 matrix it applies to pixel positions (x right, y
// down, about the centre).
using Matrix = std::array<int, 4>;

Matrix Times(const Matrix& a, const Matrix& b) {
    return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
            a[2] * b[1] + a[3] * b[3]};
}

struct Operation {
    TJXOP op;
    Matrix matrix;
};

constexpr std::array<Operation, 8> Operations = {{
    {TJXOP_NONE, {1, 0, 0, 1}},
    {TJXOP_HFLIP, {-1, 0, 0, 1}},
    {TJXOP_VFLIP, {1, 0, 0, -1}},
    {TJXOP_ROT180, {-1, 0, 0, -1}},
    {TJXOP_TRANSPOSE, {0, 1, 1, 0}},
    {TJXOP_TRANSVERSE, {0, -1, -1, 0}},
    {TJXOP_ROT90, {0, -1, 1, 0}},  // clockwise
    {TJXOP_ROT270, {0, 1, -1, 0}}, // anticlockwise
}};

// What shows a picture of this EXIF orientation upright.
Matrix UprightMatrix(int orientation) {
    switch (orientation) {
    case 2:
        return Operations[1].matrix;
    case 3:
        return Operations[3].matrix;
    case 4:
        return Operations[2].matrix;
    case 5:
        return Operations[4].matrix;
    case 6:
        return Operations[6].matrix;
    case 7:
        return Operations[5].matrix;
    case 8:
        return Operations[7].matrix;
    default:
        return Operations[0].matrix;
    }
}

struct TransformHandle {
    tjhandle handle = tjInitTransform();
    ~TransformHandle() {
        if (handle != nullptr) {
            tjDestroy(handle);
        }
    }
};

struct TurboBuffer {
    unsigned char* data = nullptr;
    ~TurboBuffer() { tjFree(data); }
};

} // namespace

std::optional<QByteArray> TurnJpegLosslessly(const QByteArray& jpeg, int quarterTurns) {
    if (jpeg.isEmpty()) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(jpeg.constData());
    const auto size = static_cast<std::size_t>(jpeg.size());
    // The stored blocks are first shown upright, then turned: one operation does both.
    Matrix wanted = UprightMatrix(exif::JpegOrientation(bytes, size));
    for (int i = 0; i < ((quarterTurns % 4) + 4) % 4; ++i) {
        wanted = Times(Operations[7].matrix, wanted);
    }
    const Operation* operation = nullptr;
    for (const Operation& candidate : Operations) {
        if (candidate.matrix == wanted) {
            operation = &candidate;
        }
    }
    TransformHandle transformer;
    if (operation == nullptr || transformer.handle == nullptr) {
        return std::nullopt;
    }
    tjtransform transform{};
    transform.op = operation->op;
    // Only a perfect turn: partial edge blocks must never be dropped or moved inside. Markers
    // are copied (no TJXOPT_COPYNONE).
    transform.options = TJXOPT_PERFECT;
    TurboBuffer out;
    unsigned long outSize = 0;
    if (tjTransform(transformer.handle, bytes, static_cast<unsigned long>(size), 1, &out.data,
                    &outSize, &transform, TJFLAG_STOPONWARNING) != 0 ||
        out.data == nullptr || outSize == 0) {
        return std::nullopt;
    }
    QByteArray result(reinterpret_cast<const char*>(out.data), static_cast<qsizetype>(outSize));
    // The blocks now lie upright.
    exif::SetJpegOrientation(reinterpret_cast<std::uint8_t*>(result.data()),
                             static_cast<std::size_t>(result.size()), exif::Upright);
    return result;
}

LosslessTurn TurnJpegFileLosslessly(const QString& path, int quarterTurns) {
    QByteArray original;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return LosslessTurn::NotPossible;
        }
        original = file.readAll();
    }
    const std::optional<QByteArray> turned = TurnJpegLosslessly(original, quarterTurns);
    if (!turned) {
        return LosslessTurn::NotPossible;
    }
    ReplaceFile target(path);
    if (!target.ok()) {
        return LosslessTurn::WriteFailed;
    }
    bool written = false;
    {
        QFile file(target.writePath());
        written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                  file.write(*turned) == turned->size() && file.flush();
        file.close();
        written = written && file.error() == QFileDevice::NoError;
    }
    if (written && target.Commit()) {
        return LosslessTurn::Written;
    }
    return LosslessTurn::WriteFailed;
}

} // namespace pelisto
