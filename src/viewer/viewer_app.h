#pragma once

#include "slideshow/byte_source.h"
#include "slideshow/play_options.h"
#include "slideshow/screen_fit.h"
#include "slideshow/slideshow_format.h"
#include "viewer/background_decoder.h"
#include "viewer/full_screen_window.h"
#include "viewer/jpeg_decoder.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace pelisto {

// A picture of the slideshow that cannot be shown.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Plays the pictures the way the tool's test window does: fitted on black, Space forwards,
// Backspace backwards (both wrapping), keypad + - * zoom, Escape leaves; for laptops also the
// Right / Left arrows, Page Down / Up, a left click forwards and the main keyboard's + and -.
// With the automatic flag a tick every `delay` seconds advances as Space does; a step by hand
// restarts the tick's period. Pictures decode on a worker thread, so keys (Escape above all) are
// answered while a large one decodes, the picture shown before staying on screen; zooming scales
// the decoded picture and never decodes it again. While a picture is on screen the next one decodes
// ahead, and the pictures either side of the shown one are kept, so stepping either way shows at
// once; no more than three pictures are held.
// The first picture's play options may ask for a new order at each start (Backspace still goes
// back through what was shown, and the picture decoded ahead is the one coming next), a stop at
// the end (the last picture stays, the automatic advance ends there, and a key asking for the
// next one ends the show), a crossfade between pictures and a caption under each.
class Viewer {
public:
    Viewer(const ByteSource& file, SlideshowLayout layout, FullScreenWindow& window);
    // Returns when the user leaves. Throws PictureError when a picture fails to decode.
    void Run();

private:
    using Clock = std::chrono::steady_clock;

    // A decoded neighbour of the shown picture, or the reason it cannot be shown.
    struct Neighbour {
        int index = 0;
        DecodedPicture picture;
        std::string error;
    };

    void ShowPicture(int index);
    void FindNeighbours(); // after the order moved
    void Prefetch();
    std::string StartDecode(int index); // why not, for a header that cannot be read
    bool IsNeighbour(int index) const;
    void ZoomPicture(int step);
    // False when the show ends: a key asked for the next picture after the last one.
    bool Step(int delta, bool byHand);
    bool StepByHand(int delta);
    // Draws the shown picture, fading into it from what was on screen when `fade` and the
    // slideshow asks for crossfades.
    void Render(bool fade = false);
    void FinishFade();
    void DrawFadeFrame();
    bool HandleEvent(const XEvent& event); // false once the user leaves
    void OnDecoded();
    std::string Name(int index) const; // "picture 2 of 5"

    const ByteSource& file_;
    SlideshowLayout layout_;
    FullScreenWindow& window_;
    int pictureCount_ = 0;
    PlayOptions options_;
    PlayOrder order_;
    int currentIndex_ = 0;
    int nextIndex_ = -1;                            // the picture Space shows, else -1
    int previousIndex_ = -1;                        // the picture Backspace shows, else -1
    std::unordered_map<int, std::string> captions_; // read with each picture's bytes
    bool shownAny_ = false;                         // a picture was drawn: fades may start
    std::optional<Clock::time_point> fadeStart_;
    bool framePaced_ = false;           // the last frame waited for the display's refresh
    DecodedPicture picture_;            // empty while the shown picture decodes
    std::vector<Neighbour> neighbours_; // at most the one before and the one after
    BackgroundDecoder decoder_;
    int decodingIndex_ = -1;   // the picture the decoder works on, if it is busy
    PictureView decodingView_; // its fit
    PictureView view_;
    std::optional<Clock::duration> interval_;
    Clock::time_point nextTick_;
};

} // namespace pelisto
