#include "codeclib/exif_date.h"

#include "slideshow/byte_order.h"
#include "slideshow/jpeg_segments.h"

#include <cstring>
#include <optional>

namespace pelisto::exif {
namespace {

constexpr std::uint16_t ExifIfdTag = 0x8769;
constexpr std::uint16_t DateTimeOriginalTag = 0x9003;
constexpr std::uint16_t AsciiType = 2;
constexpr std::size_t DateSize = 19; // "YYYY:MM:DD HH:MM:SS"

struct Tiff {
    const std::uint8_t* data;
    std::size_t size;
    bool little;
    std::optional<std::uint32_t> U(std::size_t at, std::size_t width) const {
        if (at > size || size - at < width) {
            return std::nullopt;
        }
        return width == 2 ? bytes::U16(data + at, little) : bytes::U32(data + at, little);
    }
};

// The directory entry of `tag` in the directory at `ifd`.
std::optional<std::size_t> Entry(const Tiff& t, std::size_t ifd, std::uint16_t tag) {
    const auto count = t.U(ifd, 2);
    for (std::size_t i = 0; count && i < *count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        const auto found = t.U(entry, 2);
        if (!found || !t.U(entry + 8, 4)) {
            return std::nullopt;
        }
        if (*found == tag) {
            return entry;
        }
    }
    return std::nullopt;
}

std::string DateInTiff(const std::uint8_t* data, std::size_t size) {
    if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
        return {};
    }
    const Tiff t{data, size, data[0] == 'I'};
    const auto first = t.U(4, 4);
    const auto exifEntry = first ? Entry(t, *first, ExifIfdTag) : std::nullopt;
    const auto exifIfd = exifEntry ? t.U(*exifEntry + 8, 4) : std::nullopt;
    const auto dateEntry = exifIfd ? Entry(t, *exifIfd, DateTimeOriginalTag) : std::nullopt;
    if (!dateEntry || t.U(*dateEntry + 2, 2) != AsciiType || t.U(*dateEntry + 4, 4) < DateSize) {
        return {};
    }
    const auto at = t.U(*dateEntry + 8, 4);
    if (!at || *at > size || size - *at < DateSize) {
        return {};
    }
    const char* d = reinterpret_cast<const char*>(data + *at);
    // Digits where digits belong; cameras without a clock write spaces or zeros.
    for (std::size_t i = 0; i < 16; ++i) {
        const bool digit = d[i] >= '0' && d[i] <= '9';
        if (digit != (i != 4 && i != 7 && i != 10 && i != 13)) {
            return {};
        }
    }
    if (std::memcmp(d, "0000", 4) == 0) {
        return {};
    }
    std::string text(d, 16);
    text[4] = text[7] = '-';
    text[10] = ' ';
    text[13] = ':';
    return text;
}

} // namespace

std::string DateTaken(const std::uint8_t* file, std::size_t size) {
    if (file == nullptr || size < 4) {
        return {};
    }
    if (file[0] != 0xFF) {
        return DateInTiff(file, size);
    }
    std::string date;
    WalkJpegSegments({file, size}, [&](const JpegSegment& s) {
        if (s.marker == 0xE1 && s.payloadSize >= 6 &&
            std::memcmp(file + s.payload, "Exif\0\0", 6) == 0) {
            date = DateInTiff(file + s.payload + 6, s.payloadSize - 6);
            return true;
        }
        return false;
    });
    return date;
}

} // namespace pelisto::exif
