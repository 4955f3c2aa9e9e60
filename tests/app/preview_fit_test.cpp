#include "app/picture_paths.h"
#include "app/preview_fit.h"

#include <gtest/gtest.h>

using namespace pelisto;

namespace {

struct FitCase {
    int w, h;
    QRect expected;
    bool stretch;
};

TEST(PreviewFit, PlacesPicturesInThe265Panel) {
    const FitCase cases[] = {
        {100, 50, QRect(82, 107, 100, 50), false}, {212, 212, QRect(26, 26, 212, 212), false},
        {400, 300, QRect(26, 53, 212, 159), true}, {300, 400, QRect(53, 26, 159, 212), true},
        {400, 250, QRect(26, 66, 212, 132), true}, // 132.5 goes to the even 132
        {500, 500, QRect(26, 26, 212, 212), true}, {213, 100, QRect(26, 82, 212, 100), true},
        {640, 480, QRect(26, 53, 212, 159), true}, {480, 640, QRect(53, 26, 159, 212), true},
    };
    for (const auto& c : cases) {
        const PreviewPlacement p = PlacePreview(c.w, c.h, 265, 265);
        EXPECT_EQ(p.rect, c.expected) << c.w << "x" << c.h;
        EXPECT_EQ(p.stretch, c.stretch) << c.w << "x" << c.h;
    }
}

TEST(PicturePaths, ExtensionsAndWriteBackFormats) {
    EXPECT_EQ(ExtensionOf("/a/b.c/photo.JpG"), ".JpG");
    EXPECT_EQ(ExtensionOf("/a/b.c/photo"), "");
    EXPECT_EQ(ExtensionOf("/a/archive.tar.gz"), ".gz");
    EXPECT_EQ(AsciiUpper(QString::fromUtf8(".jpé")), QString::fromUtf8(".JPé"));
    EXPECT_EQ(AsciiLower(".WMF"), ".wmf");

    for (const char* ok : {"a.jpg", "a.JPG", "a.Bmp", "a.pcx", "a.GIF", "a.png"}) {
        EXPECT_TRUE(CanWriteBack(ok)) << ok;
    }
    for (const char* no : {"a.jpeg", "a.tif", "a.wmf", "a.ico", "a.tga", "a", "dir.jpg/a"}) {
        EXPECT_FALSE(CanWriteBack(no)) << no;
    }
}

} // namespace
