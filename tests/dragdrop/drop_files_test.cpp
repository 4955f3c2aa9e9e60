#include "dragdrop/drop_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace pelisto;

namespace {

// A block of exactly the given bytes, so any read past its end lands outside the allocation.
GlobalMemory Block(const std::vector<unsigned char>& bytes) {
    GlobalMemory block(bytes.size());
    std::memcpy(block.Lock(), bytes.data(), bytes.size());
    return block;
}

std::vector<unsigned char> Header(std::uint32_t offset, bool wide) {
    std::vector<unsigned char> bytes(20, 0);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(offset >> (8 * i));
    }
    bytes[16] = wide ? 1 : 0;
    return bytes;
}

void AppendNarrow(std::vector<unsigned char>& bytes, const char* utf8, bool terminate = true) {
    bytes.insert(bytes.end(), utf8, utf8 + std::strlen(utf8));
    if (terminate) {
        bytes.push_back(0);
    }
}

void AppendWide(std::vector<unsigned char>& bytes, const QString& name, bool terminate = true) {
    for (const QChar c : name) {
        bytes.push_back(static_cast<unsigned char>(c.unicode() & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c.unicode() >> 8));
    }
    if (terminate) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
}

const QString Unicode = QString::fromUtf8("/photos/Ünïcødé 写真.jpg");
const QString Emoji = QString::fromUtf8("/photos/\U0001F4F7 camera.png"); // a surrogate pair

TEST(DropFiles, WideBlockHasTheShellLayout) {
    const HGLOBAL block = BuildDropFiles({"/a.b", "C"}, true);
    std::vector<unsigned char> expected = Header(20, true);
    AppendWide(expected, "/a.b");
    AppendWide(expected, "C");
    expected.push_back(0);
    expected.push_back(0);
    ASSERT_EQ(block->Size(), expected.size());
    EXPECT_EQ(std::memcmp(block->Lock(), expected.data(), expected.size()), 0);
}

TEST(DropFiles, WideAndNarrowListsReadBackNameByName) {
    const QStringList names{"/photos/a.jpg", Unicode, Emoji, "/photos/last.gif"};
    EXPECT_EQ(ReadDropFiles(*BuildDropFiles(names, true)), names);
    EXPECT_EQ(ReadDropFiles(*BuildDropFiles(names, false)), names);

    // A hand-made 8-bit list with multi-byte characters, its names after a gap in the block.
    std::vector<unsigned char> bytes = Header(24, false);
    bytes.insert(bytes.end(), {0xEE, 0xEE, 0xEE, 0xEE});
    AppendNarrow(bytes, "/p/Ünïcødé 写真.jpg");
    AppendNarrow(bytes, "/p/b.png");
    bytes.push_back(0);
    EXPECT_EQ(ReadDropFiles(Block(bytes)),
              (QStringList{QString::fromUtf8("/p/Ünïcødé 写真.jpg"), "/p/b.png"}));

    // A wide list whose names start at an odd offset is still read character by character.
    std::vector<unsigned char> odd = Header(21, true);
    odd.push_back(0x55);
    AppendWide(odd, Unicode);
    AppendWide(odd, "/x.tga");
    odd.insert(odd.end(), {0, 0});
    EXPECT_EQ(ReadDropFiles(Block(odd)), (QStringList{Unicode, "/x.tga"}));
}

TEST(DropFiles, MalformedBlocksEndTheListInsideTheBlock) {
    // Too short for the header.
    EXPECT_TRUE(ReadDropFiles(Block({20, 0, 0, 0, 0, 0})).isEmpty());
    EXPECT_TRUE(ReadDropFiles(nullptr, 0).isEmpty());

    // First-name offset past the end, at the end, and far beyond it.
    std::vector<unsigned char> names = Header(20, true);
    AppendWide(names, "/a.jpg");
    names.insert(names.end(), {0, 0});
    for (const std::uint32_t offset : {static_cast<std::uint32_t>(names.size()),
                                       static_cast<std::uint32_t>(names.size() + 1), 0xFFFFFFF0u}) {
        std::vector<unsigned char> bytes = names;
        const std::vector<unsigned char> header = Header(offset, true);
        std::copy(header.begin(), header.begin() + 4, bytes.begin());
        EXPECT_TRUE(ReadDropFiles(Block(bytes)).isEmpty()) << offset;
    }

    // No closing empty name: the complete names are kept.
    std::vector<unsigned char> unclosed = Header(20, true);
    AppendWide(unclosed, "/a.jpg");
    AppendWide(unclosed, "/b.jpg");
    EXPECT_EQ(ReadDropFiles(Block(unclosed)), (QStringList{"/a.jpg", "/b.jpg"}));

    // A last name cut off by the end of the block is dropped, wide and narrow.
    std::vector<unsigned char> cut = Header(20, true);
    AppendWide(cut, "/a.jpg");
    AppendWide(cut, "/b.jp", false);
    EXPECT_EQ(ReadDropFiles(Block(cut)), QStringList{"/a.jpg"});
    cut.push_back('g'); // half a wide character
    EXPECT_EQ(ReadDropFiles(Block(cut)), QStringList{"/a.jpg"});

    std::vector<unsigned char> cutNarrow = Header(20, false);
    AppendNarrow(cutNarrow, "/a.jpg");
    AppendNarrow(cutNarrow, "/b.jpg", false);
    EXPECT_EQ(ReadDropFiles(Block(cutNarrow)), QStringList{"/a.jpg"});

    // Header only: no names at all.
    EXPECT_TRUE(ReadDropFiles(Block(Header(20, false))).isEmpty());
}

} // namespace
