#pragma once

// Reading and writing 16- and 32-bit numbers stored in either byte order, as picture files keep
// them (JPEG and PNG big-endian, BMP little-endian, TIFF and EXIF either). The caller checks that
// the bytes lie inside its buffer.

#include <cstdint>

namespace pelisto::bytes {

inline std::uint16_t Be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
inline std::uint32_t Be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}
inline std::uint16_t U16(const std::uint8_t* p, bool little) {
    return little ? Le16(p) : Be16(p);
}
inline std::uint32_t U32(const std::uint8_t* p, bool little) {
    return little ? Le32(p) : Be32(p);
}

inline void PutBe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutBe32(std::uint8_t* p, std::uint32_t v) {
    PutBe16(p, v >> 16);
    PutBe16(p + 2, v);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}
inline void Put16(std::uint8_t* p, std::uint32_t v, bool little) {
    little ? PutLe16(p, v) : PutBe16(p, v);
}
inline void Put32(std::uint8_t* p, std::uint32_t v, bool little) {
    little ? PutLe32(p, v) : PutBe32(p, v);
}

} // namespace pelisto::bytes
