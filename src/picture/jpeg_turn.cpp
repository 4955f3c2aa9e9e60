#include "picture/jpeg_turn.h"

#include "codeclib/exif_orientation.h"
#include "slideshow/picture_limit.h"

#include <cstdint>
#include <turbojpeg.h>
#include <vector>

namespace pelisto {
namespace {

// The transform that shows stored blocks of this orientation upright.
TJXOP UprightOperation(int orientation) {
    switch (orientation) {
    case 2:
        return TJXOP_HFLIP;
    case 3:
        return TJXOP_ROT180;
    case 4:
        return TJXOP_VFLIP;
    case 5:
        return TJXOP_TRANSPOSE;
    case 6:
        return TJXOP_ROT90;
    case 7:
        return TJXOP_TRANSVERSE;
    case 8:
        return TJXOP_ROT270;
    default:
        return TJXOP_NONE;
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

// The blocks of every component a header of this size and subsampling claims.
std::int64_t ClaimedBlocks(int width, int height, int subsampling, int colourspace) {
    const auto blocks = [](std::int64_t w, std::int64_t h) {
        return ((w + 7) / 8) * ((h + 7) / 8);
    };
    if (subsampling == TJSAMP_GRAY) {
        return blocks(width, height);
    }
    const int mcuWidth = subsampling >= 0 && subsampling < TJ_NUMSAMP ? tjMCUWidth[subsampling] : 8;
    const int mcuHeight =
        subsampling >= 0 && subsampling < TJ_NUMSAMP ? tjMCUHeight[subsampling] : 8;
    const std::int64_t chroma =
        blocks((width * 8LL + mcuWidth - 1) / mcuWidth, (height * 8LL + mcuHeight - 1) / mcuHeight);
    const int inks = colourspace == TJCS_CMYK || colourspace == TJCS_YCCK ? 2 : 1;
    return blocks(width, height) * inks + chroma * 2;
}

QString TurboError(tjhandle handle) {
    return QString::fromLocal8Bit(tjGetErrorStr2(handle));
}

} // namespace

TurnedJpeg TurnJpeg(const QByteArray& jpeg, int quarterTurns) {
    TurnedJpeg turned;
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    TransformHandle transformer;
    if (transformer.handle == nullptr) {
        turned.error = QStringLiteral("Not enough memory");
        return turned;
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (jpeg.isEmpty() || tjDecompressHeader3(transformer.handle, bytes, size, &width, &height,
                                              &subsampling, &colourspace) != 0) {
        turned.error =
            QStringLiteral("The file is damaged or not of the expected format: ") +
            (jpeg.isEmpty() ? QStringLiteral("the file is empty") : TurboError(transformer.handle));
        return turned;
    }
    // Nothing sized by the header is allocated before its claims are checked.
    if (PictureTooLarge(width, height)) {
        turned.error =
            QString::fromStdString("Picture too large: " + PictureTooLargeText(width, height));
        return turned;
    }
    if (JpegDataTooShort(ClaimedBlocks(width, height, subsampling, colourspace), jpeg.size())) {
        turned.error = QStringLiteral("The file is damaged or not of the expected format: ") +
                       QString::fromStdString(DataTooShortText(jpeg.size(), width, height));
        return turned;
    }
    const int stored = exif::JpegOrientation(bytes, size);
    const int wanted = exif::TurnedOrientation(stored, quarterTurns);
    tjtransform transform{};
    transform.op = UprightOperation(wanted);
    // Only a perfect transform: partial edge blocks must never be dropped or moved inside.
    // Markers are copied (no TJXOPT_COPYNONE).
    transform.options = TJXOPT_PERFECT;
    TurboBuffer out;
    unsigned long outSize = 0;
    if (transform.op != TJXOP_NONE &&
        tjTransform(transformer.handle, bytes, size, 1, &out.data, &outSize, &transform,
                    TJFLAG_STOPONWARNING) == 0 &&
        out.data != nullptr && outSize != 0) {
        turned.data =
            QByteArray(reinterpret_cast<const char*>(out.data), static_cast<qsizetype>(outSize));
        turned.blocksMoved = true;
        // The blocks now lie upright.
        exif::SetJpegOrientation(reinterpret_cast<std::uint8_t*>(turned.data.data()),
                                 static_cast<std::size_t>(turned.data.size()), exif::Upright);
        return turned;
    }
    // The blocks cannot move as they are: the turn is said in the orientation.
    const std::vector<std::uint8_t> said = exif::WithJpegOrientation(bytes, size, wanted);
    if (said.empty()) {
        turned.error = QStringLiteral("The picture cannot be turned without encoding it again: "
                                      "its EXIF block is damaged or has no room for the "
                                      "orientation");
        return turned;
    }
    turned.data =
        QByteArray(reinterpret_cast<const char*>(said.data()), static_cast<qsizetype>(said.size()));
    return turned;
}

} // namespace pelisto
