#include "dragdrop/drop_filter.h"

#include <gtest/gtest.h>

using namespace pelisto;

namespace {

const QString EnglishFilter =
    "All pictures|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.gif;*.jpg;*.png;*.pcd;*.tga";
const QString FrenchFilter =
    "Toutes images|*.wmf;*.bmp;*.ico;*.pcx;*.tif;*.gif;*.jpg;*.png;*.pcd;*.tga";

QStringList Accepted(const QStringList& dropped, const QString& filter = EnglishFilter) {
    return FilesToAppend({}, dropped, filter);
}

TEST(DropExtension, TakesTheLastDotAfterTheLastDelimiter) {
    EXPECT_EQ(DropExtension("C:\\Photos\\A.JPG"), ".JPG");
    EXPECT_EQ(DropExtension("/home/me/a.b.png"), ".png");
    EXPECT_EQ(DropExtension("/home/me/Holiday"), "");
    EXPECT_EQ(DropExtension("/home/me.d/readme"), "");
    EXPECT_EQ(DropExtension("C:\\my.photos\\readme"), "");
    EXPECT_EQ(DropExtension("C:.x"), ".x");
    EXPECT_EQ(DropExtension("a.jpg:stream"), "");
}

TEST(FilesToAppend, ExtensionIsLookedForAnywhereInTheFilterText) {
    // Whole extensions that the filter names, in any letter case.
    EXPECT_EQ(Accepted({"C:\\Photos\\A.JPG", "/p/b.Png", "/p/c.tga"}),
              (QStringList{"C:\\Photos\\A.JPG", "/p/b.Png", "/p/c.tga"}));
    // Longer spellings are not in the text; pieces of listed extensions are.
    EXPECT_TRUE(Accepted({"/p/a.jpeg", "/p/b.tiff", "/p/c.JPEG"}).isEmpty());
    EXPECT_EQ(Accepted({"/p/a.j", "/p/b.t", "/p/c.pc"}),
              (QStringList{"/p/a.j", "/p/b.t", "/p/c.pc"}));
    // No extension (file or folder) never matches; a folder that looks like a picture does.
    EXPECT_TRUE(Accepted({"/p/README", "C:\\Photos\\Holiday", "/p.d/x"}).isEmpty());
    EXPECT_EQ(Accepted({"C:\\Photos\\Trip.jpg"}), QStringList{"C:\\Photos\\Trip.jpg"});
    // The text is searched as it is: the French one accepts the same names.
    EXPECT_EQ(Accepted({"/p/a.gif", "/p/b.doc"}, FrenchFilter), QStringList{"/p/a.gif"});
    EXPECT_TRUE(Accepted({"/p/a.gif"}, QString()).isEmpty());
}

TEST(FilesToAppend, OnlyAsciiLettersAreLowered) {
    // 'İ' has no ASCII lower case here, so ".JPİ" does not turn into a listed extension.
    EXPECT_TRUE(Accepted({QString::fromUtf8("/p/a.JP\u0130")}).isEmpty());
    EXPECT_EQ(Accepted({"/p/A.WMF"}), QStringList{"/p/A.WMF"});
}

TEST(FilesToAppend, SkipsNamesAlreadyListedAsTheFileSystemComparesThem) {
    const QStringList list{"/p/A.JPG", QString::fromUtf8("/p/ÉTÉ.png")};
    EXPECT_TRUE(FilesToAppend(list, {"/p/A.JPG"}, EnglishFilter).isEmpty());
    // File names differing in letter case are different files: neither is dropped.
    EXPECT_EQ(FilesToAppend(list, {"/p/a.jpg"}, EnglishFilter), QStringList{"/p/a.jpg"});
    EXPECT_EQ(FilesToAppend(list, {QString::fromUtf8("/p/été.png")}, EnglishFilter),
              QStringList{QString::fromUtf8("/p/été.png")});
    // Whole-string match only: a longer or shorter name is a different picture.
    EXPECT_EQ(FilesToAppend(list, {"/p/A.JPG.jpg", "/p/.JPG"}, EnglishFilter),
              (QStringList{"/p/A.JPG.jpg", "/p/.JPG"}));
    // The same name twice in one drop goes in once.
    EXPECT_EQ(FilesToAppend({}, {"/p/x.gif", "/P/X.GIF", "/p/x.gif"}, EnglishFilter),
              (QStringList{"/p/x.gif", "/P/X.GIF"}));
}

TEST(FilesToAppend, KeepsTheDropOrderOfAcceptedNames) {
    const QStringList dropped{"/p/3.png",   "/p/skip.txt", "/p/1.bmp",
                              "/p/old.gif", "/p/2.ico",    "/p/nope.jpeg"};
    EXPECT_EQ(FilesToAppend({"/p/old.gif"}, dropped, EnglishFilter),
              (QStringList{"/p/3.png", "/p/1.bmp", "/p/2.ico"}));
}

} // namespace
