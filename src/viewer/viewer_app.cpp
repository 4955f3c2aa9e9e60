#include "viewer/viewer_app.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>

#include <X11/keysym.h>

namespace pelisto {

Viewer::Viewer(const ByteSource& file, SlideshowLayout layout, FullScreenWindow& window)
    : file_(file), layout_(std::move(layout)), window_(window),
      pictureCount_(static_cast<int>(std::min<std::size_t>(layout_.pictures.size(), 0x7FFFFFFF))) {}

std::string Viewer::Name(int index) const {
    return "picture " + std::to_string(index + 1) + " of " + std::to_string(pictureCount_);
}

void Viewer::Render() {
    window_.Draw(picture_, view_.Rect());
    window_.Present();
}

void Viewer::ShowPicture(int index) {
    decoder_.Cancel();
    picture_ = DecodedPicture{}; // the last picture goes before the next one decodes
    window_.SetBusy(true);
    auto jpeg = ReadPicture(file_, layout_.pictures[static_cast<std::size_t>(index)]);
    int width = 0, height = 0;
    try {
        ReadJpegSize(jpeg, width, height);
    } catch (const JpegDecodeError& e) {
        throw PictureError(Name(index) + " cannot be shown: " + e.what());
    }
    view_ = PictureView(width, height, window_.Width(), window_.Height());
    Render(); // black until the picture is ready
    // Detail for twice the fitted size, so zooming in stays sharp for a while without ever
    // decoding again.
    const PictureRect& r = view_.Rect();
    decoder_.Start(std::move(jpeg), 2 * r.width, 2 * r.height);
}

void Viewer::OnDecoded() {
    auto result = decoder_.TakeResult();
    if (!result) {
        return;
    }
    if (!result->error.empty()) {
        throw PictureError(Name(currentIndex_) + " cannot be shown: " + result->error);
    }
    picture_ = std::move(result->picture);
    for (const auto& warning : picture_.warnings) {
        std::fprintf(stderr, "%s is damaged: %s\n", Name(currentIndex_).c_str(), warning.c_str());
    }
    Render();
    window_.SetBusy(false);
}

void Viewer::ZoomPicture(int step) {
    view_.Zoom(step);
    if (!decoder_.Busy()) {
        Render(); // else the decoded picture is drawn at the new size when it arrives
    }
}

void Viewer::Step(int delta) {
    if (pictureCount_ <= 1) {
        return;
    }
    currentIndex_ += delta;
    if (currentIndex_ >= pictureCount_) {
        currentIndex_ = 0;
    } else if (currentIndex_ < 0) {
        currentIndex_ = pictureCount_ - 1;
    }
    ShowPicture(currentIndex_);
}

bool Viewer::HandleEvent(const XEvent& event) {
    switch (event.type) {
    case Expose:
        window_.Present(event.xexpose.x, event.xexpose.y, event.xexpose.width,
                        event.xexpose.height);
        return true;
    case MapNotify:
        window_.TakeFocus();
        return true;
    case ClientMessage:
        return !window_.IsCloseRequest(event);
    case ButtonPress:
        if (event.xbutton.button == Button1) {
            Step(+1);
        }
        return true;
    case KeyPress: {
        // Index 0: the key itself, whatever the modifiers. Laptops lack a keypad, so the
        // arrows, Page Up/Down and the main keyboard's + and - serve as well; "+" is the
        // shifted "=" on many layouts, so that key counts as + too.
        XKeyEvent key = event.xkey;
        switch (XLookupKeysym(&key, 0)) {
        case XK_Escape:
            return false;
        case XK_space:
        case XK_Right:
        case XK_Next:
            Step(+1);
            break;
        case XK_BackSpace:
        case XK_Left:
        case XK_Prior:
            Step(-1);
            break;
        case XK_KP_Add:
        case XK_plus:
        case XK_equal:
            ZoomPicture(+kZoomStep);
            break;
        case XK_KP_Subtract:
        case XK_minus:
            ZoomPicture(-kZoomStep);
            break;
        case XK_KP_Multiply:
            ZoomPicture(0);
            break;
        default:
            break;
        }
        return true;
    }
    default:
        return true;
    }
}

void Viewer::Run() {
    ::Display* display = window_.Display();
    ShowPicture(0);
    if (layout_.automatic) {
        interval_ = std::chrono::seconds(layout_.delaySeconds);
        nextTick_ = Clock::now() + *interval_;
    }
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (!HandleEvent(event)) {
                return;
            }
        }
        int timeout = -1;
        if (interval_) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(nextTick_ - Clock::now());
            timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
        }
        pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {decoder_.WakeFd(), POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            throw DisplayError("waiting for the display failed");
        }
        if ((fds[1].revents & POLLIN) != 0) {
            OnDecoded();
        }
        if (interval_ && Clock::now() >= nextTick_) {
            // A late tick is delivered once; the period runs on from where it was.
            while (nextTick_ <= Clock::now()) {
                nextTick_ += *interval_;
            }
            if (pictureCount_ >= 2) {
                Step(+1);
            }
        }
    }
}

} // namespace pelisto
