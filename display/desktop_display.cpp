// Full screen at the desktop's own mode (see display.h).
//
// No mode is set: a window without a frame covers the screen, and GDI scales
// the 8-bit picture into it and converts it to the desktop's depth, as it
// does on every Windows from 95 on, with or without DirectX. That is what
// today's Windows shows best (it has no real 8-bit modes since Windows 8, and
// emulates them badly), and switching away and back is instant: nothing is
// lost. The window is not topmost, so that the windows the player switches
// to come in front of it; the system's task bar steps back behind a window
// that covers the screen while it is in front.
#include "display/display.h"

DisplayResult DesktopDisplay::Open(const char* title, std::int32_t pictureWidth,
                                   std::int32_t pictureHeight, const DisplayColour* palette256,
                                   std::uint32_t openOptions) {
    if (const DisplayResult result =
            BeginScaled(pictureWidth, pictureHeight, palette256, openOptions);
        result != DISPLAY_OK)
        return result;
    hideCursor = true;
    return OpenScaled(title, WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                      GetSystemMetrics(SM_CYSCREEN));
}

LRESULT DesktopDisplay::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DISPLAYCHANGE) {
        // The desktop took another mode: cover the screen it has now (the
        // size that follows lays the picture out again).
        MoveWindow(window, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return ScaledDisplay::HandleMessage(message, wParam, lParam);
}
