#pragma once

#include "slideshow/byte_source.h"
#include "slideshow/play_options.h"
#include "slideshow/screen_fit.h"
#include "slideshow/slideshow_format.h"
#include "viewer_windows/gdiplus_picture.h"
#include "viewer_windows/picture_loader.h"

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include <windows.h>

namespace pelisto {

// A picture of the slideshow that cannot be shown.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The window system refused what a full-screen window needs.
class DisplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Plays the pictures full screen on black exactly as the Linux stub does: the shared fit and
// zoom, Space / Right / Page Down / left click forwards and Backspace / Left / Page Up backwards
// (both wrapping), + - * zoom (keypad or main keyboard), Escape leaves, and with the automatic
// flag a timer tick every `delay` seconds that advances as Space does; a step by hand restarts
// the tick's period. The pointer is hidden while playing. Pictures decode on a worker thread, so
// keys are answered while a large one decodes, the picture shown before staying on screen; zooming
// scales the decoded picture and never decodes it again. While a picture is on screen the next one
// decodes ahead, and the pictures either side of the shown one are kept, so stepping either way
// shows at once; no more than three pictures are held.
// The first picture's play options may ask for a new order at each start (Backspace still goes
// back through what was shown, and the picture decoded ahead is the one coming next), a stop at
// the end (the last picture stays, the automatic advance ends there, and a key asking for the
// next one ends the show), a crossfade between pictures and a caption under each.
class SlideshowWindow {
public:
    SlideshowWindow(HINSTANCE instance, const ByteSource& file, SlideshowLayout layout);
    ~SlideshowWindow();
    SlideshowWindow(const SlideshowWindow&) = delete;
    SlideshowWindow& operator=(const SlideshowWindow&) = delete;

    // Returns when the user leaves. Throws PictureError when a picture cannot be shown.
    void Run();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void OnKey(WPARAM key);
    // A decoded neighbour of the shown picture, or the reason it cannot be shown.
    struct Neighbour {
        int index = 0;
        std::unique_ptr<DecodedPicture> picture;
        std::string error;
    };

    void ShowPicture(int index);
    void Prefetch();
    // Reads the picture's header and asks for its decode (ahead of the user, or for the shown
    // picture); returns why not, if it cannot be.
    std::string RequestDecode(int index, PictureView* view, bool ahead);
    bool IsNeighbour(int index) const;
    void FindNeighbours(); // after the order moved
    void OnDecoded(LPARAM job);
    void SetBusy(bool busy);           // the hourglass while a picture decodes
    std::string Name(int index) const; // "picture 2 of 5"
    void ZoomPicture(int step);
    // False when the show ends: a key asked for the next picture after the last one.
    bool Step(int delta, bool byHand);
    bool StepByHand(int delta);
    void StartTimer();
    // Draws the shown picture, fading into it from what was on screen when `fade` and the
    // slideshow asks for crossfades.
    void Render(bool fade = false);
    void DrawCaption(const std::string& caption);
    void DrawFadeFrame();
    void FinishFade();
    void Show(); // the drawn screen to the window, in one copy
    // Remembers the error (the first one), as it was raised, and ends the message loop.
    void Fail(std::exception_ptr error);

    const ByteSource& file_;
    SlideshowLayout layout_;
    int pictureCount_ = 0;
    PlayOptions options_;
    PlayOrder order_;
    int currentIndex_ = 0;
    int nextIndex_ = -1;                            // the picture Space shows, else -1
    int previousIndex_ = -1;                        // the picture Backspace shows, else -1
    std::unordered_map<int, std::string> captions_; // read with each picture's bytes
    bool shownAny_ = false;                         // a picture was drawn: fades may start
    std::unique_ptr<DecodedPicture> picture_;       // null while the shown picture decodes
    std::vector<Neighbour> neighbours_;             // at most the one before and the one after
    PictureLoader loader_;
    PictureView view_;
    HWND window_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    HDC memoryDc_ = nullptr; // the drawn screen, copied to the window on paint
    HBITMAP memoryBitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    void* memoryBits_ = nullptr;
    bool busy_ = false;
    HFONT captionFont_ = nullptr; // the system's message font, made at the first caption
    // A crossfade's outgoing and incoming frames, made at the first fade.
    struct Frame {
        HDC dc = nullptr;
        HBITMAP bitmap = nullptr;
        HGDIOBJ previous = nullptr;
    };
    Frame fadeFrom_;
    Frame fadeTo_;
    bool fading_ = false;
    ULONGLONG fadeStart_ = 0;
    // The shown picture failed ahead and decodes again, with no neighbour kept meanwhile.
    bool retrying_ = false;
    std::exception_ptr failure_;
};

} // namespace pelisto
