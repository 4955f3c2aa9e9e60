// The libraries' entries, their information calls and the status and error-text convention.

#include "codec_test_support.h"

#include <QTemporaryDir>
#include <set>

using namespace pelisto;
using namespace pelisto::codectest;

namespace {

TEST(Interface, EveryEntryIsExportedByItsLibrary) {
    ASSERT_TRUE(MainLibrary().Loaded()) << MainLibrary().Error();
    ASSERT_TRUE(ProcessingLibrary().Loaded()) << ProcessingLibrary().Error();
    for (const char* name :
         {"fileinfo",         "getinfo",      "rdbmpfiledib",   "rdpngfiledib",    "rdpcxfiledib",
          "rdgiffiledib",     "rdjpgfiledib", "readtiffiledib", "readtgafiledib",  "readpcdfiledib",
          "wrbmpfiledib",     "wrpcxfiledib", "wrgiffiledib",   "wrpngfiledib",    "wrjpgfiledib",
          "DibtoDdb",         "plerrortext",  "InitAnnotation", "ClearAnnotation", "DrawAnnotation",
          "DestroyAnnotation"}) {
        EXPECT_NE(MainLibrary().Symbol(name), nullptr) << name;
    }
    for (const char* name : {"PLRotate", "DIB1to4", "DIB1To8", "DIB1To24", "DIB4To8", "DIB4To24",
                             "DIB8To24", "DIB16To24", "DIB32To24", "ReduceDib"}) {
        EXPECT_NE(ProcessingLibrary().Symbol(name), nullptr) << name;
    }
    // The helpers shared by both libraries stay private to each.
    EXPECT_EQ(MainLibrary().Symbol("_ZN7pelisto3dib4ViewEPv"), nullptr);
}

struct Info {
    const char* file;
    const char* format;
    int width, height, bits;
};

TEST(FileInfo, ReportsFormatSizeAndDepthOfEveryFormat) {
    auto fileinfo = MainEntry<fileinfo_t>("fileinfo");
    ASSERT_NE(fileinfo, nullptr);
    const Info cases[] = {
        {"rgb24.bmp", "BMP", 64, 48, 24},        {"pal8.bmp", "BMP", 64, 48, 8},
        {"pal4.bmp", "BMP", 64, 48, 4},          {"mono1.bmp", "BMP", 64, 48, 1},
        {"rle8.bmp", "BMP", 64, 48, 8},          {"rgb24.png", "PNG", 64, 48, 24},
        {"mono1.png", "PNG", 64, 48, 1},         {"gray8.png", "PNG", 64, 48, 8},
        {"still.gif", "GIF", 64, 48, 8},         {"pages3.tif", "TIF", 64, 48, 24},
        {"rgb24.tga", "TGA", 64, 48, 24},        {"pal8.tga", "TGA", 64, 48, 8},
        {"rgb24.pcx", "PCX", 64, 48, 24},        {"pal8.pcx", "PCX", 64, 48, 8},
        {"photo.pcd", "PCD", 768, 512, 24},      {"baseline.jpg", "JPEG", 64, 48, 24},
        {"progressive.jpg", "JPEG", 64, 48, 24}, {"gray.jpg", "JPEG", 64, 48, 8},
    };
    for (const Info& c : cases) {
        // Canaries after the fixed-size buffers show a write past their end.
        char format[6 + 4];
        char compression[26 + 4];
        std::memset(format, 0x7E, sizeof(format));
        std::memset(compression, 0x7E, sizeof(compression));
        std::int16_t w = -1, h = -1, bits = -1, colours = -1, pages = -1;
        const std::int16_t status = fileinfo(FixturePath(c.file).c_str(), format, &w, &h, &bits,
                                             &colours, &pages, compression, 0);
        ASSERT_GT(status, 0) << c.file << ": " << StatusText(status);
        EXPECT_STREQ(format, c.format) << c.file;
        EXPECT_EQ(w, c.width) << c.file;
        EXPECT_EQ(h, c.height) << c.file;
        EXPECT_EQ(bits, c.bits) << c.file;
        EXPECT_NE(std::memchr(compression, 0, 26), nullptr) << c.file;
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(format[6 + i], 0x7E) << c.file;
            EXPECT_EQ(compression[26 + i], 0x7E) << c.file;
        }
    }
}

TEST(FileInfo, FailsWithATextForWhatItCannotIdentify) {
    auto fileinfo = MainEntry<fileinfo_t>("fileinfo");
    ASSERT_NE(fileinfo, nullptr);
    for (const char* file : {"damaged/text.jpg", "damaged/short_bmp.bmp", "damaged/empty_bmp.bmp",
                             "no such file.bmp"}) {
        char format[6] = {};
        char compression[26] = {};
        std::int16_t w = 0, h = 0, bits = 0, colours = 0, pages = 0;
        const std::int16_t status = fileinfo(FixturePath(file).c_str(), format, &w, &h, &bits,
                                             &colours, &pages, compression, 0);
        EXPECT_LE(status, 0) << file;
        EXPECT_FALSE(StatusText(status).empty()) << file;
    }
    // A folder is no picture either.
    char format[6] = {};
    char compression[26] = {};
    std::int16_t w = 0, h = 0, bits = 0, colours = 0, pages = 0;
    EXPECT_LE(fileinfo(PELISTO_FIXTURES, format, &w, &h, &bits, &colours, &pages, compression, 0),
              0);
}

TEST(FileInfo, TiffPagesThroughGetinfo) {
    auto getinfo = MainEntry<getinfo_t>("getinfo");
    ASSERT_NE(getinfo, nullptr);
    const std::string file = FixturePath("pages3.tif");
    struct Page {
        std::int16_t page, width, height;
    };
    // Pages count from 1; 0 is the first as well. The second page is 40 x 30 turned upright.
    for (const Page p : {Page{0, 64, 48}, Page{1, 64, 48}, Page{2, 30, 40}, Page{3, 20, 10}}) {
        std::int16_t w = 0, h = 0, compression = -1, count = 0, bits = 0;
        const std::int16_t status =
            getinfo(file.c_str(), p.page, &w, &h, &compression, 0, &count, &bits);
        ASSERT_GE(status, 0) << "page " << p.page;
        EXPECT_EQ(w, p.width) << "page " << p.page;
        EXPECT_EQ(h, p.height) << "page " << p.page;
        EXPECT_EQ(count, 3);
        EXPECT_EQ(bits, 24);
    }
    std::int16_t w = 0, h = 0, compression = 0, count = 0, bits = 0;
    EXPECT_LE(getinfo(FixturePath("rgb24.bmp").c_str(), 1, &w, &h, &compression, 0, &count, &bits),
              0);
    EXPECT_LE(getinfo(FixturePath("damaged/pages3_tif_header.tif").c_str(), 1, &w, &h, &compression,
                      0, &count, &bits),
              0);
}

TEST(ErrorTexts, EveryFailingStatusHasItsOwnBoundedText) {
    auto text = MainEntry<plerrortext_t>("plerrortext");
    ASSERT_NE(text, nullptr);
    std::set<std::string> seen;
    for (std::int16_t status = 0; status >= -13; --status) {
        char buffer[300];
        std::memset(buffer, 0x7E, sizeof(buffer));
        const int length = text(status, buffer, 256);
        ASSERT_GT(length, 0) << status;
        ASSERT_LE(length, 255) << status;
        EXPECT_EQ(static_cast<int>(std::strlen(buffer)), length) << status;
        EXPECT_EQ(buffer[256], 0x7E) << "wrote past the buffer for " << status;
        EXPECT_TRUE(seen.insert(buffer).second) << "two statuses share \"" << buffer << '"';
    }
    // Unknown failures still read as an error; a short buffer gets a truncated, terminated text.
    EXPECT_FALSE(StatusText(-1234).empty());
    char small[8];
    std::memset(small, 0x7E, sizeof(small));
    EXPECT_EQ(text(codec::ErrDamaged, small, 5), 4);
    EXPECT_EQ(small[4], '\0');
    EXPECT_EQ(small[5], 0x7E);
    EXPECT_EQ(std::string(small, 4), StatusText(codec::ErrDamaged).substr(0, 4));
    EXPECT_EQ(text(codec::ErrDamaged, nullptr, 10), 0);
    EXPECT_EQ(text(codec::ErrDamaged, small, 0), 0);
}

TEST(ErrorTexts, FailuresCarryTheStatusThatNamesTheirCause) {
    auto rdbmp = MainEntry<rdfiledib_t>("rdbmpfiledib");
    auto wrbmp = MainEntry<wrfiledib_t>("wrbmpfiledib");
    ASSERT_TRUE(rdbmp && wrbmp);
    PLDib dib = nullptr;
    EXPECT_EQ(rdbmp("/no/such/folder/x.bmp", 24, 0, &dib, nullptr, nullptr, nullptr, 0),
              codec::ErrOpen);
    EXPECT_EQ(dib, nullptr);
    EXPECT_EQ(rdbmp(FixturePath("damaged/short_bmp.bmp").c_str(), 24, 0, &dib, nullptr, nullptr,
                    nullptr, 0),
              codec::ErrTooShort);
    Dib picture = MakeDib(3, 2, 24, {}, [](int x, int y) { return 0x102030u * (x + y); });
    EXPECT_EQ(wrbmp("/no/such/folder/x.bmp", 24, picture.get(), nullptr, nullptr, 0),
              codec::ErrCreate);
    QTemporaryDir dir;
    // A block that is not a DIB is refused, not read.
    std::uint32_t junk[16] = {12345, 0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ(
        wrbmp(dir.filePath("junk.bmp").toLocal8Bit().constData(), 24, junk, nullptr, nullptr, 0),
        codec::ErrArgument);
    EXPECT_EQ(
        wrbmp(dir.filePath("null.bmp").toLocal8Bit().constData(), 24, nullptr, nullptr, nullptr, 0),
        codec::ErrArgument);
}

TEST(Annotations, CheckTheirControlAndDrawNothing) {
    auto init = MainEntry<InitAnnotation_t>("InitAnnotation");
    auto clear = MainEntry<ClearAnnotation_t>("ClearAnnotation");
    auto draw = MainEntry<DrawAnnotation_t>("DrawAnnotation");
    auto destroy = MainEntry<DestroyAnnotation_t>("DestroyAnnotation");
    ASSERT_TRUE(init && clear && draw && destroy);
    int control = 0;
    EXPECT_GT(init(&control, &control, &control, "/tmp/pl_anno.ini", nullptr), 0);
    EXPECT_GT(clear(&control), 0);
    EXPECT_GT(draw(&control, 0, 0, 1.0, 0, 0), 0);
    EXPECT_GT(destroy(&control), 0);
    EXPECT_EQ(clear(nullptr), 0);
    EXPECT_EQ(control, 0);
}

} // namespace
