#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace pelisto {

struct JpegFrameSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The picture size a JPEG's frame header (SOF) declares, found by walking the markers before
// the first scan; nothing is decoded. Every step is checked against the buffer's end and moves
// forward, so damaged or hostile bytes give nullopt rather than a read out of bounds or a loop.
// nullopt too for no SOF before the first scan, a marker cut short, or a height left to a
// later DNL marker (0).
std::optional<JpegFrameSize> ReadJpegFrameSize(std::span<const std::uint8_t> jpeg);

} // namespace pelisto
