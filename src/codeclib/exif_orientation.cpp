#include "codeclib/exif_orientation.h"

#include "codeclib/dib.h"
#include "slideshow/byte_order.h"
#include "slideshow/jpeg_segments.h"

#include <array>
#include <cstring>
#include <optional>

namespace pelisto::exif {
namespace {

constexpr std::uint16_t OrientationTag = 0x0112;
constexpr std::uint16_t ShortType = 3;
constexpr std::size_t ExifHeader = 6; // "Exif\0\0"

// A TIFF block whose reads are checked against its end.
struct Tiff {
    const std::uint8_t* data;
    std::size_t size;
    bool little;

    std::optional<std::uint16_t> U16(std::size_t at) const {
        if (at > size || size - at < 2) {
            return std::nullopt;
        }
        return bytes::U16(data + at, little);
    }
    std::optional<std::uint32_t> U32(std::size_t at) const {
        if (at > size || size - at < 4) {
            return std::nullopt;
        }
        return bytes::U32(data + at, little);
    }
};

// The TIFF block's byte order and first directory, when the block is sound that far.
std::optional<Tiff> OpenTiff(const std::uint8_t* tiff, std::size_t size, std::size_t& ifd) {
    if (size < 8) {
        return std::nullopt;
    }
    Tiff t{tiff, size, false};
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        t.little = true;
    } else if (!(tiff[0] == 'M' && tiff[1] == 'M')) {
        return std::nullopt;
    }
    const auto first = t.U32(4);
    if (t.U16(2) != 42 || !first || !t.U16(*first)) {
        return std::nullopt;
    }
    ifd = *first;
    return t;
}

enum class TagSearch { Found, Missing, Broken };

// Looks for the orientation entry of the first directory; at is where its value lies.
TagSearch FindOrientation(const Tiff& t, std::size_t ifd, std::size_t& at) {
    const std::uint16_t count = *t.U16(ifd);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        const auto tag = t.U16(entry);
        if (!tag || !t.U32(entry + 8)) {
            return TagSearch::Broken; // the directory runs past the block
        }
        if (*tag != OrientationTag) {
            continue;
        }
        if (t.U16(entry + 2) != ShortType || t.U32(entry + 4) != 1u) {
            return TagSearch::Broken;
        }
        at = entry + 8;
        return TagSearch::Found;
    }
    return TagSearch::Missing;
}

bool IsExifPayload(const std::uint8_t* payload, std::size_t size) {
    return size >= ExifHeader && std::memcmp(payload, "Exif\0\0", ExifHeader) == 0;
}

// The first EXIF APP1 segment before the scan.
std::optional<JpegSegment> ExifSegment(const std::uint8_t* jpeg, std::size_t size) {
    if (jpeg == nullptr) {
        return std::nullopt;
    }
    std::optional<JpegSegment> found;
    WalkJpegSegments({jpeg, size}, [&](const JpegSegment& s) {
        if (s.marker == 0xE1 && IsExifPayload(jpeg + s.payload, s.payloadSize)) {
            found = s;
            return true;
        }
        return false;
    });
    return found;
}

int Valid(int value) {
    return value >= 1 && value <= 8 ? value : Upright;
}

// Each orientation as the 2 x 2 matrix (x right, y down) that shows the stored picture upright.
using Matrix = std::array<int, 4>;
constexpr std::array<Matrix, 9> UprightMatrices = {{
    {1, 0, 0, 1},   // (unused)
    {1, 0, 0, 1},   // 1
    {-1, 0, 0, 1},  // 2 mirrored
    {-1, 0, 0, -1}, // 3 half turn
    {1, 0, 0, -1},  // 4 upside down mirror
    {0, 1, 1, 0},   // 5 transposed
    {0, -1, 1, 0},  // 6 turned clockwise
    {0, -1, -1, 0}, // 7 transverse
    {0, 1, -1, 0},  // 8 turned anticlockwise
}};

Matrix Times(const Matrix& a, const Matrix& b) {
    return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
            a[2] * b[1] + a[3] * b[3]};
}

} // namespace

int OrientationOfApp1(const std::uint8_t* payload, std::size_t size) {
    if (payload == nullptr || !IsExifPayload(payload, size)) {
        return Upright;
    }
    std::size_t ifd = 0;
    const auto t = OpenTiff(payload + ExifHeader, size - ExifHeader, ifd);
    std::size_t at = 0;
    if (!t || FindOrientation(*t, ifd, at) != TagSearch::Found) {
        return Upright;
    }
    return Valid(*t->U16(at));
}

int JpegOrientation(const std::uint8_t* jpeg, std::size_t size) {
    const auto s = ExifSegment(jpeg, size);
    return s ? OrientationOfApp1(jpeg + s->payload, s->payloadSize) : Upright;
}

bool SetJpegOrientation(std::uint8_t* jpeg, std::size_t size, int orientation) {
    const auto s = ExifSegment(jpeg, size);
    if (!s) {
        return orientation == Upright;
    }
    std::size_t ifd = 0;
    const auto t = OpenTiff(jpeg + s->payload + ExifHeader, s->payloadSize - ExifHeader, ifd);
    std::size_t at = 0;
    if (!t || FindOrientation(*t, ifd, at) != TagSearch::Found) {
        return orientation == Upright;
    }
    bytes::Put16(jpeg + s->payload + ExifHeader + at, static_cast<std::uint32_t>(orientation),
                 t->little);
    return true;
}

int TurnedOrientation(int orientation, int quarterTurns) {
    const Matrix anticlockwise = UprightMatrices[8];
    Matrix wanted = UprightMatrices[static_cast<std::size_t>(Valid(orientation))];
    for (int i = 0; i < ((quarterTurns % 4) + 4) % 4; ++i) {
        wanted = Times(anticlockwise, wanted);
    }
    for (int o = 1; o <= 8; ++o) {
        if (UprightMatrices[static_cast<std::size_t>(o)] == wanted) {
            return o;
        }
    }
    return Upright;
}

std::vector<std::uint8_t> WithJpegOrientation(const std::uint8_t* jpeg, std::size_t size,
                                              int orientation) {
    std::vector<std::uint8_t> out;
    if (jpeg == nullptr) {
        return out;
    }
    const std::uint32_t value = static_cast<std::uint32_t>(Valid(orientation));
    std::optional<JpegSegment> jfif;
    std::optional<JpegSegment> exifSegment;
    const JpegWalkEnd walk = WalkJpegSegments({jpeg, size}, [&](const JpegSegment& s) {
        if (s.marker == 0xE0 && !jfif && s.start == 2) {
            jfif = s;
        }
        if (s.marker == 0xE1 && IsExifPayload(jpeg + s.payload, s.payloadSize)) {
            exifSegment = s;
            return true;
        }
        return false;
    });
    if (walk.how == JpegWalk::Broken) {
        return out;
    }
    // Where the new segment goes and what it holds, in place of [from, to) of the file.
    std::size_t from = 0;
    std::size_t to = 0;
    std::vector<std::uint8_t> payload;
    if (!exifSegment) {
        // "Exif\0\0", a big-endian TIFF header and one directory of one entry.
        payload = {'E',  'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01,
                   0x12, 0,   3,   0,   0, 0, 1,   0,   0, 0,  0, 0, 0, 0, 0, 0, 0};
        bytes::PutBe16(&payload[ExifHeader + 18], value);
        from = to = jfif ? jfif->end() : 2;
    } else {
        const std::uint8_t* exif = jpeg + exifSegment->payload;
        const std::size_t tiffSize = exifSegment->payloadSize - ExifHeader;
        std::size_t ifd = 0;
        const auto t = OpenTiff(exif + ExifHeader, tiffSize, ifd);
        std::size_t at = 0;
        const TagSearch search = t ? FindOrientation(*t, ifd, at) : TagSearch::Broken;
        if (search == TagSearch::Broken) {
            return out;
        }
        out.assign(jpeg, jpeg + size);
        if (search == TagSearch::Found) {
            bytes::Put16(out.data() + exifSegment->payload + ExifHeader + at, value, t->little);
            return out;
        }
        // The first directory is written again at the block's end with the tag among its
        // entries (in tag order); every offset in the block stays as it was.
        const std::uint16_t count = *t->U16(ifd);
        const std::size_t newIfd = (tiffSize + 1) & ~std::size_t{1};
        payload.assign(exif, exif + exifSegment->payloadSize);
        payload.resize(ExifHeader + newIfd + 2 + 12 * (count + 1u) + 4, 0);
        if (payload.size() + 2 > 0xFFFF) {
            out.clear();
            return out;
        }
        std::uint8_t* tiff = payload.data() + ExifHeader;
        bytes::Put16(tiff + newIfd, count + 1u, t->little);
        std::size_t written = 0;
        bool placed = false;
        const auto putOrientation = [&] {
            std::uint8_t* e = tiff + newIfd + 2 + 12 * written++;
            bytes::Put16(e, OrientationTag, t->little);
            bytes::Put16(e + 2, ShortType, t->little);
            bytes::Put32(e + 4, 1, t->little);
            bytes::Put32(e + 8, 0, t->little);
            bytes::Put16(e + 8, value, t->little);
            placed = true;
        };
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = exif + ExifHeader + ifd + 2 + 12 * i;
            if (!placed && bytes::U16(entry, t->little) > OrientationTag) {
                putOrientation();
            }
            std::memcpy(tiff + newIfd + 2 + 12 * written++, entry, 12);
        }
        if (!placed) {
            putOrientation();
        }
        const auto next = t->U32(ifd + 2 + 12 * count);
        bytes::Put32(tiff + newIfd + 2 + 12 * written, next.value_or(0), t->little);
        bytes::Put32(tiff + 4, static_cast<std::uint32_t>(newIfd), t->little);
        from = exifSegment->start;
        to = exifSegment->end();
    }
    std::vector<std::uint8_t> segment{0xFF, 0xE1, 0, 0};
    bytes::PutBe16(&segment[2], static_cast<std::uint32_t>(payload.size() + 2));
    segment.insert(segment.end(), payload.begin(), payload.end());
    out.clear();
    out.reserve(size - (to - from) + segment.size());
    out.insert(out.end(), jpeg, jpeg + from);
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg + to, jpeg + size);
    return out;
}

void* UprightDib(const void* block, int orientation) {
    const dib::DibView v = dib::View(const_cast<void*>(block));
    if (!v || v.header->biCompression != dib::BI_RGB) {
        return nullptr;
    }
    const bool swap = SwapsSides(orientation);
    const int w = swap ? v.height : v.width;
    const int h = swap ? v.width : v.height;
    void* out = dib::Allocate(w, h, v.bits, v.bits <= 8 ? v.colourCount : 0);
    if (out == nullptr) {
        return nullptr;
    }
    const dib::DibView o = dib::View(out);
    if (v.bits <= 8) {
        std::memcpy(o.colours, v.colours, 4u * v.colourCount);
    }
    const int bytes = v.bits / 8;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = o.Row(y);
        for (int x = 0; x < w; ++x) {
            // Where the upright pixel (x, y) lies in the stored picture.
            int sx = x, sy = y;
            switch (orientation) {
            case 2:
                sx = v.width - 1 - x;
                break;
            case 3:
                sx = v.width - 1 - x;
                sy = v.height - 1 - y;
                break;
            case 4:
                sy = v.height - 1 - y;
                break;
            case 5:
                sx = y;
                sy = x;
                break;
            case 6:
                sx = y;
                sy = v.height - 1 - x;
                break;
            case 7:
                sx = v.width - 1 - y;
                sy = v.height - 1 - x;
                break;
            case 8:
                sx = v.width - 1 - y;
                sy = x;
                break;
            default:
                break;
            }
            const std::uint8_t* src = v.Row(sy);
            if (v.bits <= 8) {
                dib::SetIndex(row, x, v.bits, dib::IndexAt(src, sx, v.bits));
            } else {
                std::memcpy(row + static_cast<std::size_t>(x) * bytes,
                            src + static_cast<std::size_t>(sx) * bytes,
                            static_cast<std::size_t>(bytes));
            }
        }
    }
    return out;
}

namespace {

constexpr std::uint16_t ExifPointerTag = 0x8769;
constexpr std::uint16_t DateTimeOriginalTag = 0x9003;
constexpr std::uint16_t AsciiType = 2;
constexpr std::uint16_t LongType = 4;

// Where the entry of a tag lies in a directory; nothing when it has none or runs past the block.
std::optional<std::size_t> FindEntry(const Tiff& t, std::size_t ifd, std::uint16_t tag) {
    const auto count = t.U16(ifd);
    if (!count) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        const auto found = t.U16(entry);
        if (!found || !t.U32(entry + 8)) {
            return std::nullopt;
        }
        if (*found == tag) {
            return entry;
        }
    }
    return std::nullopt;
}

// "YYYY:MM:DD HH:MM:SS" with a month and a day.
bool IsExifDate(const std::string& s) {
    if (s.size() != 19) {
        return false;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool separator = i == 4 || i == 7 || i == 10 || i == 13 || i == 16;
        const char expected = i == 10 ? ' ' : (i == 4 || i == 7 || i == 13 || i == 16) ? ':' : 0;
        if (separator ? s[i] != expected : (s[i] < '0' || s[i] > '9')) {
            return false;
        }
    }
    return s.compare(5, 2, "00") != 0 && s.compare(8, 2, "00") != 0;
}

} // namespace

std::string DateTakenOfApp1(const std::uint8_t* payload, std::size_t size) {
    if (payload == nullptr || !IsExifPayload(payload, size)) {
        return {};
    }
    std::size_t ifd = 0;
    const auto t = OpenTiff(payload + ExifHeader, size - ExifHeader, ifd);
    if (!t) {
        return {};
    }
    const auto pointer = FindEntry(*t, ifd, ExifPointerTag);
    if (!pointer || t->U16(*pointer + 2) != LongType || t->U32(*pointer + 4) != 1u) {
        return {};
    }
    const auto date = FindEntry(*t, *t->U32(*pointer + 8), DateTimeOriginalTag);
    // 19 characters and their end: longer than 4 bytes, so the value lies at its offset.
    if (!date || t->U16(*date + 2) != AsciiType || t->U32(*date + 4).value_or(0) < 19u) {
        return {};
    }
    const std::size_t at = *t->U32(*date + 8);
    if (at > t->size || t->size - at < 19) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(t->data + at), 19);
    return IsExifDate(text) ? text : std::string();
}

std::string JpegDateTaken(const std::uint8_t* jpeg, std::size_t size) {
    const auto s = ExifSegment(jpeg, size);
    return s ? DateTakenOfApp1(jpeg + s->payload, s->payloadSize) : std::string();
}

} // namespace pelisto::exif
