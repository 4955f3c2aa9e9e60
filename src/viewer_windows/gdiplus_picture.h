#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include <windows.h>

namespace pelisto {

class PictureDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// GDI+ from start-up to shutdown; every picture and drawing lives inside one. A decode still
// running on another thread at the end (the user left meanwhile) cannot be stopped: GDI+ then
// stays up and the process's exit ends both.
class GdiplusSession {
public:
    // Throws std::runtime_error when GDI+ does not start.
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

private:
    ULONG_PTR token_ = 0;
};

// A decode on a worker thread counts from before the thread starts until its last GDI+ call, so
// that the session's end, which may come meanwhile, leaves GDI+ up for it.
void DecodeStarting();
void DecodeEnded();

// A JPEG decoded by the decoder that ships with Windows, held as 32-bit pixels in memory (the
// stream it came from is not kept).
class DecodedPicture {
public:
    // Throws PictureDecodeError when the bytes are not a picture GDI+ can decode completely.
    explicit DecodedPicture(std::span<const std::uint8_t> jpeg);
    ~DecodedPicture();
    DecodedPicture(const DecodedPicture&) = delete;
    DecodedPicture& operator=(const DecodedPicture&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Draws the picture scaled into (left, top, width, height) with bicubic interpolation,
    // clipped to the DC's (clipWidth, clipHeight); only the visible part of the source is
    // resampled, so a picture zoomed far past the screen costs no more than a fitted one.
    void Draw(HDC dc, int clipWidth, int clipHeight, int left, int top, int width,
              int height) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
    void* bitmap_ = nullptr; // GpBitmap over pixels_
};

} // namespace pelisto
