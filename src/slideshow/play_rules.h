#pragma once

#include <array>
#include <string_view>

namespace pelisto {

// How every player of a slideshow answers the keyboard: the Linux stub looks its keys up here
// by their X11 names, the web page gets the same rows by their browser key names and the test
// window by their Windows virtual-key codes, so the key list cannot differ between them. Zoom
// steps and limits are in screen_fit.h.

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
    int vk;               // Windows virtual-key code (VK_OEM_PLUS is the key with + and =)
};

// Laptops lack a keypad, so the arrows, Page Up / Page Down and the main keyboard's + and -
// serve as well; "+" is the shifted "=" on many layouts, so that key counts as + too.
inline constexpr std::array kPlayKeys{
    PlayKey{PlayAction::Leave, "Escape", "Escape", 0x1B},
    PlayKey{PlayAction::Next, "space", " ", 0x20},
    PlayKey{PlayAction::Next, "Right", "ArrowRight", 0x27},
    PlayKey{PlayAction::Next, "Next", "PageDown", 0x22},
    PlayKey{PlayAction::Previous, "BackSpace", "Backspace", 0x08},
    PlayKey{PlayAction::Previous, "Left", "ArrowLeft", 0x25},
    PlayKey{PlayAction::Previous, "Prior", "PageUp", 0x21},
    PlayKey{PlayAction::ZoomIn, "KP_Add", "+", 0x6B},
    PlayKey{PlayAction::ZoomIn, "plus", "+", 0xBB},
    PlayKey{PlayAction::ZoomIn, "equal", "=", 0xBB},
    PlayKey{PlayAction::ZoomOut, "KP_Subtract", "-", 0x6D},
    PlayKey{PlayAction::ZoomOut, "minus", "-", 0xBD},
    PlayKey{PlayAction::Fit, "KP_Multiply", "*", 0x6A},
};

} // namespace pelisto
