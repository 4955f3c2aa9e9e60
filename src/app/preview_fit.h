#pragma once

#include <QRect>

namespace pelisto {

// Where the preview shows a picture of w x h pixels in a panel of the given outer size: at its
// natural size when it fits the centred box of four fifths of the panel, otherwise scaled down
// until its longer side fills the box; always centred. stretch tells whether it was scaled.
struct PreviewPlacement {
    QRect rect;
    bool stretch = false;
};
PreviewPlacement PlacePreview(int w, int h, int panelWidth, int panelHeight);

} // namespace pelisto
