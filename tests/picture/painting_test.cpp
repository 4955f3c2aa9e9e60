#include "picture_test_support.h"

#include "picture/mono_stretch.h"

#include <QScrollBar>

using namespace pelisto;
using namespace pelisto::testing;

namespace {

// A one-bit picture of the background colour with one-pixel lines of the other colour down
// columns 5, 15, 25 and 35: a reduction by four that samples pixels would miss all of them.
QImage ThinLines(QRgb background, QRgb line) {
    QImage image(40, 40, QImage::Format_Mono);
    image.setColorTable({background, line});
    image.fill(0);
    for (int y = 0; y < 40; ++y) {
        for (int x = 5; x < 40; x += 10) {
            image.setPixel(x, y, 1);
        }
    }
    return image;
}

int ColumnsOf(const QImage& image, QRgb colour) {
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
        count += image.pixel(x, image.height() / 2) == colour ? 1 : 0;
    }
    return count;
}

TEST(Painting, ShrunkOneBitPicturesKeepTheirLinesInTheDarkAndLightestModes) {
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    // Whichever index holds black, the dark mode keeps black and the lightest mode white.
    EXPECT_EQ(ColumnsOf(StretchMonoKeeping(ThinLines(white, black), {10, 10}, true), black), 4);
    EXPECT_EQ(ColumnsOf(StretchMonoKeeping(ThinLines(black, white), {10, 10}, true), black), 10);
    EXPECT_EQ(ColumnsOf(StretchMonoKeeping(ThinLines(black, white), {10, 10}, false), white), 4);
    EXPECT_EQ(ColumnsOf(StretchMonoKeeping(ThinLines(white, black), {10, 10}, false), white), 10);
    // An enlargement repeats every pixel.
    const QImage big = StretchMonoKeeping(ThinLines(white, black), {80, 80}, true);
    EXPECT_EQ(ColumnsOf(big, black), 8);
    EXPECT_EQ(big.pixel(10, 3), black);
    EXPECT_EQ(big.pixel(11, 79), black);

    // Through the control: the light mode samples pixels, as colour pictures do, and loses
    // lines.
    QTemporaryDir dir;
    const QString file = dir.filePath("lines.bmp");
    ASSERT_TRUE(ThinLines(white, black).save(file));
    TMultiPicture picture;
    picture.resize(10, 10);
    picture.SetStretch(true);
    picture.SetImageName(file);
    ASSERT_EQ(picture.ImageBits(), 1);
    EXPECT_LT(ColumnsOf(picture.grab().toImage(), black), 4);
    picture.SetBlitMode(sDark);
    EXPECT_EQ(ColumnsOf(picture.grab().toImage(), black), 4);
    picture.SetBlitMode(sLightest);
    EXPECT_EQ(ColumnsOf(picture.grab().toImage(), black), 0);
}

// A picture wider than the control scrolls all the way to its right edge, also when centred.
TEST(Painting, CentredPictureScrollsToItsFarEdge) {
    TMultiPicture picture;
    picture.resize(40, 60);
    picture.SetCenter(true);
    picture.SetImageName(Fixture("rgb24.png")); // 64 x 48
    const QImage original = Shown(picture);
    ASSERT_EQ(original.size(), QSize(64, 48));
    QScrollBar* horizontal = nullptr;
    for (QScrollBar* bar : picture.findChildren<QScrollBar*>()) {
        if (bar->orientation() == Qt::Horizontal) {
            horizontal = bar;
        }
    }
    ASSERT_NE(horizontal, nullptr);
    ASSERT_FALSE(horizontal->isHidden());
    horizontal->setValue(horizontal->maximum());
    const QImage shown = picture.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The height fits the room above the bar (48 of 48) and is not moved.
    EXPECT_EQ(shown.pixel(39, 0), original.pixel(63, 0));
    EXPECT_EQ(shown.pixel(0, 47), original.pixel(24, 47));
}

} // namespace
