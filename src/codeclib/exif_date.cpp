#include "codeclib/exif_date.h"

#include "codeclib/exif_orientation.h"

#include <vector>

namespace pelisto::exif {

std::string DateTaken(const std::uint8_t* file, std::size_t size) {
    if (file == nullptr || size < 4) {
        return {};
    }
    std::string exif;
    if (file[0] == 0xFF) {
        exif = JpegDateTaken(file, size);
    } else {
        // A TIFF file is an EXIF block without the APP1 segment's name.
        std::vector<std::uint8_t> block{'E', 'x', 'i', 'f', 0, 0};
        block.insert(block.end(), file, file + size);
        exif = DateTakenOfApp1(block.data(), block.size());
    }
    if (exif.empty()) {
        return {};
    }
    // "YYYY:MM:DD HH:MM:SS" shown as "YYYY-MM-DD HH:MM".
    std::string text = exif.substr(0, 16);
    text[4] = text[7] = '-';
    return text;
}

} // namespace pelisto::exif
