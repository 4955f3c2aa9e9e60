#pragma once

#include "slideshow/screen_fit.h"
#include "viewer/jpeg_decoder.h"

#include <memory>
#include <stdexcept>
#include <string>

#include <X11/Xlib.h>

namespace pelisto {

class DisplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A borderless window covering the whole screen, black, with the pointer hidden, drawn from
// an off-screen image of the screen's size.
class FullScreenWindow {
public:
    // Throws DisplayError when there is no display or its pixel format is not supported.
    FullScreenWindow();
    ~FullScreenWindow();
    FullScreenWindow(const FullScreenWindow&) = delete;
    FullScreenWindow& operator=(const FullScreenWindow&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    ::Display* Display() const { return display_; }
    ::Window Window() const { return window_; }
    bool IsCloseRequest(const XEvent& event) const;

    // Black everywhere, then the picture scaled into `rect` (which may overflow the screen).
    void Draw(const DecodedPicture& picture, const PictureRect& rect);
    void DrawBlack();
    // The caption (UTF-8) on a dark band at the foot of the drawn image, cut with an ellipsis
    // to the screen's width; an empty one draws nothing. The text is laid out once per caption.
    void DrawCaption(const std::string& caption);

    // A crossfade: BeginFade keeps the drawn image as the outgoing frame, SetFadeTarget the one
    // drawn after it as the incoming frame; DrawFadeFrame mixes them into the drawn image,
    // `amount` 0 showing the outgoing frame and 1 the incoming one. Two screen-sized buffers,
    // made at the first fade.
    void BeginFade();
    void SetFadeTarget();
    void DrawFadeFrame(double amount);
    // Shows the drawn image as one frame of an animation. With the X Present extension the
    // frame is flipped in at the display's next refresh, and this returns true once it is up:
    // the display sets the pace. Without it the frame is put at once and the server waited
    // for, and this returns false: the caller keeps the pace.
    bool PresentFrame();
    // Copies the drawn image to the window, the whole of it or an exposed part.
    void Present();
    void Present(int x, int y, int width, int height);
    void TakeFocus();
    void SetBusy(bool busy); // hourglass pointer while a picture loads, else none

private:
    ::Display* display_ = nullptr;
    ::Window window_ = 0;
    int width_ = 0;
    int height_ = 0;
    GC gc_ = nullptr;
    XImage* image_ = nullptr;
    Cursor blankCursor_ = 0;
    Cursor busyCursor_ = 0;
    Atom deleteWindow_ = 0;
    struct Target;
    std::unique_ptr<Target> target_; // pixman's view of image_
    struct Caption;
    std::unique_ptr<Caption> caption_; // the last caption laid out
    struct Font;
    std::unique_ptr<Font> font_; // loaded at the first caption
    struct Fade;
    std::unique_ptr<Fade> fade_; // made at the first fade
    struct Presenter;
    std::unique_ptr<Presenter> presenter_; // X Present, set up at the first frame if there
    bool presenterTried_ = false;
};

} // namespace pelisto
