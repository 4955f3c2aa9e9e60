#include "slideshow/slideshow_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

namespace pelisto {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Stub, pictures and trailer as a builder lays them out.
Bytes BuildFile(std::size_t stubSize, const std::vector<std::size_t>& pictureSizes, bool automatic,
                std::uint16_t delay) {
    Bytes file(stubSize, 0x7F);
    SlideshowWriter writer(stubSize);
    for (std::size_t i = 0; i < pictureSizes.size(); ++i) {
        Bytes picture(pictureSizes[i], static_cast<std::uint8_t>(0xA0 + i));
        picture.front() = 0xFF; // looks like a JPEG start; the reader must not care
        file.insert(file.end(), picture.begin(), picture.end());
        writer.AddPicture(picture.size());
    }
    const Bytes trailer = writer.Trailer(automatic, delay);
    file.insert(file.end(), trailer.begin(), trailer.end());
    return file;
}

void PutU32At(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

SlideshowErrorKind ReadError(const Bytes& file) {
    try {
        ReadSlideshow(MemoryByteSource(file));
    } catch (const SlideshowError& e) {
        EXPECT_STRNE(e.what(), "");
        return e.Kind();
    }
    ADD_FAILURE() << "the file was accepted";
    return SlideshowErrorKind::OpenFailed;
}

TEST(SlideshowReader, RoundTripsWhatTheWriterBuilds) {
    const std::vector<std::vector<std::size_t>> cases{{1}, {5, 1, 300}, {4000, 3, 3, 3, 70}};
    for (const auto& sizes : cases) {
        const Bytes file = BuildFile(777, sizes, sizes.size() % 2 == 1, 65535);
        const SlideshowLayout layout = ReadSlideshow(MemoryByteSource(file));
        EXPECT_EQ(layout.stubLength, 777u);
        EXPECT_EQ(layout.automatic, sizes.size() % 2 == 1);
        EXPECT_EQ(layout.delaySeconds, 65535);
        ASSERT_EQ(layout.pictures.size(), sizes.size());
        std::uint64_t offset = 777;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            EXPECT_EQ(layout.pictures[i].offset, offset);
            EXPECT_EQ(layout.pictures[i].length, sizes[i]);
            const Bytes picture = ReadPicture(MemoryByteSource(file), layout.pictures[i]);
            EXPECT_TRUE(std::all_of(picture.begin() + 1, picture.end(),
                                    [&](std::uint8_t b) { return b == 0xA0 + i; }));
            offset += sizes[i];
        }
        EXPECT_EQ(layout.trailerOffset, offset);
    }
}

TEST(SlideshowReader, EachMalformationHasItsOwnError) {
    const Bytes good = BuildFile(100, {40, 60}, true, 10); // trailer at 200, 24 bytes
    const std::size_t P = 200;

    EXPECT_EQ(ReadError({}), SlideshowErrorKind::TooShort);
    EXPECT_EQ(ReadError(Bytes(good.end() - 15, good.end())), SlideshowErrorKind::TooShort);
    EXPECT_EQ(ReadError(Bytes(good.begin(), good.end() - 1)), SlideshowErrorKind::NoMarker);

    Bytes b = good;
    b.back() = 'n';
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::NoMarker);

    b = good;
    PutU32At(b, b.size() - 9, 0);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::BadCount);
    b = good;
    PutU32At(b, b.size() - 9, 0xFFFFFFFFu);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::BadCount);
    // Exactly one count too many for the file still fails cleanly.
    b = good;
    PutU32At(b, b.size() - 9, static_cast<std::uint32_t>((b.size() - 16) / 4 + 1));
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::BadCount);

    b = good;
    b[P + 4] = 2;
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::BadFlag);

    b = good;
    b[P + 5] = b[P + 6] = 0;
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::BadDelay);

    b = good;
    PutU32At(b, P + 7, 0);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::EmptyPicture);

    b = good;
    PutU32At(b, P, 201);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::StubOverrun);
    b = good;
    PutU32At(b, P, 0xFFFFFFFFu);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::StubOverrun);

    b = good;
    PutU32At(b, P + 11, 61);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::PictureOverrun);
    b = good;
    PutU32At(b, P + 11, 59);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::PictureGap);
    b = good;
    PutU32At(b, P, 99);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::PictureGap);

    // Lengths whose 32-bit sum wraps around to exactly the trailer offset.
    b = good;
    PutU32At(b, P + 7, 0xFFFFFFFFu);
    PutU32At(b, P + 11, 101);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::PictureOverrun);

    // Bytes appended after a good trailer hide the marker.
    b = good;
    b.push_back(0);
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::NoMarker);
}

// A 64-bit PE header at the start of the stub, and a certificate table appended as a signing
// tool does: zero bytes to align it, then the certificates, recorded in the security entry.
constexpr std::size_t kPeAt = 64;
constexpr std::size_t kSecurityEntry = kPeAt + 24 + 112 + 8 * 4;

Bytes BuildProgram() {
    Bytes file = BuildFile(512, {40, 60}, true, 10);
    std::fill(file.begin(), file.begin() + 512, 0);
    file[0] = 'M';
    file[1] = 'Z';
    PutU32At(file, 0x3C, kPeAt);
    std::memcpy(&file[kPeAt], "PE\0\0", 4);
    file[kPeAt + 20] = 240;  // optional header size: 112 + 16 directories
    file[kPeAt + 24] = 0x0B; // PE32+
    file[kPeAt + 25] = 0x02;
    PutU32At(file, kPeAt + 24 + 108, 16);
    return file;
}

struct Certificate {
    std::uint32_t length;
    std::uint16_t revision = 0x0200;
};

void Sign(Bytes& file, std::size_t padding, const std::vector<Certificate>& certificates) {
    file.resize(file.size() + padding, 0);
    const std::size_t table = file.size();
    for (const auto& c : certificates) {
        const std::size_t at = file.size();
        file.resize(at + ((c.length + 7) & ~7u), 0xC5);
        PutU32At(file, at, c.length);
        file[at + 4] = static_cast<std::uint8_t>(c.revision);
        file[at + 5] = static_cast<std::uint8_t>(c.revision >> 8);
    }
    PutU32At(file, kSecurityEntry, static_cast<std::uint32_t>(table));
    PutU32At(file, kSecurityEntry + 4, static_cast<std::uint32_t>(file.size() - table));
}

TEST(SlideshowReader, SignedProgramsEndWhereTheirCertificatesBegin) {
    const Bytes unsigned_ = BuildProgram();
    const SlideshowLayout expected = ReadSlideshow(MemoryByteSource(unsigned_));
    const auto sameAsUnsigned = [&](const Bytes& file) {
        const SlideshowLayout layout = ReadSlideshow(MemoryByteSource(file));
        EXPECT_EQ(layout.trailerOffset, expected.trailerOffset);
        ASSERT_EQ(layout.pictures.size(), 2u);
        EXPECT_EQ(layout.pictures[1].offset, expected.pictures[1].offset);
        EXPECT_EQ(layout.pictures[1].length, 60u);
    };
    for (const std::size_t padding : {0, 3, 7}) {
        Bytes b = unsigned_;
        Sign(b, padding, {{1200}, {13, 0x0100}});
        SCOPED_TRACE(padding);
        sameAsUnsigned(b);
    }
    Bytes b = unsigned_;
    Sign(b, 0, {{1203}});
    std::fill(b.end() - 5, b.end(), 0); // zero padding after the table, outside its size
    PutU32At(b, kSecurityEntry + 4, 1203);
    sameAsUnsigned(b);

    // Only up to 7 zero bytes are padding.
    b = unsigned_;
    Sign(b, 8, {{1200}});
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::NoMarker);

    Bytes good = unsigned_;
    Sign(good, 4, {{1200}});
    const std::size_t table = unsigned_.size() + 4;
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> damaged{
        {"bytes after the table", [](Bytes& f) { f.insert(f.end(), 8, 0); }},
        {"a non-zero byte after it", [](Bytes& f) { f.push_back(1); }},
        {"table past the end", [&](Bytes& f) { PutU32At(f, kSecurityEntry + 4, 1209); }},
        {"offset past the end", [&](Bytes& f) { PutU32At(f, kSecurityEntry, 0xFFFFFFF0u); }},
        {"table too small", [&](Bytes& f) { PutU32At(f, kSecurityEntry + 4, 4); }},
        {"certificate length 0", [&](Bytes& f) { PutU32At(f, table, 0); }},
        {"certificate too long", [&](Bytes& f) { PutU32At(f, table, 1201); }},
        {"unknown revision", [&](Bytes& f) { f[table + 5] = 0x03; }},
        {"table starts late",
         [&](Bytes& f) {
             PutU32At(f, kSecurityEntry, table + 8);
             PutU32At(f, kSecurityEntry + 4, 1192);
         }},
    };
    for (const auto& [what, damage] : damaged) {
        b = good;
        damage(b);
        SCOPED_TRACE(what);
        EXPECT_EQ(ReadError(b), SlideshowErrorKind::BadSignature);
    }

    // The rule holds for PE programs only: a Linux stub's trailing bytes hide the marker, and
    // so do those of a stub whose header is not a PE one.
    b = good;
    b[0] = 0x7F;
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::NoMarker);
    b = good;
    b[kPeAt + 1] = 'X';
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::NoMarker);
    b = good;
    PutU32At(b, kPeAt + 24 + 108, 4); // no security entry among the directories
    EXPECT_EQ(ReadError(b), SlideshowErrorKind::NoMarker);
}

TEST(SlideshowReader, OpenErrorsNameTheFile) {
    try {
        ReadSlideshowFile("/nonexistent/folder/show.exe");
        FAIL() << "opened a missing file";
    } catch (const SlideshowError& e) {
        EXPECT_EQ(e.Kind(), SlideshowErrorKind::OpenFailed);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/folder/show.exe"), std::string::npos);
    }
    try {
        ReadSlideshowFile("/tmp");
        FAIL() << "read a folder";
    } catch (const SlideshowError& e) {
        EXPECT_EQ(e.Kind(), SlideshowErrorKind::OpenFailed);
    }
}

// A file past 4 GiB, made up on the fly: offsets must be 64-bit all the way.
class LargeSource final : public ByteSource {
public:
    LargeSource(std::uint64_t size, Bytes trailer) : size_(size), trailer_(std::move(trailer)) {}
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        ASSERT_LE(offset + out.size(), size_);
        const std::uint64_t trailerAt = size_ - trailer_.size();
        for (std::size_t i = 0; i < out.size(); ++i) {
            const std::uint64_t at = offset + i;
            out[i] = at >= trailerAt ? trailer_[at - trailerAt] : 0;
        }
    }

private:
    std::uint64_t size_;
    Bytes trailer_;
};

TEST(SlideshowReader, HandlesFilesBeyondFourGigabytes) {
    const std::vector<std::uint32_t> lengths{0xF0000000u, 0xF0000000u, 5};
    const Bytes trailer = EncodeTrailer({1000, false, 2, lengths});
    const std::uint64_t size = 1000 + 2 * std::uint64_t{0xF0000000u} + 5 + trailer.size();
    const SlideshowLayout layout = ReadSlideshow(LargeSource(size, trailer));
    ASSERT_EQ(layout.pictures.size(), 3u);
    EXPECT_EQ(layout.pictures[2].offset, 1000 + 2 * std::uint64_t{0xF0000000u});
    EXPECT_EQ(layout.trailerOffset, size - trailer.size());

    try {
        ReadSlideshow(LargeSource(size - 1, trailer));
        FAIL() << "accepted pictures one byte too long";
    } catch (const SlideshowError& e) {
        EXPECT_EQ(e.Kind(), SlideshowErrorKind::PictureOverrun);
    }
}

// Truncations, byte changes and appended bytes of a real file: the reader either fails with
// its own error or returns a layout that describes the file exactly.
TEST(SlideshowReader, DamagedFilesNeverMisread) {
    const Bytes good = BuildFile(300, {120, 1, 77, 250}, true, 42);
    std::mt19937 rng(20240611);
    int accepted = 0;
    int rejected = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes b = good;
        switch (round % 4) {
        case 0: // truncate
            b.resize(std::uniform_int_distribution<std::size_t>(0, good.size())(rng));
            break;
        case 1: // change bytes, mostly within the trailer where they matter
        case 2: {
            const int changes = std::uniform_int_distribution<int>(1, 4)(rng);
            for (int c = 0; c < changes; ++c) {
                const std::size_t from = round % 4 == 1 ? good.size() - 32 : 0;
                const std::size_t at =
                    std::uniform_int_distribution<std::size_t>(from, good.size() - 1)(rng);
                b[at] = static_cast<std::uint8_t>(rng());
            }
            break;
        }
        default: { // cut inside and graft a tail of the good trailer back on
            const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, good.size())(rng);
            const std::size_t keep = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
            b.resize(cut);
            b.insert(b.end(), good.end() - static_cast<std::ptrdiff_t>(keep), good.end());
            break;
        }
        }
        try {
            const SlideshowLayout layout = ReadSlideshow(MemoryByteSource(b));
            ++accepted;
            ASSERT_FALSE(layout.pictures.empty());
            std::uint64_t offset = layout.stubLength;
            SlideshowTrailer t{layout.stubLength, layout.automatic, layout.delaySeconds, {}};
            for (const auto& p : layout.pictures) {
                ASSERT_EQ(p.offset, offset);
                ASSERT_GT(p.length, 0u);
                offset += p.length;
                t.pictureLengths.push_back(p.length);
            }
            ASSERT_EQ(offset, layout.trailerOffset);
            const Bytes encoded = EncodeTrailer(t);
            ASSERT_EQ(layout.trailerOffset + encoded.size(), b.size());
            ASSERT_TRUE(std::equal(encoded.begin(), encoded.end(),
                                   b.begin() + static_cast<std::ptrdiff_t>(layout.trailerOffset)));
        } catch (const SlideshowError&) {
            ++rejected;
        }
    }
    // Both outcomes must actually occur, or the mutations test nothing.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(rejected, 1000);
}

} // namespace
} // namespace pelisto
