#pragma once

#include "video/video_encoder.h"
#include "video/video_settings.h"

#include <QImage>
#include <QString>

class QFont;
class QPainter;
class QRect;

namespace pelisto {

// One picture's frame: the picture fitted into the frame by the screen fit (shrunk with a
// Lanczos filter when it is larger, never enlarged), centred on black, with its caption on a
// dark band across the foot, converted to BT.709 limited-range YUV 4:2:0.
YuvFrame ComposeFrame(const QImage& picture, const QString& caption, VideoFrameSize frame);

// The two frames mixed, `to` weighing `weight` out of 256: one frame of a crossfade.
void MixFrames(const YuvFrame& from, const YuvFrame& to, int weight, YuvFrame& out);

// The caption band on a screen `screenHeight` pixels high: its font size and height. The test
// window and the video draw it alike.
struct CaptionLayout {
    int fontPixels = 14;
    int bandHeight = 0;
};
CaptionLayout CaptionLayoutFor(int screenHeight, const QFont& font);
// Paints the caption's band: white text, cut with an ellipsis, centred on a 65 % black band.
void PaintCaptionBand(QPainter& painter, const QRect& band, const QString& text);

} // namespace pelisto
