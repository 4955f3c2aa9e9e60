#include "codeclib/exif_orientation.h"

#include "codeclib/dib.h"

#include <cstring>
#include <optional>

namespace pelisto::exif {
namespace {

constexpr std::uint16_t OrientationTag = 0x0112;
constexpr std::uint16_t ShortType = 3;

struct Tiff {
    const std::uint8_t* data;
    std::size_t size;
    bool little;

    std::optional<std::uint16_t> U16(std::size_t at) const {
        if (at > size || size - at < 2) {
            return std::nullopt;
        }
        return little ? static_cast<std::uint16_t>(data[at] | data[at + 1] << 8)
                      : static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
    }
    std::optional<std::uint32_t> U32(std::size_t at) const {
        if (at > size || size - at < 4) {
            return std::nullopt;
        }
        const std::uint32_t b0 = data[at], b1 = data[at + 1], b2 = data[at + 2], b3 = data[at + 3];
        return little ? b0 | b1 << 8 | b2 << 16 | b3 << 24 : b0 << 24 | b1 << 16 | b2 << 8 | b3;
    }
};

// Offset, within the TIFF block, of the orientation value in the first directory.
std::optional<std::size_t> OrientationValueAt(const std::uint8_t* tiff, std::size_t size,
                                              bool& little) {
    if (size < 8) {
        return std::nullopt;
    }
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        little = true;
    } else if (tiff[0] == 'M' && tiff[1] == 'M') {
        little = false;
    } else {
        return std::nullopt;
    }
    const Tiff t{tiff, size, little};
    if (t.U16(2) != 42) {
        return std::nullopt;
    }
    const auto ifd = t.U32(4);
    if (!ifd) {
        return std::nullopt;
    }
    const auto count = t.U16(*ifd);
    if (!count) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t entry = *ifd + 2 + 12 * i;
        const auto tag = t.U16(entry);
        if (!tag) {
            return std::nullopt; // the directory runs past the block
        }
        if (*tag != OrientationTag) {
            continue;
        }
        if (t.U16(entry + 2) != ShortType || t.U32(entry + 4) != 1u || !t.U16(entry + 8)) {
            return std::nullopt;
        }
        return entry + 8;
    }
    return std::nullopt;
}

bool IsExifPayload(const std::uint8_t* payload, std::size_t size) {
    return size >= 6 && std::memcmp(payload, "Exif\0\0", 6) == 0;
}

// Calls visit(payload, size) for each APPn/COM-like segment before the first scan, stopping when
// it answers true; returns the payload given to the visit that stopped, or nullptr.
template <typename Visit>
std::uint8_t* FindSegment(std::uint8_t* jpeg, std::size_t size, std::uint8_t marker,
                          Visit&& accept) {
    if (jpeg == nullptr || size < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return nullptr;
    }
    std::size_t pos = 2;
    while (pos + 4 <= size) {
        if (jpeg[pos] != 0xFF) {
            return nullptr;
        }
        const std::uint8_t m = jpeg[pos + 1];
        if (m == 0xFF) {
            ++pos; // fill byte
            continue;
        }
        if (m == 0xDA || m == 0xD9) {
            return nullptr; // scan or end: no more header segments
        }
        const std::size_t length = static_cast<std::size_t>(jpeg[pos + 2] << 8 | jpeg[pos + 3]);
        if (length < 2 || pos + 2 + length > size) {
            return nullptr;
        }
        std::uint8_t* payload = jpeg + pos + 4;
        if (m == marker && accept(payload, length - 2)) {
            return payload;
        }
        pos += 2 + length;
    }
    return nullptr;
}

int Valid(int value) {
    return value >= 1 && value <= 8 ? value : Upright;
}

} // namespace

int OrientationOfApp1(const std::uint8_t* payload, std::size_t size) {
    if (payload == nullptr || !IsExifPayload(payload, size)) {
        return Upright;
    }
    bool little = false;
    const auto at = OrientationValueAt(payload + 6, size - 6, little);
    if (!at) {
        return Upright;
    }
    const Tiff t{payload + 6, size - 6, little};
    return Valid(*t.U16(*at));
}

int JpegOrientation(const std::uint8_t* jpeg, std::size_t size) {
    std::size_t found = 0;
    const std::uint8_t* payload = FindSegment(const_cast<std::uint8_t*>(jpeg), size, 0xE1,
                                              [&](const std::uint8_t* p, std::size_t n) {
                                                  found = n;
                                                  return IsExifPayload(p, n);
                                              });
    return payload != nullptr ? OrientationOfApp1(payload, found) : Upright;
}

bool SetJpegOrientation(std::uint8_t* jpeg, std::size_t size, int orientation) {
    std::size_t found = 0;
    std::uint8_t* payload =
        FindSegment(jpeg, size, 0xE1, [&](const std::uint8_t* p, std::size_t n) {
            found = n;
            return IsExifPayload(p, n);
        });
    if (payload == nullptr) {
        return orientation == Upright;
    }
    bool little = false;
    const auto at = OrientationValueAt(payload + 6, found - 6, little);
    if (!at) {
        return orientation == Upright;
    }
    std::uint8_t* value = payload + 6 + *at;
    const auto v = static_cast<std::uint16_t>(orientation);
    value[little ? 0 : 1] = static_cast<std::uint8_t>(v & 0xFF);
    value[little ? 1 : 0] = static_cast<std::uint8_t>(v >> 8);
    return true;
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

} // namespace pelisto::exif
