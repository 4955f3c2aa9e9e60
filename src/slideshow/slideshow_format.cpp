#include "slideshow/slideshow_format.h"

#include "slideshow/byte_order.h"

#include <algorithm>
#include <limits>

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

SlideshowLayout ReadSlideshow(const ByteSource& source) {
    const std::uint64_t fileSize = source.Size();
    if (fileSize < kTrailerFixedSize) {
        Fail(SlideshowErrorKind::TooShort,
             "the file is " + std::to_string(fileSize) +
                 " bytes long, too short to hold a slideshow trailer");
    }

    // Count and marker: the last nine bytes.
    std::array<std::uint8_t, 9> tail{};
    source.Read(fileSize - tail.size(), tail);
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
    if (trailerSize > fileSize) {
        Fail(SlideshowErrorKind::BadCount, "the picture count " + std::to_string(count) +
                                               " needs a " + std::to_string(trailerSize) +
                                               "-byte trailer, more than the file's " +
                                               std::to_string(fileSize) + " bytes");
    }

    // Stub length, flag, delay and the lengths table, read in one go (bounded by the file).
    const std::uint64_t trailerOffset = fileSize - trailerSize;
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
