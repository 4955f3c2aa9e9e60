#include "app/preview_fit.h"

#include "framework/nearest.h"

#include <cstdint>

namespace pelisto {

PreviewPlacement PlacePreview(int w, int h, int panelWidth, int panelHeight) {
    const auto boxW = static_cast<int>(Nearest(4.0L * panelWidth / 5));
    const auto boxH = static_cast<int>(Nearest(4.0L * panelHeight / 5));
    PreviewPlacement out;
    int cw = w;
    int ch = h;
    if (w > boxW || h > boxH) {
        out.stretch = true;
        // The product is taken in 64 bits, so even huge pictures cannot overflow it.
        if (w > h) {
            cw = boxW;
            ch = static_cast<int>(Nearest(static_cast<long double>(std::int64_t{h} * cw) / w));
        } else {
            ch = boxH;
            cw = static_cast<int>(Nearest(static_cast<long double>(std::int64_t{w} * ch) / h));
        }
    }
    // Halves round toward zero, as integer division does.
    const int top = (panelHeight - ch) / 2;
    const int left = (panelWidth - cw) / 2;
    out.rect = QRect(left, top, cw, ch);
    return out;
}

} // namespace pelisto
