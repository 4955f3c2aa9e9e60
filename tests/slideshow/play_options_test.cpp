#include "slideshow/play_options.h"

#include <gtest/gtest.h>
#include <set>

using namespace pelisto;

namespace {

// SOI, a JFIF APP0, a DQT stand-in, then SOS and EOI: enough markers for the walk.
std::vector<std::uint8_t> SmallJpeg(bool jfif) {
    std::vector<std::uint8_t> j{0xFF, 0xD8};
    if (jfif) {
        j.insert(j.end(), {0xFF, 0xE0, 0x00, 0x07, 'J', 'F', 'I', 'F', 0});
    }
    j.insert(j.end(), {0xFF, 0xDB, 0x00, 0x03, 0x00, 0xFF, 0xDA, 0x00, 0x02, 0x11, 0xFF, 0xD9});
    return j;
}

} // namespace

TEST(PlayOptions, TravelInsideThePicturesAndOnlyWhenAsked) {
    for (const bool jfif : {true, false}) {
        const auto plain = SmallJpeg(jfif);
        // Nothing asked: the picture's bytes are untouched and nothing is read back.
        EXPECT_EQ(WithPlayOptions(plain, {}), plain);
        EXPECT_FALSE(ReadPlayOptions(plain).has_value());

        const PictureOptions asked{{true, true, 1500}, "Plage d'Étretat"};
        const auto with = WithPlayOptions(plain, asked);
        ASSERT_EQ(with.size(), plain.size() + PlayOptionsSegment(asked).size());
        // The JFIF header stays first, as decoders expect; the rest follows the segment whole.
        const std::size_t at = jfif ? 11 : 2;
        EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + at, with.begin()));
        EXPECT_EQ(with[at], 0xFF);
        EXPECT_EQ(with[at + 1], kPlayOptionsMarker);
        EXPECT_TRUE(std::equal(plain.begin() + at, plain.end(), with.end() - (plain.size() - at)));
        EXPECT_EQ(ReadPlayOptions(with), asked);
    }
    // Each option alone is enough to be written.
    for (const PictureOptions& one :
         {PictureOptions{{true, false, 0}, ""}, PictureOptions{{false, true, 0}, ""},
          PictureOptions{{false, false, 500}, ""}, PictureOptions{{}, "x"}}) {
        EXPECT_EQ(ReadPlayOptions(WithPlayOptions(SmallJpeg(true), one)), one);
    }
    // Too long a caption is cut between characters; too long a crossfade is clamped.
    const PictureOptions huge{{false, false, 60000}, std::string(999, 'a') + "é"};
    const auto read = ReadPlayOptions(WithPlayOptions(SmallJpeg(true), huge));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->caption, std::string(999, 'a'));
    EXPECT_EQ(read->play.crossfadeMs, kMaxCrossfadeMs);
    EXPECT_TRUE(WithPlayOptions(std::vector<std::uint8_t>{0x89, 'P', 'N', 'G'}, huge).empty());
}

TEST(PlayOptions, DamagedOrLaterSegmentsAreIgnored) {
    const auto good = WithPlayOptions(SmallJpeg(true), {{true, false, 700}, "abc"});
    const std::size_t seg = 11; // where the segment starts
    struct Row {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    } rows[] = {
        {"a later version", seg + 4 + 12, 2},
        {"another name", seg + 4, 'Q'},
        {"a caption longer than its segment", seg + 4 + 17, 9},
        {"a segment length past the file", seg + 2, 0x40},
        {"a segment length shorter than its fields", seg + 3, 10},
    };
    for (const Row& row : rows) {
        auto bad = good;
        bad[row.offset] = row.value;
        EXPECT_FALSE(ReadPlayOptions(bad).has_value()) << row.what;
    }
    // Cut anywhere: read or not, never out of bounds (the sanitizer builds watch).
    for (std::size_t n = 0; n < good.size(); ++n) {
        ReadPlayOptions(std::span(good).first(n));
    }
}

TEST(PlayOrder, RoundsShowEveryPictureOnceAndBackspaceRetracesThem) {
    struct Row {
        std::size_t count;
        PlayOptions options;
    } rows[] = {{1, {true, false, 0}},
                {2, {true, false, 0}},
                {7, {true, false, 0}},
                {7, {false, false, 0}}};
    for (const Row& row : rows) {
        for (std::uint64_t seed = 0; seed < 20; ++seed) {
            PlayOrder order(row.count, row.options, seed);
            std::vector<std::size_t> seen{order.Current()};
            for (std::size_t i = 1; i < row.count * 4; ++i) {
                const std::size_t upcoming = order.Upcoming();
                ASSERT_TRUE(order.Next());
                EXPECT_EQ(order.Current(), upcoming);
                seen.push_back(order.Current());
            }
            for (std::size_t round = 0; round < 4; ++round) {
                const std::set<std::size_t> once(seen.begin() + round * row.count,
                                                 seen.begin() + (round + 1) * row.count);
                EXPECT_EQ(once.size(), row.count) << "round " << round << " seed " << seed;
                if (round > 0 && row.count > 1) {
                    EXPECT_NE(seen[round * row.count], seen[round * row.count - 1]);
                }
            }
            if (!row.options.shuffle) {
                for (std::size_t i = 0; i < seen.size(); ++i) {
                    EXPECT_EQ(seen[i], i % row.count);
                }
            }
            for (std::size_t i = seen.size() - 1; i > 0; --i) {
                ASSERT_TRUE(order.Previous());
                EXPECT_EQ(order.Current(), seen[i - 1]);
            }
            // Before the first comes the last of the first round.
            ASSERT_TRUE(order.Previous());
            EXPECT_EQ(order.Current(), seen[row.count - 1]);
        }
    }
}

TEST(PlayOrder, StoppingAtTheEndStaysOnTheLastPicture) {
    for (const bool shuffle : {false, true}) {
        PlayOrder order(5, {shuffle, true, 0}, 3);
        std::set<std::size_t> seen{order.Current()};
        EXPECT_FALSE(order.Previous());
        while (!order.AtEnd()) {
            ASSERT_TRUE(order.Next());
            seen.insert(order.Current());
        }
        EXPECT_EQ(seen.size(), 5u);
        const std::size_t last = order.Current();
        EXPECT_FALSE(order.Next());
        EXPECT_EQ(order.Current(), last);
        EXPECT_EQ(order.Upcoming(), last);
        EXPECT_TRUE(order.Previous());
        EXPECT_FALSE(order.AtEnd());
    }
    PlayOrder none(0, {true, true, 0}, 1);
    EXPECT_FALSE(none.Next());
    EXPECT_FALSE(none.Previous());
}
