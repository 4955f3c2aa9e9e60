// The Windows viewer every ".exe" slideshow starts with: it reads the pictures appended to its
// own executable and plays them full screen. Failures end with a message box and a non-zero
// exit code, the same codes as the Linux stub.

#include "slideshow/byte_source.h"
#include "slideshow/slideshow_format.h"
#include "viewer_windows/gdiplus_picture.h"
#include "viewer_windows/slideshow_window.h"

#include <exception>
#include <new>
#include <string>

#include <windows.h>

namespace {

enum ExitCode { kDone = 0, kNoSlideshow = 1, kNoDisplay = 2, kBadPicture = 3, kFailure = 4 };

std::wstring Widen(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

// Our own file, whatever name started us; long paths included.
std::string OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            return Narrow(path.c_str());
        }
        path.resize(path.size() * 2);
    }
}

// The message goes to a console or log when there is one (the tests read it there), and to
// the user in a box.
int Report(const std::string& message, int code) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE) {
        const std::string line = "slideshow: " + message + "\n";
        DWORD written = 0;
        WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    MessageBoxW(nullptr, Widen(message).c_str(), L"Slideshow", MB_OK | MB_ICONERROR);
    return code;
}

// Sharp pictures on a scaled (high-DPI) screen: we draw device pixels ourselves. The newest
// call is looked up at run time, since Windows before 10 (1703) lacks it.
void BecomeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    HMODULE user = GetModuleHandleW(L"user32.dll");
    auto setContext = user != nullptr ? reinterpret_cast<SetContext>(reinterpret_cast<void (*)()>(
                                            GetProcAddress(user, "SetProcessDpiAwarenessContext")))
                                      : nullptr;
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (setContext == nullptr || !setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) {
        SetProcessDPIAware();
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        BecomeDpiAware();
        const pelisto::FileByteSource file(OwnPath());
        pelisto::SlideshowLayout layout;
        try {
            layout = pelisto::ReadSlideshow(file);
        } catch (const pelisto::SlideshowError& e) {
            return Report(std::string("There is no slideshow in this file: ") + e.what() + ".",
                          kNoSlideshow);
        }
        const pelisto::GdiplusSession gdiplus;
        pelisto::SlideshowWindow window(instance, file, std::move(layout));
        window.Run();
        return kDone;
    } catch (const pelisto::SlideshowError& e) {
        return Report(std::string("The slideshow cannot be read: ") + e.what() + ".", kNoSlideshow);
    } catch (const pelisto::DisplayError& e) {
        return Report(std::string("The slideshow cannot be shown: ") + e.what() + ".", kNoDisplay);
    } catch (const pelisto::PictureError& e) {
        return Report(std::string("The slideshow stops: ") + e.what() + ".", kBadPicture);
    } catch (const std::bad_alloc&) {
        return Report("The slideshow stops: not enough memory.", kFailure);
    } catch (const std::exception& e) {
        return Report(std::string("The slideshow stops: ") + e.what() + ".", kFailure);
    } catch (...) {
        return Report("The slideshow stops: unexpected failure.", kFailure);
    }
}
