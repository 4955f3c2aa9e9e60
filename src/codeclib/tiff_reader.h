#pragma once

// TIFF reading through libtiff into a DIB, for the true-colour and gray pictures (of any
// photometric, compression or layout libtiff can turn into RGBA): the image library's 16-bit
// pixel cache (8 bytes a pixel) would otherwise sit beside the DIB. Palette and bilevel pictures
// keep the general path, which keeps their indexes.

#include <cstdint>
#include <string>

struct tiff;

namespace pelisto::codec {

// A TIFF file opened with error and warning handlers of its own: libtiff's global handlers are
// the process's, and swapping them per call lets one thread silence another's errors. Warnings
// are dropped; the first error is kept.
class TiffFile {
public:
    TiffFile(const char* name, const char* mode);
    ~TiffFile();
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    tiff* get() const { return tif_; }
    explicit operator bool() const { return tif_ != nullptr; }
    // What libtiff said of the first error on this file; empty for none.
    const std::string& Error() const { return error_; }

private:
    std::string error_;
    tiff* tif_ = nullptr;
};

// Decodes page (counting from 1; 0 also means the first) into a new DIB shown upright as its
// orientation tag says: 8-bit gray for gray pictures without alpha, else 24-bit with transparent
// pixels laid on white. handled is false for a picture that the general path should read. Any
// error libtiff reports while reading (a damaged strip, say) fails the picture.
std::int16_t TiffRead(const char* name, int page, void** dib, bool& handled);

} // namespace pelisto::codec
