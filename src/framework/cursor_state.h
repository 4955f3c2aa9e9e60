#pragma once

namespace pelisto {

// The application-wide cursor and the process-wide pointer display counter. The pointer is
// blank while the counter is below 0; otherwise the screen cursor shows (hourglass or default).
enum class ScreenCursor { Default, Hourglass };

void SetScreenCursor(ScreenCursor cursor);
ScreenCursor CurrentScreenCursor();

// Decrements (show = false) or increments the display counter and returns its new value.
int ShowPointer(bool show);
int PointerDisplayCount();

// Shows the hourglass for its lifetime and puts the default cursor back when it ends, on
// error as well.
class HourglassCursor {
public:
    HourglassCursor();
    ~HourglassCursor();
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

} // namespace pelisto
