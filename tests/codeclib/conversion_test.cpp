// The processing library's depth conversions, colour reduction and quarter turns, and the main
// library's expansion of run-length DIBs.

#include "codec_test_support.h"

#include <QFile>
#include <QTransform>
#include <cmath>
#include <set>

using namespace pelisto;
using namespace pelisto::codectest;

namespace {

const std::vector<QRgb> kTwo = {qRgb(12, 34, 56), qRgb(250, 128, 3)};

std::vector<QRgb> Table(int count) {
    std::vector<QRgb> table;
    for (int i = 0; i < count; ++i) {
        table.push_back(qRgb((i * 53) & 0xFF, (i * 97 + 11) & 0xFF, 255 - i));
    }
    return table;
}

// Odd sizes, so every depth has row padding (filled with garbage by MakeDib).
constexpr int W = 13;
constexpr int H = 5;

Dib Indexed(int bits) {
    const unsigned mask = (1u << bits) - 1;
    return MakeDib(W, H, bits, bits == 1 ? kTwo : Table(1 << bits),
                   [mask](int x, int y) { return (x * 3 + y * 7) & mask; });
}

TEST(DepthConversion, IndexedDepthsWidenKeepingIndexesAndColours) {
    struct Case {
        const char* entry;
        int from, to;
    };
    for (const Case c : {Case{"DIB1to4", 1, 4}, Case{"DIB1To8", 1, 8}, Case{"DIB4To8", 4, 8}}) {
        auto fn = ProcessingEntry<DibConvert_t>(c.entry);
        ASSERT_NE(fn, nullptr);
        Dib source = Indexed(c.from);
        Dib result(fn(source.get()));
        ASSERT_EQ(LayoutProblem(result.get()), "") << c.entry;
        const Header h = ReadHeader(result.get());
        EXPECT_EQ(h.bits, c.to) << c.entry;
        EXPECT_EQ(h.width, W);
        EXPECT_EQ(h.height, H);
        EXPECT_EQ(MaxDifference(DibImage(result.get()), DibImage(source.get())), 0) << c.entry;
        // The same indexes, so a palette-animating user keeps its meaning.
        const auto* row = static_cast<const std::uint8_t*>(result.get()) + PixelOffset(h);
        const unsigned mask = (1u << c.from) - 1;
        const unsigned topLeft = (0 * 3 + (H - 1) * 7) & mask; // bottom row comes first
        EXPECT_EQ(c.to == 8 ? row[0] : row[0] >> 4, topLeft) << c.entry;
    }
}

TEST(DepthConversion, IndexedAndDirectDepthsBecomeExact24Bit) {
    struct Case {
        const char* entry;
        Dib source;
    };
    Case cases[] = {{"DIB1To24", Indexed(1)}, {"DIB4To24", Indexed(4)}, {"DIB8To24", Indexed(8)}};
    for (Case& c : cases) {
        auto fn = ProcessingEntry<DibConvert_t>(c.entry);
        ASSERT_NE(fn, nullptr);
        Dib result(fn(c.source.get()));
        ASSERT_EQ(LayoutProblem(result.get()), "") << c.entry;
        EXPECT_EQ(ReadHeader(result.get()).bits, 24) << c.entry;
        EXPECT_EQ(MaxDifference(DibImage(result.get()), DibImage(c.source.get())), 0) << c.entry;
    }
}

TEST(DepthConversion, SixteenBitScalesEveryChannelToFullRange) {
    auto fn = ProcessingEntry<DibConvert_t>("DIB16To24");
    ASSERT_NE(fn, nullptr);
    const auto scale = [](unsigned v, unsigned max) {
        return static_cast<int>(std::lround(v * 255.0 / max));
    };
    // Plain 16-bit is 5-5-5; the bit-field form here is 5-6-5.
    Dib plain = MakeDib(W, H, 16, {}, [](int x, int y) {
        return static_cast<std::uint32_t>((x * 2 + y) % 32 << 10 | (x + 5 * y) % 32 << 5 |
                                          (31 - x) % 32);
    });
    Dib fields = MakeDib(W, H, 16, {},
                         [](int x, int y) {
                             return static_cast<std::uint32_t>(
                                 (x * 2 + y) % 32 << 11 | (x * 5 + y) % 64 << 5 | (31 - x) % 32);
                         },
                         {0xF800, 0x07E0, 0x001F});
    Dib a(fn(plain.get()));
    Dib b(fn(fields.get()));
    ASSERT_EQ(LayoutProblem(a.get()), "");
    ASSERT_EQ(LayoutProblem(b.get()), "");
    const QImage ia = DibImage(a.get());
    const QImage ib = DibImage(b.get());
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            EXPECT_EQ(ia.pixel(x, y), qRgb(scale((x * 2 + y) % 32, 31), scale((x + 5 * y) % 32, 31),
                                           scale((31 - x) % 32, 31)))
                << x << "," << y;
            EXPECT_EQ(ib.pixel(x, y), qRgb(scale((x * 2 + y) % 32, 31), scale((x * 5 + y) % 64, 63),
                                           scale((31 - x) % 32, 31)))
                << x << "," << y;
        }
    }
}

TEST(DepthConversion, ThirtyTwoBitDropsTheFourthByteOrFollowsItsMasks) {
    auto fn = ProcessingEntry<DibConvert_t>("DIB32To24");
    ASSERT_NE(fn, nullptr);
    const auto colour = [](int x, int y) {
        return static_cast<std::uint32_t>((x * 19) << 16 | (y * 41) << 8 | (x * y + 3));
    };
    Dib plain = MakeDib(W, H, 32, {}, [&](int x, int y) { return 0xEE000000u | colour(x, y); });
    // Blue in the low byte of the masks' order red, green, blue: a red-blue swapped layout.
    Dib swapped = MakeDib(W, H, 32, {},
                          [&](int x, int y) {
                              const std::uint32_t c = colour(x, y);
                              return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
                          },
                          {0x000000FF, 0x0000FF00, 0x00FF0000});
    for (Dib* source : {&plain, &swapped}) {
        Dib result(fn(source->get()));
        ASSERT_EQ(LayoutProblem(result.get()), "");
        EXPECT_EQ(ReadHeader(result.get()).bits, 24);
        const QImage image = DibImage(result.get());
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, colour(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(DepthConversion, WrongInputsGiveNothing) {
    Dib eight = Indexed(8);
    Dib rgb = MakeDib(W, H, 24, {}, [](int x, int) { return 0x010101u * x; });
    for (const char* entry : {"DIB1to4", "DIB1To8", "DIB1To24", "DIB4To8", "DIB4To24"}) {
        auto fn = ProcessingEntry<DibConvert_t>(entry);
        ASSERT_NE(fn, nullptr);
        EXPECT_EQ(fn(eight.get()), nullptr) << entry;
        EXPECT_EQ(fn(nullptr), nullptr) << entry;
    }
    for (const char* entry : {"DIB8To24", "DIB16To24", "DIB32To24"}) {
        auto fn = ProcessingEntry<DibConvert_t>(entry);
        ASSERT_NE(fn, nullptr);
        EXPECT_EQ(fn(rgb.get()), nullptr) << entry;
        EXPECT_EQ(fn(nullptr), nullptr) << entry;
    }
}

std::set<QRgb> Colours(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours;
}

TEST(Reduction, GivesTheAskedDepthWithAtMostItsColours) {
    auto reduce = ProcessingEntry<ReduceDib_t>("ReduceDib");
    ASSERT_NE(reduce, nullptr);
    // 4800 distinct colours.
    Dib rich = MakeDib(80, 60, 24, {}, [](int x, int y) {
        return static_cast<std::uint32_t>((x * 3) << 16 | (y * 4) << 8 | ((x + y) * 2 & 0xFF));
    });
    const QImage original = DibImage(rich.get());
    ASSERT_GT(Colours(original).size(), 256u);
    for (int dither : {0, 1}) {
        for (const auto& [bits, limit] : {std::pair{8, 256u}, {4, 16u}, {1, 2u}, {0, 16u}}) {
            Dib result(reduce(rich.get(), static_cast<std::int16_t>(bits),
                              static_cast<std::int16_t>(dither)));
            ASSERT_EQ(LayoutProblem(result.get()), "") << bits << " dither " << dither;
            const Header h = ReadHeader(result.get());
            EXPECT_EQ(h.bits, bits == 0 ? 4 : bits);
            EXPECT_LE(h.used, limit);
            const QImage image = DibImage(result.get());
            ASSERT_FALSE(image.isNull());
            EXPECT_LE(Colours(image).size(), limit);
            if (bits == 8) {
                // 256 colours are plenty for a smooth picture.
                double error = 0;
                for (int y = 0; y < 60; ++y) {
                    for (int x = 0; x < 80; ++x) {
                        error += std::abs(qGray(image.pixel(x, y)) - qGray(original.pixel(x, y)));
                    }
                }
                EXPECT_LT(error / (80 * 60), 6.0) << "dither " << dither;
            }
        }
    }
    Dib plain(reduce(rich.get(), 4, 0));
    Dib dithered(reduce(rich.get(), 4, 1));
    EXPECT_GT(MaxDifference(DibImage(plain.get()), DibImage(dithered.get())), 0)
        << "the dither flag is the third argument";
}

TEST(Reduction, FewColoursSurviveExactlyAndIndexedInputsWork) {
    auto reduce = ProcessingEntry<ReduceDib_t>("ReduceDib");
    ASSERT_NE(reduce, nullptr);
    Dib few = MakeDib(W, H, 24, {}, [](int x, int y) { return (x + y) % 5 * 0x332211u; });
    Dib result(reduce(few.get(), 8, 0));
    ASSERT_EQ(LayoutProblem(result.get()), "");
    EXPECT_EQ(MaxDifference(DibImage(result.get()), DibImage(few.get())), 0);
    Dib eight = Indexed(8);
    Dib sixteen(reduce(eight.get(), 4, 0));
    ASSERT_EQ(LayoutProblem(sixteen.get()), "");
    EXPECT_LE(Colours(DibImage(sixteen.get())).size(), 16u);
    EXPECT_EQ(reduce(nullptr, 8, 0), nullptr);
}

// The turn is checked against Qt's own transform of the same picture.
QImage Turned(const QImage& image, int degrees) {
    // Qt's positive angles turn clockwise on screen; whole turns are taken off first, as Qt's
    // own arithmetic is not exact beyond one.
    return image.transformed(QTransform().rotate(-(degrees % 360)));
}

TEST(Rotation, QuarterTurnsAreExactAtEveryDepth) {
    auto rotate = ProcessingEntry<PLRotate_t>("PLRotate");
    ASSERT_NE(rotate, nullptr);
    Dib sources[] = {Indexed(1), Indexed(4), Indexed(8), MakeDib(W, H, 24, {}, [](int x, int y) {
                         return static_cast<std::uint32_t>(x * 0x130000 + y * 0x2900 + x * y);
                     })};
    for (const Dib& source : sources) {
        const Header in = ReadHeader(source.get());
        const QImage original = DibImage(source.get());
        for (int degrees : {90, 180, 270, 360, -90, 450}) {
            Dib turned(rotate(source.get(), degrees, 0, 0, W, H, 0x00FF00FF));
            ASSERT_EQ(LayoutProblem(turned.get()), "") << in.bits << " bits, " << degrees;
            const Header out = ReadHeader(turned.get());
            EXPECT_EQ(out.bits, in.bits) << degrees;
            EXPECT_EQ(MaxDifference(DibImage(turned.get()), Turned(original, degrees)), 0)
                << in.bits << " bits, " << degrees;
        }
        // Four quarter turns in a row come back to the start.
        Dib current(rotate(source.get(), 90, 0, 0, W, H, 0));
        for (int i = 0; i < 3; ++i) {
            const Header h = ReadHeader(current.get());
            current.reset(rotate(current.get(), 90, 0, 0, h.width, h.height, 0));
            ASSERT_NE(current, nullptr);
        }
        EXPECT_EQ(MaxDifference(DibImage(current.get()), original), 0) << in.bits << " bits";
    }
}

TEST(Rotation, TopRightCornerComesToTopLeft) {
    auto rotate = ProcessingEntry<PLRotate_t>("PLRotate");
    ASSERT_NE(rotate, nullptr);
    Dib source =
        MakeDib(3, 2, 24, {}, [](int x, int y) { return x == 2 && y == 0 ? 0xFF0000u : 0; });
    Dib turned(rotate(source.get(), 90.0, 0, 0, 3, 2, 0));
    const QImage image = DibImage(turned.get());
    ASSERT_EQ(image.size(), QSize(2, 3));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
}

TEST(Rotation, OtherAnglesFillWithTheBackgroundAndBadRectanglesFail) {
    auto rotate = ProcessingEntry<PLRotate_t>("PLRotate");
    ASSERT_NE(rotate, nullptr);
    Dib source = MakeDib(20, 10, 24, {}, [](int, int) { return 0x000000u; });
    Dib turned(rotate(source.get(), 45.0, 0, 0, 20, 10, 0x00FF0000)); // blue, as 0x00BBGGRR
    ASSERT_EQ(LayoutProblem(turned.get()), "");
    const QImage image = DibImage(turned.get());
    EXPECT_GT(image.width(), 20);
    EXPECT_GT(image.height(), 10);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(rotate(source.get(), 90.0, 0, 0, 19, 10, 0), nullptr);
    EXPECT_EQ(rotate(source.get(), 90.0, 1, 0, 20, 10, 0), nullptr);
    EXPECT_EQ(rotate(source.get(), std::nan(""), 0, 0, 20, 10, 0), nullptr);
    EXPECT_EQ(rotate(nullptr, 90.0, 0, 0, 20, 10, 0), nullptr);
}

// A run-length DIB from its encoded bytes.
Dib RunLength(int width, int height, int bits, const std::vector<QRgb>& table,
              const std::vector<std::uint8_t>& data) {
    const std::size_t offset = 40 + 4 * table.size();
    Dib dib(std::calloc(1, offset + data.size()));
    auto* b = static_cast<std::uint8_t*>(dib.get());
    const std::uint32_t header[] = {40,
                                    static_cast<std::uint32_t>(width),
                                    static_cast<std::uint32_t>(height),
                                    static_cast<std::uint32_t>(bits) << 16 | 1,
                                    bits == 8 ? 1u : 2u,
                                    static_cast<std::uint32_t>(data.size()),
                                    2953,
                                    2953,
                                    static_cast<std::uint32_t>(table.size()),
                                    0};
    std::memcpy(b, header, 40);
    for (std::size_t i = 0; i < table.size(); ++i) {
        b[40 + 4 * i] = static_cast<std::uint8_t>(qBlue(table[i]));
        b[41 + 4 * i] = static_cast<std::uint8_t>(qGreen(table[i]));
        b[42 + 4 * i] = static_cast<std::uint8_t>(qRed(table[i]));
    }
    std::memcpy(b + offset, data.data(), data.size());
    return dib;
}

TEST(RunLength, EightAndFourBitRunsExpandExactly) {
    auto expand = MainEntry<DibtoDdb_t>("DibtoDdb");
    ASSERT_NE(expand, nullptr);
    const std::vector<QRgb> table = Table(16);
    // 5 x 3, rows bottom first: an encoded run, an absolute run (odd, padded), end of line,
    // end of picture.
    const std::vector<std::uint8_t> rle8 = {5, 1, 0, 0,                   // bottom row: 1 1 1 1 1
                                            2, 2, 0, 3, 3, 4, 5, 0, 0, 0, // middle row: 2 2 3 4 5
                                            1, 6, 4, 7, 0, 1};            // top row: 6 7 7 7 7
    const int expected8[3][5] = {{6, 7, 7, 7, 7}, {2, 2, 3, 4, 5}, {1, 1, 1, 1, 1}};
    Dib dib8 = RunLength(5, 3, 8, table, rle8);
    Dib plain8(expand(dib8.get()));
    ASSERT_EQ(LayoutProblem(plain8.get()), "");
    const QImage image8 = DibImage(plain8.get());
    ASSERT_EQ(image8.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(image8.pixel(x, y), table[expected8[y][x]] | 0xFF000000) << x << "," << y;
        }
    }
    // The same idea with nibbles: runs alternate the two indexes of their byte.
    const std::vector<std::uint8_t> rle4 = {
        5, 0x12, 0,    0,                   // bottom: 1 2 1 2 1
        0, 5,    0x34, 0x56, 0x70, 0, 0, 0, // middle (absolute, 3 bytes padded to 4): 3 4 5 6 7
        4, 0x88, 1,    0x09, 0,    1};      // top: 8 8 8 8 0
    const int expected4[3][5] = {{8, 8, 8, 8, 0}, {3, 4, 5, 6, 7}, {1, 2, 1, 2, 1}};
    Dib dib4 = RunLength(5, 3, 4, table, rle4);
    Dib plain4(expand(dib4.get()));
    ASSERT_EQ(LayoutProblem(plain4.get()), "");
    const QImage image4 = DibImage(plain4.get());
    ASSERT_EQ(image4.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(image4.pixel(x, y), table[expected4[y][x]] | 0xFF000000) << x << "," << y;
        }
    }
}

TEST(RunLength, FixtureBlockExpandsToWhatQtDecodes) {
    auto expand = MainEntry<DibtoDdb_t>("DibtoDdb");
    ASSERT_NE(expand, nullptr);
    QFile file(Fixture("rle8.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(U32(bytes.constData(), 30), 1u) << "the fixture is run-length";
    // The block is the file without its 14-byte file header.
    Dib block(std::malloc(static_cast<std::size_t>(bytes.size()) - 14));
    std::memcpy(block.get(), bytes.constData() + 14, static_cast<std::size_t>(bytes.size()) - 14);
    Dib plain(expand(block.get()));
    ASSERT_EQ(LayoutProblem(plain.get()), "");
    EXPECT_EQ(MaxDifference(DibImage(plain.get()), QImage(Fixture("rle8.bmp"))), 0);
    // A plain DIB comes back as an equal copy.
    Dib again(expand(plain.get()));
    ASSERT_EQ(LayoutProblem(again.get()), "");
    EXPECT_NE(again.get(), plain.get());
    EXPECT_EQ(MaxDifference(DibImage(again.get()), DibImage(plain.get())), 0);
}

TEST(RunLength, RunsPastTheEdgesOrTheDataDoNotEscape) {
    auto expand = MainEntry<DibtoDdb_t>("DibtoDdb");
    ASSERT_NE(expand, nullptr);
    const std::vector<QRgb> table = Table(16);
    const std::vector<std::vector<std::uint8_t>> streams = {
        {255, 1, 255, 2, 255, 3, 0, 1},             // runs far longer than the rows
        {0, 2, 200, 200, 5, 1, 0, 1},               // a move far outside the picture
        {0, 200, 1, 2},                             // an absolute run past the data
        {5},                                        // cut inside a run
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 0, 1}, // more rows than the picture has
    };
    for (int bits : {8, 4}) {
        for (const auto& data : streams) {
            Dib dib = RunLength(5, 3, bits, table, data);
            Dib plain(expand(dib.get()));
            if (plain) {
                EXPECT_EQ(LayoutProblem(plain.get()), "");
                EXPECT_EQ(DibImage(plain.get()).size(), QSize(5, 3));
            }
        }
    }
}

} // namespace
