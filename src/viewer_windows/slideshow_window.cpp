#include "viewer_windows/slideshow_window.h"

#include "slideshow/jpeg_frame.h"
#include "slideshow/picture_limit.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <random>

namespace pelisto {

namespace {

constexpr wchar_t kClassName[] = L"PelistoSlideshow";
constexpr UINT_PTR kAdvanceTimer = 1;
constexpr UINT_PTR kFadeTimer = 2;

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
           static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
           GetTickCount64();
}

std::wstring Utf16(const std::string& text) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            size);
    }
    return out;
}

// The display's pace when the desktop composes (DwmFlush waits for its next frame); looked up
// at run time, so the stub imports nothing more.
using DwmFlushFunction = HRESULT(WINAPI*)();
using DwmIsCompositionEnabledFunction = HRESULT(WINAPI*)(BOOL*);

DwmFlushFunction ComposedFlush() {
    static const DwmFlushFunction flush = []() -> DwmFlushFunction {
        HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
        if (dwm == nullptr) {
            return nullptr;
        }
        const auto enabled = reinterpret_cast<DwmIsCompositionEnabledFunction>(
            reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
        BOOL on = FALSE;
        if (enabled == nullptr || FAILED(enabled(&on)) || !on) {
            return nullptr;
        }
        return reinterpret_cast<DwmFlushFunction>(
            reinterpret_cast<void*>(GetProcAddress(dwm, "DwmFlush")));
    }();
    return flush;
}

} // namespace

SlideshowWindow::SlideshowWindow(HINSTANCE instance, const ByteSource& file, SlideshowLayout layout)
    : file_(file), layout_(std::move(layout)),
      pictureCount_(static_cast<int>(std::min<std::size_t>(layout_.pictures.size(), 0x7FFFFFFF))),
      options_(ReadOptions(file_, layout_)),
      order_(static_cast<std::size_t>(pictureCount_), options_, options_.shuffle ? NewSeed() : 0) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = Procedure;
    cls.hInstance = instance;
    cls.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    cls.lpszClassName = kClassName;
    if (RegisterClassExW(&cls) == 0) {
        throw DisplayError("cannot register the slideshow window");
    }

    // The primary screen in device pixels (the process is DPI-aware, so no scaling lies between).
    width_ = GetSystemMetrics(SM_CXSCREEN);
    height_ = GetSystemMetrics(SM_CYSCREEN);
    if (width_ < 1 || height_ < 1) {
        throw DisplayError("no screen to show the slideshow on");
    }

    HDC screen = GetDC(nullptr);
    memoryDc_ = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    memoryBitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &memoryBits_, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (memoryDc_ == nullptr || memoryBitmap_ == nullptr) {
        if (memoryBitmap_ != nullptr) {
            DeleteObject(memoryBitmap_);
        }
        if (memoryDc_ != nullptr) {
            DeleteDC(memoryDc_);
        }
        throw DisplayError("not enough memory for a screen of " + std::to_string(width_) + " x " +
                           std::to_string(height_));
    }
    previousBitmap_ = SelectObject(memoryDc_, memoryBitmap_);

    window_ = CreateWindowExW(0, kClassName, L"Slideshow", WS_POPUP, 0, 0, width_, height_, nullptr,
                              nullptr, instance, this);
    if (window_ == nullptr) {
        SelectObject(memoryDc_, previousBitmap_);
        DeleteObject(memoryBitmap_);
        DeleteDC(memoryDc_);
        throw DisplayError("cannot create the slideshow window");
    }
}

SlideshowWindow::~SlideshowWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    for (Frame* frame : {&fadeFrom_, &fadeTo_}) {
        if (frame->dc != nullptr) {
            SelectObject(frame->dc, frame->previous);
            DeleteObject(frame->bitmap);
            DeleteDC(frame->dc);
        }
    }
    if (captionFont_ != nullptr) {
        DeleteObject(captionFont_);
    }
    SelectObject(memoryDc_, previousBitmap_);
    DeleteObject(memoryBitmap_);
    DeleteDC(memoryDc_);
}

LRESULT CALLBACK SlideshowWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<SlideshowWindow*>(create->lpCreateParams)->window_ = window;
    }
    auto* self = reinterpret_cast<SlideshowWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, w, l);
    }
    // No exception may cross the system's frames: a failure ends the loop and Run raises it
    // again, so its kind decides the exit code.
    try {
        return self->Handle(message, w, l);
    } catch (...) {
        self->Fail(std::current_exception());
    }
    return 0;
}

void SlideshowWindow::Fail(std::exception_ptr error) {
    if (!failure_) {
        failure_ = error;
    }
    KillTimer(window_, kAdvanceTimer);
    KillTimer(window_, kFadeTimer);
    PostQuitMessage(3);
}

LRESULT SlideshowWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window_, &paint);
        const RECT& r = paint.rcPaint;
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memoryDc_, r.left, r.top,
               SRCCOPY);
        EndPaint(window_, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
    case WM_SETCURSOR:
        if (LOWORD(l) == HTCLIENT) {
            SetCursor(busy_ ? LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)) : nullptr); // IDC_WAIT
            return TRUE;
        }
        break;
    case WM_KEYDOWN:
        OnKey(w);
        return 0;
    case WM_LBUTTONDOWN:
        if (!StepByHand(+1)) {
            PostQuitMessage(0);
        }
        return 0;
    case PictureLoader::kDoneMessage:
        OnDecoded(l);
        return 0;
    case WM_TIMER:
        // A late tick comes once; the period runs on. One picture: nothing to advance to.
        if (w == kAdvanceTimer) {
            Step(+1, false);
        } else if (w == kFadeTimer) {
            DrawFadeFrame();
        }
        return 0;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, w, l);
}

void SlideshowWindow::OnKey(WPARAM key) {
    FinishFade(); // a key during a fade ends it at once
    switch (key) {
    case VK_ESCAPE:
        PostQuitMessage(0);
        break;
    case VK_SPACE:
    case VK_RIGHT:
    case VK_NEXT:
        if (!StepByHand(+1)) {
            PostQuitMessage(0);
        }
        break;
    case VK_BACK:
    case VK_LEFT:
    case VK_PRIOR:
        StepByHand(-1);
        break;
    case VK_ADD:
    case VK_OEM_PLUS: // the main keyboard's + key, whatever the layout
        ZoomPicture(+kZoomStep);
        break;
    case VK_SUBTRACT:
    case VK_OEM_MINUS:
        ZoomPicture(-kZoomStep);
        break;
    case VK_MULTIPLY:
        ZoomPicture(0);
        break;
    default:
        break;
    }
}

void SlideshowWindow::Render(bool fade) {
    FinishFade();
    const bool fading = fade && shownAny_ && options_.crossfadeMs > 0;
    if (fading && fadeFrom_.dc == nullptr) {
        HDC screen = GetDC(nullptr);
        for (Frame* frame : {&fadeFrom_, &fadeTo_}) {
            frame->dc = CreateCompatibleDC(screen);
            frame->bitmap = CreateCompatibleBitmap(screen, width_, height_);
            if (frame->dc == nullptr || frame->bitmap == nullptr) {
                ReleaseDC(nullptr, screen);
                throw std::bad_alloc();
            }
            frame->previous = SelectObject(frame->dc, frame->bitmap);
        }
        ReleaseDC(nullptr, screen);
    }
    if (fading) {
        BitBlt(fadeFrom_.dc, 0, 0, width_, height_, memoryDc_, 0, 0, SRCCOPY);
    }
    std::memset(memoryBits_, 0,
                static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    if (picture_) {
        const PictureRect& r = view_.Rect();
        picture_->Draw(memoryDc_, width_, height_, r.left, r.top, r.width, r.height);
        if (const auto caption = captions_.find(currentIndex_); caption != captions_.end()) {
            DrawCaption(caption->second);
        }
        shownAny_ = true;
    }
    if (fading) {
        BitBlt(fadeTo_.dc, 0, 0, width_, height_, memoryDc_, 0, 0, SRCCOPY);
        fading_ = true;
        fadeStart_ = GetTickCount64();
        SetTimer(window_, kFadeTimer, USER_TIMER_MINIMUM, nullptr);
        DrawFadeFrame();
        return;
    }
    Show();
}

void SlideshowWindow::Show() {
    GdiFlush();
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
}

// Each frame is drawn whole into the back buffer (the outgoing frame, the incoming one over it
// with a constant alpha), then copied to the window at once.
void SlideshowWindow::DrawFadeFrame() {
    if (!fading_) {
        return;
    }
    const ULONGLONG elapsed = GetTickCount64() - fadeStart_;
    if (elapsed >= options_.crossfadeMs) {
        FinishFade();
        return;
    }
    BitBlt(memoryDc_, 0, 0, width_, height_, fadeFrom_.dc, 0, 0, SRCCOPY);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(elapsed * 255 / options_.crossfadeMs), 0};
    GdiAlphaBlend(memoryDc_, 0, 0, width_, height_, fadeTo_.dc, 0, 0, width_, height_, blend);
    Show();
    if (const auto flush = ComposedFlush()) {
        flush(); // the next frame waits for the display's
    }
}

void SlideshowWindow::FinishFade() {
    if (!fading_) {
        return;
    }
    fading_ = false;
    KillTimer(window_, kFadeTimer);
    BitBlt(memoryDc_, 0, 0, width_, height_, fadeTo_.dc, 0, 0, SRCCOPY);
    Show();
}

// The caption on a translucent dark band at the foot, light text in the system's message font,
// cut with an ellipsis to the screen's width.
void SlideshowWindow::DrawCaption(const std::string& caption) {
    if (caption.empty()) {
        return;
    }
    if (captionFont_ == nullptr) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        LOGFONTW font{};
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            font = metrics.lfMessageFont;
        } else {
            font.lfWeight = FW_NORMAL;
            font.lfCharSet = DEFAULT_CHARSET;
        }
        // About 36 lines to the screen's height: readable across a room, never tiny.
        font.lfHeight = -std::clamp(height_ / 36, 14, 96);
        font.lfWidth = 0;
        font.lfQuality = ANTIALIASED_QUALITY;
        captionFont_ = CreateFontIndirectW(&font);
        if (captionFont_ == nullptr) {
            return;
        }
    }
    const HGDIOBJ previousFont = SelectObject(memoryDc_, captionFont_);
    TEXTMETRICW text{};
    GetTextMetricsW(memoryDc_, &text);
    const int pad = std::max<int>(4, text.tmHeight / 3);
    const int bandHeight = std::min<int>(height_, text.tmHeight + 2 * pad);
    GdiFlush();
    auto* pixels = static_cast<std::uint8_t*>(memoryBits_);
    for (int y = height_ - bandHeight; y < height_; ++y) {
        std::uint8_t* row =
            pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 4;
        for (int i = 0; i < width_ * 4; ++i) {
            row[i] = static_cast<std::uint8_t>(row[i] * 87 / 255); // a third of the picture
        }
    }
    RECT area{2 * pad, height_ - bandHeight, width_ - 2 * pad, height_};
    SetBkMode(memoryDc_, TRANSPARENT);
    SetTextColor(memoryDc_, RGB(255, 255, 255));
    std::wstring wide = Utf16(caption);
    DrawTextW(memoryDc_, wide.data(), static_cast<int>(wide.size()), &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(memoryDc_, previousFont);
}

std::string SlideshowWindow::Name(int index) const {
    return "picture " + std::to_string(index + 1) + " of " + std::to_string(pictureCount_);
}

void SlideshowWindow::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    ShowCursor(busy ? TRUE : FALSE);
    SetCursor(busy ? LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)) : nullptr); // IDC_WAIT
}

void SlideshowWindow::FindNeighbours() {
    nextIndex_ = static_cast<int>(order_.Upcoming());
    PlayOrder back = order_;
    previousIndex_ = back.Previous() ? static_cast<int>(back.Current()) : -1;
}

bool SlideshowWindow::IsNeighbour(int index) const {
    return index != currentIndex_ && index >= 0 && (index == nextIndex_ || index == previousIndex_);
}

std::string SlideshowWindow::RequestDecode(int index, PictureView* view, bool ahead) {
    auto jpeg = ReadPicture(file_, layout_.pictures[static_cast<std::size_t>(index)]);
    if (const auto options = ReadPlayOptions(jpeg); options && !options->caption.empty()) {
        captions_[index] = options->caption;
    }
    // The size from the header: zoom keys pressed while the picture decodes already count.
    const auto frame = ReadJpegFrameSize(jpeg);
    if (!frame) {
        return "the picture is damaged (no readable frame header)";
    }
    if (!PictureSizeAllowed(frame->width, frame->height)) {
        return "picture too large: " + PictureTooLargeText(frame->width, frame->height);
    }
    if (view != nullptr) {
        *view = PictureView(static_cast<int>(frame->width), static_cast<int>(frame->height), width_,
                            height_);
    }
    loader_.Request(window_, index, std::move(jpeg), ahead);
    return {};
}

void SlideshowWindow::ShowPicture(int index) {
    const int shown = currentIndex_;
    currentIndex_ = index;
    retrying_ = false;
    if (picture_ && shown != index) {
        neighbours_.push_back({shown, std::move(picture_), {}});
    }
    picture_.reset();
    std::optional<Neighbour> ready;
    for (auto& n : neighbours_) {
        if (n.index == index) {
            ready = std::move(n);
            n.index = -1;
        }
    }
    std::erase_if(neighbours_, [this](const Neighbour& n) { return !IsNeighbour(n.index); });
    if (ready && !ready->picture) {
        // Failed ahead, perhaps only for want of the memory the neighbours hold: free them and
        // decode it again, which reports the failure if it is the picture's own.
        ready.reset();
        neighbours_.clear();
        retrying_ = true;
    }
    if (ready) {
        picture_ = std::move(ready->picture);
        view_ = PictureView(picture_->Width(), picture_->Height(), width_, height_);
        Render(true);
        SetBusy(false);
        Prefetch();
        return;
    }
    if (const auto error = RequestDecode(index, &view_, false); !error.empty()) {
        throw PictureError(Name(index) + " cannot be shown: " + error);
    }
    // The screen keeps the picture shown before until this one is ready, as other viewers do.
    SetBusy(true);
}

// Decodes the next picture, else the previous one, while the shown one stays on screen.
void SlideshowWindow::Prefetch() {
    if (loader_.Busy() || !picture_) {
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
        if (auto error = RequestDecode(index, nullptr, true); !error.empty()) {
            // Reported if the user steps there, as when it is shown without prefetching.
            neighbours_.push_back({index, nullptr, std::move(error)});
            continue;
        }
        return;
    }
}

void SlideshowWindow::OnDecoded(LPARAM job) {
    auto result = loader_.Finished(job);
    if (result.index != currentIndex_ || picture_) {
        if (IsNeighbour(result.index) && !retrying_) {
            neighbours_.push_back(
                {result.index, std::move(result.picture), std::move(result.error)});
        }
        Prefetch();
        return;
    }
    if (!result.picture && result.ahead && !retrying_) {
        // The shown picture failed while it was decoded ahead (the user stepped onto it
        // meanwhile), perhaps only for want of the memory the neighbours hold: once more
        // without them, which reports the failure if it is the picture's own.
        retrying_ = true;
        neighbours_.clear();
        if (const auto error = RequestDecode(result.index, nullptr, false); !error.empty()) {
            throw PictureError(Name(result.index) + " cannot be shown: " + error);
        }
        return;
    }
    if (!result.picture) {
        throw PictureError(Name(result.index) + " cannot be shown: " + result.error);
    }
    retrying_ = false;
    picture_ = std::move(result.picture);
    if (view_.Picture() != PictureSize{picture_->Width(), picture_->Height()}) {
        view_ = PictureView(picture_->Width(), picture_->Height(), width_, height_);
    }
    Render(true);
    SetBusy(false);
    Prefetch();
}

void SlideshowWindow::ZoomPicture(int step) {
    view_.Zoom(step);
    if (picture_) {
        Render(); // scales the decoded picture, never decodes again
    }             // else drawn at the new size when it arrives
}

bool SlideshowWindow::Step(int delta, bool byHand) {
    FinishFade();
    const PlayOrder::Stepped step = order_.Step(delta, byHand);
    if (step.moved) {
        FindNeighbours();
        ShowPicture(static_cast<int>(order_.Current()));
    }
    return step.goesOn;
}

// A picture stepped to by hand gets the whole period before the automatic advance: setting the
// timer again starts its period anew.
bool SlideshowWindow::StepByHand(int delta) {
    if (layout_.automatic) {
        StartTimer();
    }
    return Step(delta, true);
}

void SlideshowWindow::StartTimer() {
    SetTimer(window_, kAdvanceTimer, static_cast<UINT>(layout_.delaySeconds) * 1000u, nullptr);
}

void SlideshowWindow::Run() {
    ShowCursor(FALSE);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(window_);
    try {
        FindNeighbours();
        ShowPicture(static_cast<int>(order_.Current()));
    } catch (...) {
        SetBusy(false);
        ShowCursor(TRUE);
        throw;
    }
    if (layout_.automatic) {
        StartTimer();
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    KillTimer(window_, kAdvanceTimer);
    KillTimer(window_, kFadeTimer);
    SetBusy(false);
    ShowCursor(TRUE);
    if (failure_) {
        // The window goes first, so the message box that follows is not hidden behind it.
        DestroyWindow(window_);
        window_ = nullptr;
        std::rethrow_exception(failure_);
    }
}

} // namespace pelisto
