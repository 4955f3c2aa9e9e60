#include "slideshow/slideshow_format.h"

#include "slideshow/byte_order.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace pelisto {

const char* SlideshowErrorKindName(SlideshowErrorKind kind) {
    switch (kind) {
    case SlideshowErrorKind::OpenFailed:
        return "cannot open";
    case SlideshowErrorKind::ReadFailed:
        return "read failed";
    case SlideshowErrorKind::TooShort:
        return "file too short";
    case SlideshowErrorKind::NoMarker:
        return "no end marker";
    case SlideshowErrorKind::BadCount:
        return "bad picture count";
    case SlideshowErrorKind::BadFlag:
        return "bad automatic flag";
    case SlideshowErrorKind::BadDelay:
        return "bad delay";
    case SlideshowErrorKind::EmptyPicture:
        return "empty picture";
    case SlideshowErrorKind::StubOverrun:
        return "stub overruns trailer";
    case SlideshowErrorKind::PictureOverrun:
        return "pictures overrun trailer";
    case SlideshowErrorKind::PictureGap:
        return "gap before trailer";
    case SlideshowErrorKind::ValueTooLarge:
        return "value too large";
    case SlideshowErrorKind::BadSignature:
        return "bad certificate table";
    }
    return "unknown";
}

namespace {

constexpr std::uint64_t kU32Max = std::numeric_limits<std::uint32_t>::max();

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t le[4];
    bytes::PutLe32(le, v);
    out.insert(out.end(), le, le + 4);
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return bytes::Le32(p);
}

[[noreturn]] void Fail(SlideshowErrorKind kind, const std::string& message) {
    throw SlideshowError(kind, message);
}

std::uint32_t CheckedU32(std::uint64_t value, const char* what) {
    if (value > kU32Max) {
        Fail(SlideshowErrorKind::ValueTooLarge,
             std::string(what) + " of " + std::to_string(value) +
                 " bytes is too large for a slideshow (4 GiB or more)");
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

std::vector<std::uint8_t> EncodeTrailer(const SlideshowTrailer& trailer) {
    const auto count = trailer.pictureLengths.size();
    if (count == 0) {
        Fail(SlideshowErrorKind::BadCount, "a slideshow needs at least one picture");
    }
    if (count > kU32Max) {
        Fail(SlideshowErrorKind::BadCount, "too many pictures for one slideshow");
    }
    if (trailer.delaySeconds == 0) {
        Fail(SlideshowErrorKind::BadDelay, "the slideshow delay must be 1 to 65535 seconds");
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (trailer.pictureLengths[i] == 0) {
            Fail(SlideshowErrorKind::EmptyPicture,
                 "picture " + std::to_string(i + 1) + " is empty");
        }
    }

    std::vector<std::uint8_t> out;
    out.reserve(TrailerSize(count));
    PutU32(out, trailer.stubLength);
    out.push_back(trailer.automatic ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(trailer.delaySeconds & 0xFF));
    out.push_back(static_cast<std::uint8_t>(trailer.delaySeconds >> 8));
    for (const auto length : trailer.pictureLengths) {
        PutU32(out, length);
    }
    PutU32(out, static_cast<std::uint32_t>(count));
    out.insert(out.end(), kSlideshowMarker.begin(), kSlideshowMarker.end());
    return out;
}

SlideshowWriter::SlideshowWriter(std::uint64_t stubLength)
    : stubLength_(CheckedU32(stubLength, "the viewer stub")), bodySize_(stubLength) {}

void SlideshowWriter::AddPicture(std::uint64_t length) {
    const auto stored = CheckedU32(length, "a picture");
    if (stored == 0) {
        Fail(SlideshowErrorKind::EmptyPicture,
             "picture " + std::to_string(lengths_.size() + 1) + " is empty");
    }
    lengths_.push_back(stored);
    bodySize_ += stored;
}

std::vector<std::uint8_t> SlideshowWriter::Trailer(bool automatic,
                                                   std::uint16_t delaySeconds) const {
    return EncodeTrailer({stubLength_, automatic, delaySeconds, lengths_});
}

namespace {

std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

[[noreturn]] void FailSignature(const std::string& why) {
    Fail(SlideshowErrorKind::BadSignature,
         "the program's certificate table " + why + "; the slideshow cannot be found safely");
}

// Where the certificate table of a signed Windows program lies: the security entry of the PE
// header's data directories. Nothing for a file that is not a PE program or carries none.
struct CertificateTable {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

std::optional<CertificateTable> FindCertificateTable(const ByteSource& source) {
    const std::uint64_t fileSize = source.Size();
    std::array<std::uint8_t, 64> dos{};
    if (fileSize < dos.size()) {
        return std::nullopt;
    }
    source.Read(0, dos);
    if (dos[0] != 'M' || dos[1] != 'Z') {
        return std::nullopt;
    }
    // Signature, file header and the optional header up to the end of the directories' start.
    const std::uint64_t peAt = GetU32(dos.data() + 0x3C);
    std::array<std::uint8_t, 24 + 112 + 8 * 5> pe{};
    if (peAt > fileSize || fileSize - peAt < 24 + 2) {
        return std::nullopt;
    }
    const auto have = std::min<std::uint64_t>(pe.size(), fileSize - peAt);
    source.Read(peAt, std::span(pe.data(), static_cast<std::size_t>(have)));
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) {
        return std::nullopt;
    }
    const std::uint16_t optionalSize = GetU16(pe.data() + 20);
    const std::uint16_t magic = GetU16(pe.data() + 24);
    std::size_t directories = 0; // from the optional header's start
    if (magic == 0x10B) {
        directories = 96;
    } else if (magic == 0x20B) {
        directories = 112;
    } else {
        return std::nullopt;
    }
    constexpr std::size_t kSecurity = 4;
    const std::size_t entry = directories + 8 * kSecurity;
    if (24 + entry + 8 > have || optionalSize < entry + 8 ||
        GetU32(pe.data() + 24 + directories - 4) <= kSecurity) {
        return std::nullopt;
    }
    const CertificateTable table{GetU32(pe.data() + 24 + entry), GetU32(pe.data() + 28 + entry)};
    if (table.offset == 0 && table.size == 0) {
        return std::nullopt;
    }
    return table;
}

// The end of the slideshow: where a signed program's certificate table begins, else the end of
// the file. A signature is appended after the trailer (the signing tool may put up to 7 zero
// bytes before it, to align it); a table that is damaged or does not end the file could put the
// trailer anywhere, so it is refused rather than guessed at.
std::uint64_t SlideshowEnd(const ByteSource& source) {
    const std::uint64_t fileSize = source.Size();
    const auto table = FindCertificateTable(source);
    if (!table) {
        return fileSize;
    }
    if (table->size < 8 || table->offset > fileSize || table->size > fileSize - table->offset) {
        FailSignature("(" + std::to_string(table->size) + " bytes at offset " +
                      std::to_string(table->offset) + ") lies outside the file's " +
                      std::to_string(fileSize) + " bytes");
    }
    const std::uint64_t tableEnd = table->offset + table->size;
    std::array<std::uint8_t, 7> padding{};
    if (fileSize - tableEnd > padding.size()) {
        FailSignature("ends at offset " + std::to_string(tableEnd) +
                      ", not at the end of the file (" + std::to_string(fileSize) + " bytes)");
    }
    const auto after = std::span(padding.data(), static_cast<std::size_t>(fileSize - tableEnd));
    source.Read(tableEnd, after);
    if (std::any_of(after.begin(), after.end(), [](std::uint8_t b) { return b != 0; })) {
        FailSignature("is followed by other bytes");
    }
    // Each certificate: its length (u32, at least its own 8-byte header), revision 1.0 or 2.0,
    // then its data, the next one 8-aligned; together they fill the table.
    std::uint64_t at = table->offset;
    while (at < tableEnd) {
        std::array<std::uint8_t, 8> head{};
        if (tableEnd - at < head.size()) {
            FailSignature("ends inside a certificate's header");
        }
        source.Read(at, head);
        const std::uint32_t length = GetU32(head.data());
        const std::uint16_t revision = GetU16(head.data() + 4);
        if (length < head.size() || length > tableEnd - at ||
            (revision != 0x0100 && revision != 0x0200)) {
            FailSignature("is damaged at offset " + std::to_string(at));
        }
        at += (std::uint64_t{length} + 7) & ~std::uint64_t{7};
    }
    // Zero bytes the signing tool put before the table belong to neither part.
    std::uint64_t end = table->offset;
    const std::uint64_t before = std::min<std::uint64_t>(padding.size(), end);
    source.Read(end - before, std::span(padding.data(), static_cast<std::size_t>(before)));
    for (std::uint64_t i = before; i > 0 && padding[i - 1] == 0; --i) {
        --end;
    }
    return end;
}

} // namespace

SlideshowLayout ReadSlideshow(const ByteSource& source) {
    const std::uint64_t end = SlideshowEnd(source);
    if (end < kTrailerFixedSize) {
        Fail(SlideshowErrorKind::TooShort,
             "the file is " + std::to_string(end) +
                 " bytes long, too short to hold a slideshow trailer");
    }

    // Count and marker: the last nine bytes.
    std::array<std::uint8_t, 9> tail{};
    source.Read(end - tail.size(), tail);
    if (!std::equal(kSlideshowMarker.begin(), kSlideshowMarker.end(), tail.begin() + 4)) {
        Fail(SlideshowErrorKind::NoMarker,
             "the file does not end with the slideshow marker \"WAGON\"");
    }
    const std::uint64_t count = GetU32(tail.data());
    if (count == 0) {
        Fail(SlideshowErrorKind::BadCount, "the slideshow holds no pictures");
    }
    // 64-bit arithmetic: 4N + 16 cannot wrap for a 32-bit N.
    const std::uint64_t trailerSize = TrailerSize(count);
    if (trailerSize > end) {
        Fail(SlideshowErrorKind::BadCount, "the picture count " + std::to_string(count) +
                                               " needs a " + std::to_string(trailerSize) +
                                               "-byte trailer, more than the file's " +
                                               std::to_string(end) + " bytes");
    }

    // Stub length, flag, delay and the lengths table, read in one go (bounded by the file).
    const std::uint64_t trailerOffset = end - trailerSize;
    std::vector<std::uint8_t> head(static_cast<std::size_t>(7 + 4 * count));
    source.Read(trailerOffset, head);

    SlideshowLayout layout;
    layout.trailerOffset = trailerOffset;
    layout.stubLength = GetU32(head.data());
    const std::uint8_t flag = head[4];
    if (flag > 1) {
        Fail(SlideshowErrorKind::BadFlag,
             "the automatic flag is " + std::to_string(flag) + ", not 0 or 1");
    }
    layout.automatic = flag == 1;
    layout.delaySeconds = bytes::Le16(head.data() + 5);
    if (layout.delaySeconds == 0) {
        Fail(SlideshowErrorKind::BadDelay, "the slideshow delay is 0 seconds");
    }
    if (layout.stubLength > trailerOffset) {
        Fail(SlideshowErrorKind::StubOverrun,
             "the stub length " + std::to_string(layout.stubLength) +
                 " reaches past the trailer at offset " + std::to_string(trailerOffset));
    }

    layout.pictures.reserve(static_cast<std::size_t>(count));
    std::uint64_t offset = layout.stubLength;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint32_t length = GetU32(head.data() + 7 + 4 * i);
        const std::string name =
            "picture " + std::to_string(i + 1) + " of " + std::to_string(count);
        if (length == 0) {
            Fail(SlideshowErrorKind::EmptyPicture, name + " has a length of 0");
        }
        // offset <= trailerOffset here, so neither side of the comparison can wrap.
        if (length > trailerOffset - offset) {
            Fail(SlideshowErrorKind::PictureOverrun,
                 name + " (" + std::to_string(length) + " bytes at offset " +
                     std::to_string(offset) + ") reaches past the trailer at offset " +
                     std::to_string(trailerOffset));
        }
        layout.pictures.push_back({offset, length});
        offset += length;
    }
    if (offset != trailerOffset) {
        Fail(SlideshowErrorKind::PictureGap,
             "the pictures end at offset " + std::to_string(offset) +
                 " but the trailer starts at " + std::to_string(trailerOffset));
    }
    return layout;
}

SlideshowLayout ReadSlideshowFile(const std::string& path) {
    const FileByteSource source(path);
    return ReadSlideshow(source);
}

std::vector<std::uint8_t> ReadPicture(const ByteSource& source, const PictureSlice& slice) {
    std::vector<std::uint8_t> bytes(slice.length);
    source.Read(slice.offset, bytes);
    return bytes;
}

} // namespace pelisto
