#include "viewer_windows/slideshow_window.h"

#include "slideshow/jpeg_frame.h"
#include "slideshow/picture_limit.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace pelisto {

namespace {

constexpr wchar_t kClassName[] = L"PelistoSlideshow";
constexpr UINT_PTR kAdvanceTimer = 1;

} // namespace

SlideshowWindow::SlideshowWindow(HINSTANCE instance, const ByteSource& file, SlideshowLayout layout)
    : file_(file), layout_(std::move(layout)),
      pictureCount_(static_cast<int>(std::min<std::size_t>(layout_.pictures.size(), 0x7FFFFFFF))) {
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
        StepByHand(+1);
        return 0;
    case PictureLoader::kDoneMessage:
        OnDecoded(l);
        return 0;
    case WM_TIMER:
        // A late tick comes once; the period runs on. One picture: nothing to advance to.
        if (w == kAdvanceTimer && pictureCount_ >= 2) {
            Step(+1);
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
    switch (key) {
    case VK_ESCAPE:
        PostQuitMessage(0);
        break;
    case VK_SPACE:
    case VK_RIGHT:
    case VK_NEXT:
        StepByHand(+1);
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

void SlideshowWindow::Render() {
    std::memset(memoryBits_, 0,
                static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    if (picture_) {
        const PictureRect& r = view_.Rect();
        picture_->Draw(memoryDc_, width_, height_, r.left, r.top, r.width, r.height);
    }
    GdiFlush();
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
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

int SlideshowWindow::Wrap(int index) const {
    return index >= pictureCount_ ? 0 : index < 0 ? pictureCount_ - 1 : index;
}

bool SlideshowWindow::IsNeighbour(int index) const {
    return index != currentIndex_ &&
           (index == Wrap(currentIndex_ + 1) || index == Wrap(currentIndex_ - 1));
}

std::string SlideshowWindow::RequestDecode(int index, PictureView* view, bool ahead) {
    auto jpeg = ReadPicture(file_, layout_.pictures[static_cast<std::size_t>(index)]);
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
        Render();
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
    for (const int index : {Wrap(currentIndex_ + 1), Wrap(currentIndex_ - 1)}) {
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
    Render();
    SetBusy(false);
    Prefetch();
}

void SlideshowWindow::ZoomPicture(int step) {
    view_.Zoom(step);
    if (picture_) {
        Render(); // scales the decoded picture, never decodes again
    }             // else drawn at the new size when it arrives
}

void SlideshowWindow::Step(int delta) {
    if (pictureCount_ <= 1) {
        return;
    }
    ShowPicture(Wrap(currentIndex_ + delta));
}

// A picture stepped to by hand gets the whole period before the automatic advance: setting the
// timer again starts its period anew.
void SlideshowWindow::StepByHand(int delta) {
    if (layout_.automatic) {
        StartTimer();
    }
    Step(delta);
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
        ShowPicture(0);
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
