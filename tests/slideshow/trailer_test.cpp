#include "slideshow/slideshow_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace pelisto {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Filler(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return b;
}

TEST(SlideshowTrailer, ExampleFileIsByteExact) {
    // Stub 51,200 bytes, pictures of 10,000 and 20,000, automatic, 10 seconds.
    SlideshowWriter writer(51200);
    writer.AddPicture(10000);
    writer.AddPicture(20000);
    const Bytes trailer = writer.Trailer(true, 10);

    const Bytes expected{0x00, 0xC8, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x10, 0x27, 0x00, 0x00, 0x20,
                         0x4E, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x57, 0x41, 0x47, 0x4F, 0x4E};
    EXPECT_EQ(trailer, expected);
    EXPECT_EQ(writer.BodySize() + trailer.size(), 81224u);

    // The same through the one-shot encoder, and the whole file through a real file.
    EXPECT_EQ(EncodeTrailer({51200, true, 10, {10000, 20000}}), expected);
    Bytes file = Filler(51200, 1);
    const Bytes p0 = Filler(10000, 2), p1 = Filler(20000, 3);
    file.insert(file.end(), p0.begin(), p0.end());
    file.insert(file.end(), p1.begin(), p1.end());
    file.insert(file.end(), trailer.begin(), trailer.end());
    ASSERT_EQ(file.size(), 81224u);

    const auto path = std::filesystem::temp_directory_path() /
                      ("slideshow_example_" + std::to_string(::getpid()) + ".exe");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    const SlideshowLayout layout = ReadSlideshowFile(path.string());
    std::filesystem::remove(path);

    EXPECT_EQ(layout.stubLength, 51200u);
    EXPECT_TRUE(layout.automatic);
    EXPECT_EQ(layout.delaySeconds, 10);
    ASSERT_EQ(layout.pictures.size(), 2u);
    EXPECT_EQ(layout.pictures[0].offset, 51200u);
    EXPECT_EQ(layout.pictures[0].length, 10000u);
    EXPECT_EQ(layout.pictures[1].offset, 61200u);
    EXPECT_EQ(layout.pictures[1].length, 20000u);
    EXPECT_EQ(layout.trailerOffset, 81200u);
    const MemoryByteSource memory(file);
    EXPECT_EQ(ReadPicture(memory, layout.pictures[1]), p1);
}

TEST(SlideshowTrailer, DelayAndFlagBytes) {
    auto delayBytes = [](std::uint16_t delay) {
        const Bytes t = EncodeTrailer({0, false, delay, {1}});
        return Bytes(t.begin() + 5, t.begin() + 7);
    };
    EXPECT_EQ(delayBytes(65535), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(delayBytes(1), (Bytes{0x01, 0x00}));
    EXPECT_EQ(delayBytes(0x1234), (Bytes{0x34, 0x12}));
    EXPECT_EQ(EncodeTrailer({0, false, 5, {1}})[4], 0);
    EXPECT_EQ(EncodeTrailer({0, true, 5, {1}})[4], 1);
}

TEST(SlideshowTrailer, SizeGrowsByFourPerPicture) {
    for (std::size_t n : {1u, 2u, 17u, 300u}) {
        const SlideshowTrailer t{123, false, 3, std::vector<std::uint32_t>(n, 9)};
        EXPECT_EQ(EncodeTrailer(t).size(), 16 + 4 * n);
        EXPECT_EQ(TrailerSize(n), 16 + 4 * n);
    }
}

TEST(SlideshowTrailer, WriterRefusesWhatNoReaderAccepts) {
    auto kindOf = [](auto&& action) {
        try {
            action();
        } catch (const SlideshowError& e) {
            return e.Kind();
        }
        ADD_FAILURE() << "no error";
        return SlideshowErrorKind::OpenFailed;
    };
    EXPECT_EQ(kindOf([] { EncodeTrailer({0, false, 10, {}}); }), SlideshowErrorKind::BadCount);
    EXPECT_EQ(kindOf([] { EncodeTrailer({0, false, 0, {5}}); }), SlideshowErrorKind::BadDelay);
    EXPECT_EQ(kindOf([] {
                  EncodeTrailer({0, false, 1, {5, 0}});
              }),
              SlideshowErrorKind::EmptyPicture);
    EXPECT_EQ(kindOf([] { SlideshowWriter(std::uint64_t{1} << 32); }),
              SlideshowErrorKind::ValueTooLarge);
    SlideshowWriter w(10);
    EXPECT_EQ(kindOf([&] { w.AddPicture(std::uint64_t{1} << 32); }),
              SlideshowErrorKind::ValueTooLarge);
    EXPECT_EQ(kindOf([&] { w.AddPicture(0); }), SlideshowErrorKind::EmptyPicture);
    EXPECT_EQ(w.PictureCount(), 0u) << "a refused picture must not be counted";
    w.AddPicture(0xFFFFFFFFu);
    EXPECT_EQ(w.BodySize(), std::uint64_t{10} + 0xFFFFFFFFu);
}

} // namespace
} // namespace pelisto
