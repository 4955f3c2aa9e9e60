#pragma once

// The blocks a JPEG header claims, checked against the bytes the file holds before the decoder
// allocates for them (JpegDataTooShort). Shared by the codec library's reader and the JPEG
// graphic.

#include "slideshow/picture_limit.h"

#include <cstdint>
#include <cstdio>
#include <jpeglib.h>

namespace pelisto {

// The blocks of all components, once jpeg_read_header has returned; 0 for arithmetic-coded
// data, which may spend less than a bit on a block.
inline std::int64_t JpegCodedBlocks(const jpeg_decompress_struct& cinfo) {
    if (cinfo.arith_code) {
        return 0;
    }
    std::int64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        blocks += static_cast<std::int64_t>(cinfo.comp_info[c].width_in_blocks) *
                  cinfo.comp_info[c].height_in_blocks;
    }
    return blocks;
}

} // namespace pelisto
