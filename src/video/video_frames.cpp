#include "video/video_frames.h"

#include "framework/exceptions.h"
#include "slideshow/screen_fit.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <memory>

namespace pelisto {

namespace {

struct ScalerFree {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};
using Scaler = std::unique_ptr<SwsContext, ScalerFree>;

// The picture shrunk to `size` with libswscale's Lanczos filter, as the size choice shrinks.
QImage Shrunk(const QImage& picture, PictureSize size) {
    QImage scaled(size.width, size.height, QImage::Format_RGB32);
    const Scaler scaler(sws_getContext(picture.width(), picture.height(), AV_PIX_FMT_RGB32,
                                       size.width, size.height, AV_PIX_FMT_RGB32,
                                       SWS_LANCZOS | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!scaler || scaled.isNull()) {
        throw Exception(QStringLiteral("a picture cannot be scaled for the video"));
    }
    const std::uint8_t* const from[] = {picture.constBits()};
    const int fromStride[] = {static_cast<int>(picture.bytesPerLine())};
    std::uint8_t* const to[] = {scaled.bits()};
    const int toStride[] = {static_cast<int>(scaled.bytesPerLine())};
    sws_scale(scaler.get(), from, fromStride, 0, picture.height(), to, toStride);
    return scaled;
}

} // namespace

CaptionLayout CaptionLayoutFor(int screenHeight, const QFont& font) {
    QFont sized = font;
    const int pixels = std::max(14, screenHeight / 30);
    sized.setPixelSize(pixels);
    return {pixels, QFontMetrics(sized).height() * 8 / 5};
}

void PaintCaptionBand(QPainter& painter, const QRect& band, const QString& text) {
    painter.fillRect(band, QColor(0, 0, 0, 170));
    painter.setPen(Qt::white);
    const QRect room = band.adjusted(band.height() / 2, 0, -band.height() / 2, 0);
    painter.drawText(room, Qt::AlignCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, room.width()));
}

YuvFrame ComposeFrame(const QImage& picture, const QString& caption, VideoFrameSize frame) {
    QImage screen(frame.width, frame.height, QImage::Format_RGB32);
    if (screen.isNull()) {
        throw std::bad_alloc();
    }
    screen.fill(Qt::black);
    {
        QPainter painter(&screen);
        QImage shown = picture.convertToFormat(QImage::Format_RGB32);
        const PictureRect place = FitRect(shown.width(), shown.height(), frame.width, frame.height);
        if (place.width != shown.width() || place.height != shown.height()) {
            shown = Shrunk(shown, {place.width, place.height});
        }
        painter.drawImage(place.left, place.top, shown);
        if (!caption.isEmpty()) {
            QFont font = QGuiApplication::font();
            const CaptionLayout layout = CaptionLayoutFor(frame.height, font);
            font.setPixelSize(layout.fontPixels);
            painter.setFont(font);
            PaintCaptionBand(
                painter, QRect(0, frame.height - layout.bandHeight, frame.width, layout.bandHeight),
                caption);
        }
    }

    YuvFrame yuv(frame);
    const Scaler converter(sws_getContext(
        frame.width, frame.height, AV_PIX_FMT_RGB32, frame.width, frame.height, AV_PIX_FMT_YUV420P,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
    if (!converter) {
        throw Exception(QStringLiteral("a picture cannot be converted for the video"));
    }
    // Full-range RGB in, BT.709 limited range out.
    sws_setColorspaceDetails(converter.get(), sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    const std::uint8_t* const from[] = {screen.constBits()};
    const int fromStride[] = {static_cast<int>(screen.bytesPerLine())};
    std::uint8_t* const to[] = {yuv.y.data(), yuv.u.data(), yuv.v.data()};
    const int toStride[] = {frame.width, frame.width / 2, frame.width / 2};
    sws_scale(converter.get(), from, fromStride, 0, frame.height, to, toStride);
    return yuv;
}

void MixFrames(const YuvFrame& from, const YuvFrame& to, int weight, YuvFrame& out) {
    const int w = std::clamp(weight, 0, 256);
    const auto mix = [w](const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                         std::vector<std::uint8_t>& o) {
        o.resize(a.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            o[i] = static_cast<std::uint8_t>((a[i] * (256 - w) + b[i] * w + 128) >> 8);
        }
    };
    out.width = from.width;
    out.height = from.height;
    mix(from.y, to.y, out.y);
    mix(from.u, to.u, out.u);
    mix(from.v, to.v, out.v);
}

} // namespace pelisto
