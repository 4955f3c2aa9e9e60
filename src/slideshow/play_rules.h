#pragma once

#include <array>
#include <string_view>

namespace pelisto {

// How every player of a slideshow answers the keyboard: the Linux stub looks its keys up here
// by their X11 names and the web page gets the same rows by their browser key names, so the
// key list cannot differ between them. Zoom steps and limits are in screen_fit.h.

enum class PlayAction {
    Leave,    // the stubs end; the page leaves full screen (the browser does it)
    Next,     // after the last picture comes the first
    Previous, // before the first picture comes the last
    ZoomIn,   // + kZoomStep
    ZoomOut,  // - kZoomStep
    Fit,      // back to the screen fit
};

struct PlayKey {
    PlayAction action;
    std::string_view x11; // keysym name, the key itself whatever the modifiers
    std::string_view web; // KeyboardEvent.key
};

// Laptops lack a keypad, so the arrows, Page Up / Page Down and the main keyboard's + and -
// serve as well; "+" is the shifted "=" on many layouts, so that key counts as + too.
inline constexpr std::array kPlayKeys{
    PlayKey{PlayAction::Leave, "Escape", "Escape"},
    PlayKey{PlayAction::Next, "space", " "},
    PlayKey{PlayAction::Next, "Right", "ArrowRight"},
    PlayKey{PlayAction::Next, "Next", "PageDown"},
    PlayKey{PlayAction::Previous, "BackSpace", "Backspace"},
    PlayKey{PlayAction::Previous, "Left", "ArrowLeft"},
    PlayKey{PlayAction::Previous, "Prior", "PageUp"},
    PlayKey{PlayAction::ZoomIn, "KP_Add", "+"},
    PlayKey{PlayAction::ZoomIn, "plus", "+"},
    PlayKey{PlayAction::ZoomIn, "equal", "="},
    PlayKey{PlayAction::ZoomOut, "KP_Subtract", "-"},
    PlayKey{PlayAction::ZoomOut, "minus", "-"},
    PlayKey{PlayAction::Fit, "KP_Multiply", "*"},
};

} // namespace pelisto
