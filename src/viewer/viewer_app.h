#pragma once

#include "slideshow/byte_source.h"
#include "slideshow/screen_fit.h"
#include "slideshow/slideshow_format.h"
#include "viewer/background_decoder.h"
#include "viewer/full_screen_window.h"
#include "viewer/jpeg_decoder.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <vector>

namespace pelisto {

// A picture of the slideshow that cannot be shown.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Plays the pictures the way the tool's test window does: fitted on black, Space forwards,
// Backspace backwards (both wrapping), keypad + - * zoom, Escape leaves; for laptops also the
// Right / Left arrows, Page Down / Up, a left click forwards and the main keyboard's + and -.
// With the automatic flag a tick every `delay` seconds advances as Space does; stepping by hand
// does not restart the tick's period. Pictures decode on a worker thread, so keys (Escape above
// all) are answered while a large one decodes; zooming scales the decoded picture and never
// decodes it again.
class Viewer {
public:
    Viewer(const ByteSource& file, SlideshowLayout layout, FullScreenWindow& window);
    // Returns when the user leaves. Throws PictureError when a picture fails to decode.
    void Run();

private:
    using Clock = std::chrono::steady_clock;

    void ShowPicture(int index);
    void ZoomPicture(int step);
    void Step(int delta);
    void Render();
    bool HandleEvent(const XEvent& event); // false once the user leaves
    void OnDecoded();
    std::string Name(int index) const; // "picture 2 of 5"

    const ByteSource& file_;
    SlideshowLayout layout_;
    FullScreenWindow& window_;
    int pictureCount_ = 0;
    int currentIndex_ = 0;
    DecodedPicture picture_; // empty while the shown picture decodes
    BackgroundDecoder decoder_;
    PictureView view_;
    std::optional<Clock::duration> interval_;
    Clock::time_point nextTick_;
};

} // namespace pelisto
