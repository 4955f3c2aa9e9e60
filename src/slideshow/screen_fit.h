#pragma once

#include <cstdint>

namespace pelisto {

// Placement of a picture on the full-screen slideshow window, shared by the test window and
// the viewer so that both show a picture at exactly the same pixels. All sizes in pixels.

struct PictureSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

struct PictureRect {
    int left = 0; // may be negative once zoomed past the window
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PictureRect&, const PictureRect&) = default;
};

inline constexpr int kZoomStep = 100;          // one zoom key press, in pixels of width
inline constexpr int kMinZoomWidth = 100;      // zooming out never goes below this width
inline constexpr int kMaxZoomExtent = 1 << 20; // zooming in stops before either side passes it

// Nearest integer, halves to the even neighbour, computed in long double.
std::int64_t RoundHalfEven(long double value);

// Size at which a picture of natural size (pictureWidth, pictureHeight) is shown on a window
// of (windowWidth, windowHeight). A picture that fits is shown at its natural size, never
// enlarged. Otherwise the width steps down one pixel at a time from pictureWidth - 1, the
// height following as RoundHalfEven(width * (double)(height / width)), until both fit.
// Never returns a side below 1: a picture too thin to keep its aspect ratio is squeezed to
// one pixel across rather than vanishing. Picture sizes below 1 give {0, 0}; window sides
// below 1 count as 1.
// Example: window 1024x768, picture 800x1000 -> 614x768; picture 1600x1200 -> 1024x768.
PictureSize FitToScreen(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight);

// Rectangle of `size` centred on the window: left = (windowWidth - width) / 2 and likewise for
// the top, dividing with truncation toward zero (a 1125-wide picture on 1024 gets left -50).
PictureRect CentreOnWindow(PictureSize size, int windowWidth, int windowHeight);

// Fitted and centred in one call: what a picture looks like when first shown.
PictureRect FitRect(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight);

// Size after one zoom key on a picture currently shown `currentWidth` pixels wide.
// step 0 fits the picture to the window again (FitToScreen from its natural size).
// Otherwise the width becomes currentWidth + step, except that a step down that would go
// below kMinZoomWidth, or a step up that would take a side past kMaxZoomExtent, keeps
// currentWidth. The height always follows from the picture's own aspect ratio, rounded as in
// FitToScreen, never from the shown height.
// Example: picture 800x600 shown 150 wide, step -100 -> 150x113; shown 200 wide -> 100x75.
PictureSize ZoomSize(int pictureWidth, int pictureHeight, int currentWidth, int step,
                     int windowWidth, int windowHeight);

// The zoom state of one shown picture: its natural size, the window and where it is drawn.
//   PictureView view(jpegWidth, jpegHeight, screenWidth, screenHeight); // fitted, centred
//   view.Zoom(+kZoomStep); view.Zoom(-kZoomStep); view.Zoom(0);         // keys + - *
//   draw the picture scaled into view.Rect()
class PictureView {
public:
    PictureView() = default;
    PictureView(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight);

    void Zoom(int step);
    const PictureRect& Rect() const { return rect_; }
    PictureSize Picture() const { return picture_; }

private:
    PictureSize picture_;
    PictureSize window_;
    PictureRect rect_;
};

} // namespace pelisto
