#pragma once

// The EXIF orientation of camera and phone photos: most store the picture as the sensor saw it
// and say in a tag how to show it upright. Reading and patching are bounded by the data given
// and never trust an offset in it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelisto::exif {

// Orientation values 1..8 as EXIF numbers them; 1 is upright already.
inline constexpr int Upright = 1;

// Whether showing a picture of this orientation upright swaps its width and height.
inline bool SwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The orientation in an APP1 segment's payload ("Exif\0\0" and a TIFF block); 1 when there is
// none or it is not a valid value.
int OrientationOfApp1(const std::uint8_t* payload, std::size_t size);

// The orientation of a whole JPEG file in memory (its first EXIF APP1 segment).
int JpegOrientation(const std::uint8_t* jpeg, std::size_t size);

// Sets the orientation tag of a JPEG file in memory in place, when it has one. Returns whether
// the file now says orientation (true also when it has no tag and orientation is 1).
bool SetJpegOrientation(std::uint8_t* jpeg, std::size_t size, int orientation);

// The orientation that shows a picture of this orientation turned by quarter turns
// anticlockwise (negative: clockwise) more.
int TurnedOrientation(int orientation, int quarterTurns);

// The JPEG file with its orientation set: the tag changed where it is, added to the EXIF block's
// first directory when that has none, or a new EXIF block made for it after the JFIF header.
// Empty when the file's header is not sound or its EXIF block has no room left (a segment holds
// at most 64 KB).
std::vector<std::uint8_t> WithJpegOrientation(const std::uint8_t* jpeg, std::size_t size,
                                              int orientation);

// A new DIB (std::malloc) holding the picture shown upright, or nullptr when the block cannot
// be had or the DIB is not a plain one. Orientation 1 is not asked for here.
void* UprightDib(const void* dib, int orientation);

// The date a photo was taken (DateTimeOriginal, in the Exif directory the first directory
// points to) as EXIF writes it, "YYYY:MM:DD HH:MM:SS" in the camera's local time. Empty when
// there is none or it is not a date (cameras write blanks or zeros when they do not know).
std::string DateTakenOfApp1(const std::uint8_t* payload, std::size_t size);
std::string JpegDateTaken(const std::uint8_t* jpeg, std::size_t size);

} // namespace pelisto::exif
