#include "framework/cursor_state.h"

#include <QCursor>
#include <QGuiApplication>
#include <optional>

namespace pelisto {

namespace {

ScreenCursor g_screenCursor = ScreenCursor::Default;
int g_displayCount = 0;
bool g_overrideSet = false;

// One override cursor slot carries both states, so they never stack up on Qt's cursor stack.
void ApplyCursor() {
    if (QGuiApplication::instance() == nullptr) {
        return;
    }
    std::optional<Qt::CursorShape> shape;
    if (g_displayCount < 0) {
        shape = Qt::BlankCursor;
    } else if (g_screenCursor == ScreenCursor::Hourglass) {
        shape = Qt::WaitCursor;
    }
    if (shape) {
        if (g_overrideSet) {
            QGuiApplication::changeOverrideCursor(QCursor(*shape));
        } else {
            QGuiApplication::setOverrideCursor(QCursor(*shape));
            g_overrideSet = true;
        }
    } else if (g_overrideSet) {
        QGuiApplication::restoreOverrideCursor();
        g_overrideSet = false;
    }
}

} // namespace

void SetScreenCursor(ScreenCursor cursor) {
    g_screenCursor = cursor;
    ApplyCursor();
}

ScreenCursor CurrentScreenCursor() {
    return g_screenCursor;
}

int ShowPointer(bool show) {
    g_displayCount += show ? 1 : -1;
    ApplyCursor();
    return g_displayCount;
}

int PointerDisplayCount() {
    return g_displayCount;
}

HourglassCursor::HourglassCursor() {
    SetScreenCursor(ScreenCursor::Hourglass);
}

HourglassCursor::~HourglassCursor() {
    SetScreenCursor(ScreenCursor::Default);
}

} // namespace pelisto
