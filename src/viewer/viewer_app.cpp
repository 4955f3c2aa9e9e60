#include "viewer/viewer_app.h"

#include "slideshow/play_rules.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <random>
#include <string>

namespace pelisto {

namespace {

// The slideshow's options ride in its first picture, just after the JPEG's header: a short
// read finds them without reading a large picture twice.
PlayOptions ReadOptions(const ByteSource& file, const SlideshowLayout& layout) {
    PictureSlice head = layout.pictures.front();
    head.length = std::min<std::uint32_t>(head.length, 64 * 1024);
    const auto options = ReadPlayOptions(ReadPicture(file, head));
    return options ? options->play : PlayOptions{};
}

std::uint64_t NewSeed() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
           static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

constexpr auto kFramePeriod = std::chrono::microseconds(16'667); // about 60 frames a second

} // namespace

Viewer::Viewer(const ByteSource& file, SlideshowLayout layout, FullScreenWindow& window)
    : file_(file), layout_(std::move(layout)), window_(window),
      pictureCount_(static_cast<int>(std::min<std::size_t>(layout_.pictures.size(), 0x7FFFFFFF))),
      options_(ReadOptions(file_, layout_)),
      order_(static_cast<std::size_t>(pictureCount_), options_, options_.shuffle ? NewSeed() : 0) {}

std::string Viewer::Name(int index) const {
    return "picture " + std::to_string(index + 1) + " of " + std::to_string(pictureCount_);
}

void Viewer::Render(bool fade) {
    FinishFade();
    const bool fading = fade && shownAny_ && options_.crossfadeMs > 0;
    if (fading) {
        window_.BeginFade();
    }
    window_.Draw(picture_, view_.Rect());
    if (const auto caption = captions_.find(currentIndex_); caption != captions_.end()) {
        window_.DrawCaption(caption->second);
    }
    shownAny_ = true;
    if (fading) {
        window_.SetFadeTarget();
        fadeStart_ = Clock::now();
        DrawFadeFrame();
        return;
    }
    window_.Present();
}

void Viewer::DrawFadeFrame() {
    const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - *fadeStart_);
    const double amount = elapsed.count() / options_.crossfadeMs;
    if (amount >= 1.0) {
        FinishFade();
        return;
    }
    window_.DrawFadeFrame(amount);
    framePaced_ = window_.PresentFrame();
}

// A fade under way jumps to its end: the incoming picture whole.
void Viewer::FinishFade() {
    if (!fadeStart_) {
        return;
    }
    fadeStart_.reset();
    window_.DrawFadeFrame(1.0);
    window_.Present();
}

void Viewer::FindNeighbours() {
    nextIndex_ = static_cast<int>(order_.Upcoming());
    PlayOrder back = order_;
    previousIndex_ = back.Previous() ? static_cast<int>(back.Current()) : -1;
}

bool Viewer::IsNeighbour(int index) const {
    return index != currentIndex_ && index >= 0 && (index == nextIndex_ || index == previousIndex_);
}

std::string Viewer::StartDecode(int index) {
    auto jpeg = ReadPicture(file_, layout_.pictures[static_cast<std::size_t>(index)]);
    if (const auto options = ReadPlayOptions(jpeg); options && !options->caption.empty()) {
        captions_[index] = options->caption;
    }
    int width = 0, height = 0;
    try {
        ReadJpegSize(jpeg, width, height);
    } catch (const JpegDecodeError& e) {
        return e.what();
    }
    decodingView_ = PictureView(width, height, window_.Width(), window_.Height());
    decodingIndex_ = index;
    // Detail for twice the fitted size, so zooming in stays sharp for a while without ever
    // decoding again.
    const PictureRect& r = decodingView_.Rect();
    decoder_.Start(std::move(jpeg), 2 * r.width, 2 * r.height, r.width, r.height);
    return {};
}

void Viewer::ShowPicture(int index) {
    const int shown = currentIndex_;
    currentIndex_ = index;
    if (!picture_.pixels.empty() && shown != index) {
        neighbours_.push_back({shown, std::move(picture_), {}});
    }
    picture_ = DecodedPicture{};
    std::optional<Neighbour> ready;
    for (auto& n : neighbours_) {
        if (n.index == index) {
            ready = std::move(n);
            n.index = -1;
        }
    }
    std::erase_if(neighbours_, [this](const Neighbour& n) { return !IsNeighbour(n.index); });
    if (decoder_.Busy() && decodingIndex_ != index && !IsNeighbour(decodingIndex_)) {
        decoder_.Cancel();
    }
    if (ready && !ready->error.empty()) {
        // Failed ahead, perhaps only for want of the memory the neighbours hold: free them and
        // decode it again, which reports the failure if it is the picture's own.
        ready.reset();
        neighbours_.clear();
    }
    if (ready) {
        picture_ = std::move(ready->picture);
        view_ = PictureView(picture_.naturalWidth, picture_.naturalHeight, window_.Width(),
                            window_.Height());
        Render(true);
        window_.SetBusy(false);
        Prefetch();
        return;
    }
    window_.SetBusy(true);
    if (!decoder_.Busy() || decodingIndex_ != index) {
        decoder_.Cancel();
        if (const auto error = StartDecode(index); !error.empty()) {
            throw PictureError(Name(index) + " cannot be shown: " + error);
        }
    }
    // The screen keeps the picture shown before until this one is ready, as other viewers do.
    view_ = decodingView_;
}

// Decodes the next picture, else the previous one, while the shown one stays on screen.
void Viewer::Prefetch() {
    if (decoder_.Busy() || picture_.pixels.empty()) {
        return;
    }
    for (const int index : {nextIndex_, previousIndex_}) {
        if (index < 0) {
            continue;
        }
        const bool held = std::any_of(neighbours_.begin(), neighbours_.end(),
                                      [index](const Neighbour& n) { return n.index == index; });
        if (index == currentIndex_ || held) {
            continue;
        }
        if (auto error = StartDecode(index); !error.empty()) {
            // Reported if the user steps there, as when it is shown without prefetching.
            neighbours_.push_back({index, DecodedPicture{}, std::move(error)});
            continue;
        }
        return;
    }
}

void Viewer::OnDecoded() {
    auto result = decoder_.TakeResult();
    if (!result) {
        return;
    }
    const int index = decodingIndex_;
    decodingIndex_ = -1;
    for (const auto& warning : result->picture.warnings) {
        std::fprintf(stderr, "%s is damaged: %s\n", Name(index).c_str(), warning.c_str());
    }
    if (index != currentIndex_) {
        if (IsNeighbour(index)) {
            neighbours_.push_back({index, std::move(result->picture), std::move(result->error)});
        }
        Prefetch();
        return;
    }
    if (!result->error.empty()) {
        throw PictureError(Name(currentIndex_) + " cannot be shown: " + result->error);
    }
    picture_ = std::move(result->picture);
    Render(true);
    window_.SetBusy(false);
    Prefetch();
}

void Viewer::ZoomPicture(int step) {
    view_.Zoom(step);
    if (!picture_.pixels.empty()) {
        Render(); // else the decoded picture is drawn at the new size when it arrives
    }
}

bool Viewer::Step(int delta, bool byHand) {
    FinishFade();
    const PlayOrder::Stepped step = order_.Step(delta, byHand);
    if (step.moved) {
        FindNeighbours();
        ShowPicture(static_cast<int>(order_.Current()));
    }
    return step.goesOn;
}

// A picture stepped to by hand gets the whole period before the automatic advance.
bool Viewer::StepByHand(int delta) {
    if (interval_) {
        nextTick_ = Clock::now() + *interval_;
    }
    return Step(delta, true);
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
        return event.xbutton.button != Button1 || StepByHand(+1);
    case KeyPress: {
        // Index 0: the key itself, whatever the modifiers; the keys are those every player takes.
        XKeyEvent key = event.xkey;
        const KeySym pressed = XLookupKeysym(&key, 0);
        for (const PlayKey& k : kPlayKeys) {
            if (XStringToKeysym(std::string(k.x11).c_str()) != pressed) {
                continue;
            }
            switch (k.action) {
            case PlayAction::Leave:
                return false;
            case PlayAction::Next:
                return StepByHand(+1);
            case PlayAction::Previous:
                return StepByHand(-1);
            case PlayAction::ZoomIn:
                ZoomPicture(+kZoomStep);
                break;
            case PlayAction::ZoomOut:
                ZoomPicture(-kZoomStep);
                break;
            case PlayAction::Fit:
                ZoomPicture(0);
                break;
            }
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
    FindNeighbours();
    ShowPicture(static_cast<int>(order_.Current()));
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
        if (fadeStart_) {
            // Each frame drawn whole; the display's refresh sets the pace, else a steady one.
            const int frame =
                framePaced_
                    ? 0
                    : static_cast<int>(
                          std::chrono::ceil<std::chrono::milliseconds>(kFramePeriod).count());
            timeout = timeout < 0 ? frame : std::min(timeout, frame);
        }
        pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {decoder_.WakeFd(), POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            throw DisplayError("waiting for the display failed");
        }
        if ((fds[1].revents & POLLIN) != 0) {
            OnDecoded();
        }
        if (fadeStart_) {
            DrawFadeFrame();
        }
        if (interval_ && Clock::now() >= nextTick_) {
            // A late tick is delivered once; the period runs on from where it was.
            while (nextTick_ <= Clock::now()) {
                nextTick_ += *interval_;
            }
            Step(+1, false);
        }
    }
}

} // namespace pelisto
