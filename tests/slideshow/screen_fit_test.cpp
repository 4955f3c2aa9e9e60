#include "slideshow/screen_fit.h"

#include <gtest/gtest.h>

namespace pelisto {
namespace {

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(767.5L), 768);
    EXPECT_EQ(RoundHalfEven(766.5L), 766);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
    EXPECT_EQ(RoundHalfEven(2.4999L), 2);
    EXPECT_EQ(RoundHalfEven(2.5001L), 3);
}

TEST(FitToScreen, LargePicturesShrinkToTheWindow) {
    EXPECT_EQ(FitRect(1600, 1200, 1024, 768), (PictureRect{0, 0, 1024, 768}));
    // At width 614 the height 767.5 rounds to 768 and fits; 615 would give 769.
    EXPECT_EQ(FitRect(800, 1000, 1024, 768), (PictureRect{205, 0, 614, 768}));
    // Wide picture: the width is the limit, the height follows the ratio.
    EXPECT_EQ(FitToScreen(3000, 1000, 1024, 768), (PictureSize{1024, 341}));
}

TEST(FitToScreen, PicturesThatFitKeepTheirSize) {
    EXPECT_EQ(FitRect(200, 100, 1024, 768), (PictureRect{412, 334, 200, 100}));
    EXPECT_EQ(FitRect(1024, 768, 1024, 768), (PictureRect{0, 0, 1024, 768}));
    EXPECT_EQ(FitRect(201, 101, 1024, 768), (PictureRect{411, 333, 201, 101}));
}

TEST(FitToScreen, TooTallShrinksToTheLargestWidthThatFits) {
    // 1000 x 769 on 1024 x 768: the width fits, yet the first step takes it to 999.
    const PictureSize s = FitToScreen(1000, 769, 1024, 768);
    EXPECT_EQ(s, (PictureSize{999, 768}));
    // The result is the largest width whose rounded height fits.
    EXPECT_GT(RoundHalfEven(static_cast<long double>(s.width + 1) * (769.0 / 1000.0)), 768);
}

TEST(FitToScreen, ExtremeShapesStayVisible) {
    // Too thin to keep the ratio: one pixel across, full height, rather than nothing.
    EXPECT_EQ(FitToScreen(1, 5000, 1024, 768), (PictureSize{1, 768}));
    EXPECT_EQ(FitToScreen(3, 100000, 1024, 768), (PictureSize{1, 768}));
    // Too flat: the rounded height would be 0.
    EXPECT_EQ(FitToScreen(20000, 1, 1024, 768), (PictureSize{1024, 1}));
    // No picture or no window: nothing drawn, never a crash or endless loop.
    EXPECT_EQ(FitToScreen(0, 100, 1024, 768), (PictureSize{0, 0}));
    EXPECT_EQ(FitToScreen(100, -1, 1024, 768), (PictureSize{0, 0}));
    EXPECT_EQ(FitToScreen(100, 100, 0, 0), (PictureSize{1, 1}));
}

TEST(ZoomSize, StepsChangeTheWidthAndFollowTheRatio) {
    // Picture 800 x 600 (ratio 0.75).
    EXPECT_EQ(ZoomSize(800, 600, 614, +100, 1024, 768), (PictureSize{714, 536})); // 535.5
    EXPECT_EQ(ZoomSize(800, 600, 714, -100, 1024, 768), (PictureSize{614, 460})); // 460.5
    // No upper limit short of overflow: far past the window.
    EXPECT_EQ(ZoomSize(800, 600, 5000, +100, 1024, 768), (PictureSize{5100, 3825}));
}

TEST(ZoomSize, OutStopsAtOneHundredPixels) {
    EXPECT_EQ(ZoomSize(400, 300, 200, -100, 1024, 768), (PictureSize{100, 75}));
    EXPECT_EQ(ZoomSize(400, 300, 150, -100, 1024, 768), (PictureSize{150, 112}));
    EXPECT_EQ(ZoomSize(400, 300, 100, -100, 1024, 768), (PictureSize{100, 75}));
    // A picture shown narrower than 100 stays as it is.
    EXPECT_EQ(ZoomSize(40, 30, 40, -100, 1024, 768), (PictureSize{40, 30}));
}

TEST(ZoomSize, HeightComesFromThePictureNotTheBox) {
    // The 1 x 768 squeeze of a thin picture unfolds to its real ratio on the next step.
    EXPECT_EQ(ZoomSize(1, 5000, 1, +100, 1024, 768), (PictureSize{101, 505000}));
    EXPECT_EQ(ZoomSize(800, 1000, 614, -100, 1024, 768), (PictureSize{514, 642})); // 642.5
    // Step 0 goes back to the fitted size.
    EXPECT_EQ(ZoomSize(800, 1000, 2000, 0, 1024, 768), (PictureSize{614, 768}));
}

TEST(PictureView, ZoomSequenceAndCentring) {
    PictureView view(800, 1000, 1024, 768);
    EXPECT_EQ(view.Rect(), (PictureRect{205, 0, 614, 768}));
    view.Zoom(+kZoomStep);
    EXPECT_EQ(view.Rect(), (PictureRect{155, -62, 714, 892})); // 892.5 rounds to even
    view.Zoom(-kZoomStep);
    EXPECT_EQ(view.Rect(), (PictureRect{205, 0, 614, 768}));
    for (int i = 0; i < 10; ++i) {
        view.Zoom(-kZoomStep);
    }
    EXPECT_EQ(view.Rect(), (PictureRect{455, 313, 114, 142})) << "114 - 100 is below 100";
}

TEST(PictureView, OversizedPictureOverflowsEquallyWithTruncation) {
    PictureView view(1125, 100, 2000, 768); // fits: natural size
    EXPECT_EQ(view.Rect().width, 1125);
    PictureView small(1025, 100, 1024, 768);
    small.Zoom(+kZoomStep);
    // Fitted width 1024 -> zoomed 1124; (1024 - 1124) / 2 = -50.
    EXPECT_EQ(small.Rect().width, 1124);
    EXPECT_EQ(small.Rect().left, -50);
    small.Zoom(+1);
    EXPECT_EQ(small.Rect().width, 1125);
    EXPECT_EQ(small.Rect().left, -50); // -101 / 2 truncates toward zero
    small.Zoom(0);
    EXPECT_EQ(small.Rect(), FitRect(1025, 100, 1024, 768));
}

TEST(PictureView, ZoomInStopsBeforeOverflow) {
    PictureView view(1000, 1000, 1024, 768);
    for (int i = 0; i < 20000; ++i) {
        view.Zoom(+kZoomStep);
    }
    EXPECT_LE(view.Rect().width, kMaxZoomExtent);
    EXPECT_LE(view.Rect().height, kMaxZoomExtent);
    EXPECT_GT(view.Rect().width, kMaxZoomExtent - kZoomStep);
    EXPECT_EQ(view.Rect().left, (1024 - view.Rect().width) / 2);
}

} // namespace
} // namespace pelisto
