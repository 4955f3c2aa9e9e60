#include "viewer/full_screen_window.h"

#include "viewer/picture_scaler.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <langinfo.h>
#include <pixman.h>
#include <poll.h>
#include <xcb/present.h>

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

// Where the UTF-8 character before `end` starts.
std::size_t Utf8Back(const std::string& text, std::size_t end) {
    while (end > 0 && (static_cast<unsigned char>(text[--end]) & 0xC0) == 0x80) {
    }
    return end;
}

// For a core font: the characters up to `last` (the Basic Multilingual Plane for a Unicode
// font, Latin-1 for another), others as '?'.
std::vector<XChar2b> Utf8ToChar2b(const std::string& text, unsigned last) {
    std::vector<XChar2b> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        unsigned code = extra == 0 ? c : extra > 0 ? c & (0x3Fu >> extra) : '?';
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
        }
        if (code > last) {
            code = '?';
        }
        out.push_back({static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code)});
    }
    return out;
}

} // namespace

struct FullScreenWindow::Target {
    explicit Target(pixman_image_t* i) : image(i) {}
    PixmanImage image;
};

// The system's text font: a font set for the user's locale (any script its fonts have), else a
// core font.
struct FullScreenWindow::Font {
    ::Display* display = nullptr;
    XFontSet set = nullptr;
    XFontStruct* core = nullptr;
    int ascent = 0;
    int descent = 0;

    Font(::Display* d, int pixels) : display(d) {
        const std::string size = std::to_string(pixels);
        // A font set only in a UTF-8 locale: another would drop what it cannot encode.
        if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0 && XSupportsLocale()) {
            const std::string pattern = "-*-*-medium-r-normal--" + size +
                                        "-*-*-*-*-*-*-*,-*-*-*-*-*--" + size + "-*-*-*-*-*-*-*";
            char** missing = nullptr;
            int missingCount = 0;
            char* fallback = nullptr;
            set = XCreateFontSet(display, pattern.c_str(), &missing, &missingCount, &fallback);
            if (missing != nullptr) {
                XFreeStringList(missing);
            }
            if (set != nullptr) {
                const XFontSetExtents* extents = XExtentsOfFontSet(set);
                ascent = -extents->max_logical_extent.y;
                descent = extents->max_logical_extent.height - ascent;
                return;
            }
        }
        for (const std::string& name :
             {"-*-*-medium-r-normal--" + size + "-*-*-*-*-*-iso10646-1",
              "-*-*-medium-r-normal--" + size + "-*-*-*-*-*-*-*", std::string("fixed")}) {
            core = XLoadQueryFont(display, name.c_str());
            if (core != nullptr) {
                ascent = core->ascent;
                descent = core->descent;
                return;
            }
        }
    }
    ~Font() {
        if (set != nullptr) {
            XFreeFontSet(display, set);
        }
        if (core != nullptr) {
            XFreeFont(display, core);
        }
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool Usable() const { return set != nullptr || core != nullptr; }
    unsigned Last() const { return core->max_byte1 == 0 ? 0xFF : 0xFFFF; }

    int Width(const std::string& text) const {
        if (set != nullptr) {
            return Xutf8TextEscapement(set, text.data(), static_cast<int>(text.size()));
        }
        const auto chars = Utf8ToChar2b(text, Last());
        return XTextWidth16(core, chars.data(), static_cast<int>(chars.size()));
    }

    void Draw(Drawable target, GC gc, int x, int baseline, const std::string& text) const {
        if (set != nullptr) {
            Xutf8DrawString(display, target, set, gc, x, baseline, text.data(),
                            static_cast<int>(text.size()));
            return;
        }
        XSetFont(display, gc, core->fid);
        const auto chars = Utf8ToChar2b(text, Last());
        XDrawString16(display, target, gc, x, baseline, chars.data(),
                      static_cast<int>(chars.size()));
    }
};

// A caption laid out: its light text on black, as wide as the screen and as high as its band.
struct FullScreenWindow::Caption {
    std::string text;
    XImage* pixels = nullptr;
    pixman_image_t* image = nullptr;
    ~Caption() {
        if (image != nullptr) {
            pixman_image_unref(image);
        }
        if (pixels != nullptr) {
            XDestroyImage(pixels);
        }
    }
};

// Frames of an animation through the X Present extension: each is put into one of two
// pixmaps (the other may still be on screen) and presented at the next refresh, whose
// completion is awaited on the extension's own event queue, apart from Xlib's.
struct FullScreenWindow::Presenter {
    ::Display* display = nullptr;
    xcb_connection_t* connection = nullptr;
    xcb_special_event_t* events = nullptr;
    std::uint32_t eventId = 0;
    Pixmap pixmaps[2] = {0, 0};
    std::uint32_t serial = 0;

    ~Presenter() {
        if (events != nullptr) {
            xcb_unregister_for_special_event(connection, events);
        }
        for (Pixmap p : pixmaps) {
            if (p != 0) {
                XFreePixmap(display, p);
            }
        }
    }
};

struct FullScreenWindow::Fade {
    std::vector<std::uint32_t> from;
    std::vector<std::uint32_t> to;
    PixmanImage fromImage{nullptr};
    PixmanImage toImage{nullptr};
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
    caption_.reset();
    font_.reset();
    fade_.reset();
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

void FullScreenWindow::DrawCaption(const std::string& caption) {
    if (caption.empty()) {
        return;
    }
    if (!caption_ || caption_->text != caption) {
        caption_.reset();
        if (!font_) {
            // About 36 lines to the screen's height: readable across a room, never tiny.
            font_ = std::make_unique<Font>(display_, std::clamp(height_ / 36, 14, 96));
        }
        if (!font_->Usable()) {
            return;
        }
        auto laid = std::make_unique<Caption>();
        laid->text = caption;
        const int pad = std::max(4, (font_->ascent + font_->descent) / 3);
        const int room = width_ - 4 * pad;
        std::string shown = caption;
        if (font_->Width(shown) > room) {
            const std::string ellipsis = "...";
            std::size_t end = shown.size();
            while (end > 0 && font_->Width(caption.substr(0, end) + ellipsis) > room) {
                end = Utf8Back(caption, end);
            }
            shown = caption.substr(0, end) + ellipsis;
        }
        const int bandHeight = font_->ascent + font_->descent + 2 * pad;
        const int depth = DefaultDepth(display_, DefaultScreen(display_));
        Pixmap pixmap =
            XCreatePixmap(display_, window_, static_cast<unsigned>(width_),
                          static_cast<unsigned>(bandHeight), static_cast<unsigned>(depth));
        GC gc = XCreateGC(display_, pixmap, 0, nullptr);
        XSetForeground(display_, gc, BlackPixel(display_, DefaultScreen(display_)));
        XFillRectangle(display_, pixmap, gc, 0, 0, static_cast<unsigned>(width_),
                       static_cast<unsigned>(bandHeight));
        XSetForeground(display_, gc, WhitePixel(display_, DefaultScreen(display_)));
        font_->Draw(pixmap, gc, (width_ - font_->Width(shown)) / 2, pad + font_->ascent, shown);
        laid->pixels = XGetImage(display_, pixmap, 0, 0, static_cast<unsigned>(width_),
                                 static_cast<unsigned>(bandHeight), AllPlanes, ZPixmap);
        XFreeGC(display_, gc);
        XFreePixmap(display_, pixmap);
        // A pixmap's image carries no colour masks: it has the screen's depth, so its format.
        if (laid->pixels == nullptr || laid->pixels->bits_per_pixel != image_->bits_per_pixel) {
            return;
        }
        laid->image = pixman_image_create_bits(
            pixman_image_get_format(target_->image.image), width_, bandHeight,
            reinterpret_cast<std::uint32_t*>(laid->pixels->data), laid->pixels->bytes_per_line);
        if (laid->image == nullptr) {
            return;
        }
        caption_ = std::move(laid);
    }
    // A translucent dark band keeps light text readable on any picture; the text is added on
    // top, so white on black lands as white.
    const int bandHeight = pixman_image_get_height(caption_->image);
    const int top = height_ - bandHeight;
    const pixman_color_t shade{0, 0, 0, 0xA800};
    PixmanImage band(pixman_image_create_solid_fill(&shade));
    pixman_image_composite32(PIXMAN_OP_OVER, band.image, nullptr, target_->image.image, 0, 0, 0, 0,
                             0, top, width_, bandHeight);
    pixman_image_composite32(PIXMAN_OP_ADD, caption_->image, nullptr, target_->image.image, 0, 0, 0,
                             0, 0, top, width_, bandHeight);
}

void FullScreenWindow::BeginFade() {
    const std::size_t bytes =
        static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(height_);
    if (!fade_) {
        auto fade = std::make_unique<Fade>();
        fade->from.resize((bytes + 3) / 4);
        fade->to.resize((bytes + 3) / 4);
        const auto format = pixman_image_get_format(target_->image.image);
        fade->fromImage.image = pixman_image_create_bits(format, width_, height_, fade->from.data(),
                                                         image_->bytes_per_line);
        fade->toImage.image = pixman_image_create_bits(format, width_, height_, fade->to.data(),
                                                       image_->bytes_per_line);
        if (fade->fromImage.image == nullptr || fade->toImage.image == nullptr) {
            throw std::bad_alloc();
        }
        fade_ = std::move(fade);
    }
    std::memcpy(fade_->from.data(), image_->data, bytes);
}

void FullScreenWindow::SetFadeTarget() {
    std::memcpy(fade_->to.data(), image_->data,
                static_cast<std::size_t>(image_->bytes_per_line) *
                    static_cast<std::size_t>(height_));
}

void FullScreenWindow::DrawFadeFrame(double amount) {
    // The incoming frame over the outgoing one through a constant alpha: both opaque, so each
    // pixel is the mix of the two.
    const auto alpha = static_cast<std::uint16_t>(std::clamp(amount, 0.0, 1.0) * 0xFFFF);
    const pixman_color_t mix{0, 0, 0, alpha};
    PixmanImage mask(pixman_image_create_solid_fill(&mix));
    pixman_image_composite32(PIXMAN_OP_SRC, fade_->fromImage.image, nullptr, target_->image.image,
                             0, 0, 0, 0, 0, 0, width_, height_);
    pixman_image_composite32(PIXMAN_OP_OVER, fade_->toImage.image, mask.image, target_->image.image,
                             0, 0, 0, 0, 0, 0, width_, height_);
}

bool FullScreenWindow::PresentFrame() {
    if (!presenterTried_) {
        presenterTried_ = true;
        xcb_connection_t* connection = XGetXCBConnection(display_);
        const xcb_query_extension_reply_t* extension =
            xcb_get_extension_data(connection, &xcb_present_id);
        if (extension != nullptr && extension->present) {
            auto presenter = std::make_unique<Presenter>();
            presenter->display = display_;
            presenter->connection = connection;
            presenter->eventId = xcb_generate_id(connection);
            xcb_present_select_input(connection, presenter->eventId, window_,
                                     XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
            presenter->events = xcb_register_for_special_xge(connection, &xcb_present_id,
                                                             presenter->eventId, nullptr);
            const int depth = DefaultDepth(display_, DefaultScreen(display_));
            for (Pixmap& p : presenter->pixmaps) {
                p = XCreatePixmap(display_, window_, static_cast<unsigned>(width_),
                                  static_cast<unsigned>(height_), static_cast<unsigned>(depth));
            }
            if (presenter->events != nullptr) {
                presenter_ = std::move(presenter);
            }
        }
    }
    if (!presenter_) {
        Present();
        XSync(display_, False); // frames must not pile up in the server's queue
        return false;
    }
    Presenter& p = *presenter_;
    const Pixmap pixmap = p.pixmaps[p.serial % 2];
    XPutImage(display_, pixmap, gc_, image_, 0, 0, 0, 0, static_cast<unsigned>(width_),
              static_cast<unsigned>(height_));
    XFlush(display_); // Xlib's requests go out before the extension's
    const std::uint32_t serial = ++p.serial;
    xcb_present_pixmap(p.connection, static_cast<xcb_window_t>(window_),
                       static_cast<xcb_pixmap_t>(pixmap), serial, XCB_NONE, XCB_NONE, 0, 0,
                       XCB_NONE, XCB_NONE, XCB_NONE, XCB_PRESENT_OPTION_NONE, 0, 0, 0, 0, nullptr);
    xcb_flush(p.connection);
    // A refresh comes within a few tens of milliseconds; a server that never completes the
    // frame (a faulty extension) must not stall the show, so it loses the extension instead.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
    for (;;) {
        xcb_generic_event_t* event = xcb_poll_for_special_event(p.connection, p.events);
        if (event == nullptr) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{xcb_get_file_descriptor(p.connection), POLLIN, 0};
            if (xcb_connection_has_error(p.connection) != 0 || left.count() <= 0 ||
                (::poll(&fd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)) {
                presenter_.reset();
                return false;
            }
            continue;
        }
        const auto* notify = reinterpret_cast<const xcb_present_complete_notify_event_t*>(event);
        const bool done =
            notify->event_type == XCB_PRESENT_COMPLETE_NOTIFY && notify->serial == serial;
        std::free(event);
        if (done) {
            return true;
        }
    }
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
