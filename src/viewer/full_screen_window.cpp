#include "viewer/full_screen_window.h"

#include "viewer/picture_scaler.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <pixman.h>

namespace pelisto {

namespace {

// Requests the window system may refuse (focus before the window is viewable, a window
// manager's fullscreen protocol) must not end the program; report anything else.
int OnXError(::Display* display, XErrorEvent* error) {
    if (error->request_code == 42 /* X_SetInputFocus */) {
        return 0;
    }
    char text[256];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "X error: %s (request %d)\n", text, error->request_code);
    return 0;
}

int OnIoError(::Display*) {
    std::fprintf(stderr, "connection to the display lost\n");
    std::_Exit(2);
}

pixman_format_code_t FormatFor(const XImage& image) {
    if (image.bits_per_pixel == 32 && image.red_mask == 0xFF0000 && image.green_mask == 0xFF00 &&
        image.blue_mask == 0xFF) {
        return PIXMAN_x8r8g8b8;
    }
    if (image.bits_per_pixel == 32 && image.red_mask == 0xFF && image.green_mask == 0xFF00 &&
        image.blue_mask == 0xFF0000) {
        return PIXMAN_x8b8g8r8;
    }
    if (image.bits_per_pixel == 16 && image.red_mask == 0xF800 && image.green_mask == 0x7E0 &&
        image.blue_mask == 0x1F) {
        return PIXMAN_r5g6b5;
    }
    if (image.bits_per_pixel == 16 && image.red_mask == 0x7C00 && image.green_mask == 0x3E0 &&
        image.blue_mask == 0x1F) {
        return PIXMAN_x1r5g5b5;
    }
    return static_cast<pixman_format_code_t>(0);
}

} // namespace

struct FullScreenWindow::Target {
    explicit Target(pixman_image_t* i) : image(i) {}
    PixmanImage image;
};

FullScreenWindow::FullScreenWindow() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        const char* name = std::getenv("DISPLAY");
        throw DisplayError(
            std::string("cannot open the display") +
            (name != nullptr && *name != '\0' ? std::string(" ") + name : " (DISPLAY is not set)"));
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnIoError);

    const int screen = DefaultScreen(display_);
    width_ = DisplayWidth(display_, screen);
    height_ = DisplayHeight(display_, screen);
    Visual* visual = DefaultVisual(display_, screen);
    const int depth = DefaultDepth(display_, screen);

    // The drawing buffer, in the visual's own format so XPutImage needs no conversion.
    const int pad = 32;
    image_ = XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                          static_cast<unsigned>(width_), static_cast<unsigned>(height_), pad, 0);
    if (image_ == nullptr) {
        XCloseDisplay(display_);
        throw DisplayError("cannot create a screen image");
    }
    const auto format = FormatFor(*image_);
    if (visual->c_class != TrueColor || format == 0) {
        XDestroyImage(image_);
        XCloseDisplay(display_);
        throw DisplayError("unsupported display format (depth " + std::to_string(depth) +
                           "); a true-colour display of 16, 24 or 32 bits is needed");
    }
    image_->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(image_->bytes_per_line),
                                                  static_cast<std::size_t>(height_)));
    if (image_->data == nullptr) {
        XDestroyImage(image_);
        XCloseDisplay(display_);
        throw DisplayError("out of memory for the screen image");
    }
    target_ = std::make_unique<Target>(pixman_image_create_bits(
        format, width_, height_, reinterpret_cast<std::uint32_t*>(image_->data),
        image_->bytes_per_line));
    if (target_->image.image == nullptr) {
        XDestroyImage(image_);
        XCloseDisplay(display_);
        throw DisplayError("cannot prepare the screen image");
    }

    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display_, screen);
    attributes.border_pixel = BlackPixel(display_, screen);
    attributes.event_mask = KeyPressMask | ButtonPressMask | ExposureMask | StructureNotifyMask;
    window_ =
        XCreateWindow(display_, RootWindow(display_, screen), 0, 0, static_cast<unsigned>(width_),
                      static_cast<unsigned>(height_), 0, depth, InputOutput, visual,
                      CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XStoreName(display_, window_, "Slideshow");

    // Ask a window manager, if any, for fullscreen without decorations.
    Atom state = XInternAtom(display_, "_NET_WM_STATE", False);
    Atom fullscreen = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
    XChangeProperty(display_, window_, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&fullscreen), 1);
    Atom motif = XInternAtom(display_, "_MOTIF_WM_HINTS", False);
    long motifHints[5] = {2 /* decorations field present */, 0, 0 /* none */, 0, 0};
    XChangeProperty(display_, window_, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motifHints), 5);
    deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &deleteWindow_, 1);

    // Blank pointer from an empty one-bit pixmap.
    char zero = 0;
    Pixmap empty = XCreateBitmapFromData(display_, window_, &zero, 1, 1);
    XColor black{};
    blankCursor_ = XCreatePixmapCursor(display_, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display_, empty);
    busyCursor_ = XCreateFontCursor(display_, XC_watch);
    XDefineCursor(display_, window_, blankCursor_);

    gc_ = XCreateGC(display_, window_, 0, nullptr);
    XMapRaised(display_, window_);
    XFlush(display_);
}

FullScreenWindow::~FullScreenWindow() {
    target_.reset();
    if (image_ != nullptr) {
        XDestroyImage(image_); // frees the pixel buffer too
    }
    if (gc_ != nullptr) {
        XFreeGC(display_, gc_);
    }
    XFreeCursor(display_, blankCursor_);
    XFreeCursor(display_, busyCursor_);
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

bool FullScreenWindow::IsCloseRequest(const XEvent& event) const {
    return event.type == ClientMessage &&
           static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_;
}

void FullScreenWindow::DrawBlack() {
    std::memset(image_->data, 0,
                static_cast<std::size_t>(image_->bytes_per_line) *
                    static_cast<std::size_t>(height_));
}

void FullScreenWindow::Draw(const DecodedPicture& picture, const PictureRect& rect) {
    DrawBlack();
    DrawScaled(target_->image.image, width_, height_, picture, rect);
}

void FullScreenWindow::Present() {
    Present(0, 0, width_, height_);
}

void FullScreenWindow::Present(int x, int y, int width, int height) {
    XPutImage(display_, window_, gc_, image_, x, y, x, y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XFlush(display_);
}

void FullScreenWindow::TakeFocus() {
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
}

void FullScreenWindow::SetBusy(bool busy) {
    XDefineCursor(display_, window_, busy ? busyCursor_ : blankCursor_);
    XFlush(display_);
}

} // namespace pelisto
