// The shared part of the displays, the window and the full-screen modes (see
// display.h); the desktop display is in desktop_display.cpp.
//
// The full-screen display keeps the picture in memory and copies all of it
// into the back buffer at every present: after a flip the back buffer holds
// an older picture, and a surface that is lost takes its pixels with it, so
// the copy in memory is the one that always holds the whole picture. The
// program never holds a surface lock while it draws (on Windows 95 a lock
// on display memory holds the system's Win16 lock).
#include "display/display.h"

#include <ddraw.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char WINDOW_CLASS[] = "TarnwickDisplay";

// The one display whose window is open; its window procedure reaches it here.
PictureDisplay* openDisplay;
bool classRegistered;

// A BITMAPINFO and a LOGPALETTE with room for all 256 colours.
struct SurfaceInfo {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};
static_assert(offsetof(SurfaceInfo, bmiColors) == offsetof(BITMAPINFO, bmiColors));

struct Palette256 {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[256];
};
static_assert(offsetof(Palette256, palPalEntry) == offsetof(LOGPALETTE, palPalEntry));

using DirectDrawCreateProc = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);

PALETTEENTRY Entry(const DisplayColour& c, BYTE flags) {
    return {c.red, c.green, c.blue, flags};
}

DisplayMode CurrentMode(IDirectDraw* directDraw) {
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    if (directDraw->GetDisplayMode(&desc) != DD_OK) return {};
    return {desc.dwWidth, desc.dwHeight, desc.ddpfPixelFormat.dwRGBBitCount};
}

// The button of a mouse message, 0 for other messages.
std::uint8_t MouseButtonOf(UINT message) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: return MOUSE_LEFT;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return MOUSE_RIGHT;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: return MOUSE_MIDDLE;
    default: return 0;
    }
}

} // namespace

bool PictureDisplay::AnyOpen() {
    return openDisplay != nullptr;
}

// From Windows Vista on, a program that has not said it draws for the
// screen's DPI sees a screen of 96 DPI, and the system stretches its windows
// to the real one, smoothly: at the 125 % or 150 % of many screens today a
// whole-number scale becomes a blurred fraction, and the desktop display
// covers the screen in the system's pixels, not the screen's. user32's
// SetProcessDPIAware says that the program draws in the screen's pixels
// (for the whole process, so before anything measures the screen); it is
// looked up, since Windows before Vista lack it, and need it not.
void PictureDisplay::UseScreenPixels() {
    using SetProcessDpiAwareProc = BOOL(WINAPI*)();
    HMODULE user32 = GetModuleHandleA("user32.dll");
    const auto aware = user32 == nullptr
                           ? nullptr
                           : reinterpret_cast<SetProcessDpiAwareProc>(reinterpret_cast<void (*)()>(
                                 GetProcAddress(user32, "SetProcessDPIAware")));
    if (aware != nullptr) aware();
}

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PictureDisplay* display = openDisplay;
    if (display == nullptr || display->window != window)
        return DefWindowProcA(window, message, wParam, lParam);
    // Client coordinates, signed: with the mouse captured they may lie
    // outside the window.
    const auto x = static_cast<std::int16_t>(LOWORD(lParam));
    const auto y = static_cast<std::int16_t>(HIWORD(lParam));
    switch (message) {
    case WM_ERASEBKGND: return 1; // the display paints everything
    case WM_CLOSE:
        // The program ends as it chooses; Shutdown closes the window.
        display->closeRequested = true;
        return 0;
    case WM_SETCURSOR:
        if (display->hideCursor && LOWORD(lParam) == HTCLIENT) {
            SetCursor(nullptr);
            return TRUE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_MOUSEMOVE: MouseMoved(&display->mouse, display->layout, x, y); return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // Captured while a button is held, so that its release is seen
        // wherever it happens.
        if (display->mouse.buttons == 0) SetCapture(window);
        MouseButton(&display->mouse, display->layout, x, y, MouseButtonOf(message), true);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        MouseButton(&display->mouse, display->layout, x, y, MouseButtonOf(message), false);
        if (display->mouse.buttons == 0) ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        // Taken away (the player switched elsewhere): no release will come.
        display->mouse.buttons = 0;
        return 0;
    default: return display->HandleMessage(message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------
// What every display shares

std::int32_t PictureDisplay::SubmitRequest(ServiceBlock* block, std::uint32_t frame, std::uint32_t,
                                           std::uint32_t* area, std::uint32_t kind) {
    if (kind != DEFERRED_REQUEST_KIND || window == nullptr) return 0;
    const auto clamp = [](std::uint32_t v, std::int32_t high) {
        const auto s = static_cast<std::int32_t>(v);
        return static_cast<std::uint32_t>(s < 0 ? 0 : s > high ? high : s);
    };
    block->words[0] = DISPLAY_BLOCK_PRESENT;
    block->words[1] = clamp(area[0], width);
    block->words[2] = clamp(area[1], height);
    block->words[3] = clamp(area[2], width);
    block->words[4] = clamp(area[3], height);
    block->words[5] = frame;
    return 1;
}

std::int32_t PictureDisplay::SubmitBlock(ServiceBlock* block) {
    std::uint32_t* words = block->words;
    if (window == nullptr || words[0] == DISPLAY_BLOCK_EMPTY) return 0;
    if (words[0] == DISPLAY_BLOCK_PRESENT) {
        const auto left = static_cast<std::int32_t>(words[1]);
        const auto top = static_cast<std::int32_t>(words[2]);
        const auto right = static_cast<std::int32_t>(words[3]);
        const auto bottom = static_cast<std::int32_t>(words[4]);
        if (left < right && top < bottom) ShowArea(left, top, right, bottom);
    } else if (words[0] == DISPLAY_BLOCK_PALETTE && words[1] < 256 && words[2] <= 256 - words[1] &&
               words[2] > 0) {
        LoadPalette(words[1], words[2]);
    }
    words[0] = DISPLAY_BLOCK_EMPTY;
    return 1;
}

void PictureDisplay::SetColours(std::uint32_t first, std::uint32_t count,
                                const DisplayColour* newColours) {
    for (std::uint32_t i = 0; i < count && first < 256 - i; ++i) {
        colours[first + i] = newColours[i];
    }
}

std::int32_t PictureDisplay::Shutdown() {
    ++shutdownCalls;
    if (window == nullptr) return 1;
    screenState = {}; // nothing may draw into the picture once it is gone
    Release();
    windowClosed = CloseDisplayWindow();
    return 1;
}

bool PictureDisplay::CreateDisplayWindow(const char* title, DWORD style, DWORD exStyle,
                                         std::int32_t x, std::int32_t y, std::int32_t outerWidth,
                                         std::int32_t outerHeight) {
    if (!classRegistered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DisplayWindowProc;
        windowClass.hInstance = shellInstance;
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = WINDOW_CLASS;
        if (RegisterClassA(&windowClass) == 0) return false;
        classRegistered = true;
    }
    closeRequested = false;
    mouse = {};
    layout = {width, height, 0, 0, width, height};
    openDisplay = this;
    window = CreateWindowExA(exStyle, WINDOW_CLASS, title, style, x, y, outerWidth, outerHeight,
                             nullptr, nullptr, shellInstance, nullptr);
    if (window == nullptr) openDisplay = nullptr;
    return window != nullptr;
}

void PictureDisplay::PointScreenState(std::uint8_t* top, std::int32_t pitch) {
    screenState.bufferBase = top;
    screenState.windowBase = top;
    screenState.pitch = pitch;
    screenState.windowX = 0;
    screenState.windowY = 0;
    screenState.windowWidth = width;
    screenState.windowHeight = height;
    screenState.drawFlags = 0;
}

bool PictureDisplay::CloseDisplayWindow() {
    // Nothing may draw into the picture once it is gone.
    screenState = {};
    const bool closed = window != nullptr && DestroyWindow(window) != FALSE;
    window = nullptr;
    if (openDisplay == this) openDisplay = nullptr;
    if (classRegistered && openDisplay == nullptr) {
        UnregisterClassA(WINDOW_CLASS, shellInstance);
        classRegistered = false;
    }
    return closed;
}

// ---------------------------------------------------------------------------
// The picture through GDI: the window and the desktop display

DisplayResult ScaledDisplay::BeginScaled(std::int32_t pictureWidth, std::int32_t pictureHeight,
                                         const DisplayColour* palette256,
                                         std::uint32_t openOptions) {
    if (AnyOpen()) return DISPLAY_ALREADY_OPEN;
    if (pictureWidth <= 0 || pictureHeight <= 0) return DISPLAY_NO_WINDOW;
    UseScreenPixels();
    width = pictureWidth;
    height = pictureHeight;
    SetColours(0, 256, palette256);
    options = openOptions;
    return DISPLAY_OK;
}

DisplayResult ScaledDisplay::OpenScaled(const char* title, DWORD style, std::int32_t x,
                                        std::int32_t y, std::int32_t outerWidth,
                                        std::int32_t outerHeight) {
    if (!CreateDisplayWindow(title, style, 0, x, y, outerWidth, outerHeight))
        return DISPLAY_NO_WINDOW;
    if (const DisplayResult result = MakePicture(); result != DISPLAY_OK) {
        Release();
        CloseDisplayWindow();
        return result;
    }
    FitToClient();
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return DISPLAY_OK;
}

DisplayResult ScaledDisplay::MakePicture() {
    // The colours go into the DIB's colour table and into the GDI palette
    // now, so that the first present shows them.
    Palette256 logical = {0x300, 256, {}};
    SurfaceInfo info = {};
    for (int i = 0; i < 256; ++i) {
        logical.palPalEntry[i] = Entry(colours[i], PC_NOCOLLAPSE);
        info.bmiColors[i] = {colours[i].blue, colours[i].green, colours[i].red, 0};
    }
    palette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));

    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // positive: bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 8;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biClrUsed = 256;
    HDC windowDc = GetDC(window);
    void* bits = nullptr;
    surface = CreateDIBSection(windowDc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                               &bits, nullptr, 0);
    memoryDc = CreateCompatibleDC(windowDc);
    ReleaseDC(window, windowDc);
    if (palette == nullptr || surface == nullptr || memoryDc == nullptr) return DISPLAY_NO_WINDOW;
    previousBitmap = SelectObject(memoryDc, surface);

    // DIB rows are padded to whole DWORDs; the top row of the picture is the
    // last one in memory.
    const std::int32_t rowBytes = (width + 3) & ~3;
    PointScreenState(static_cast<std::uint8_t*>(bits) + (height - 1) * rowBytes, -rowBytes);
    return DISPLAY_OK;
}

void ScaledDisplay::FitToClient() {
    RECT client;
    GetClientRect(window, &client);
    layout = FitPicture(width, height, client.right, client.bottom, options);
    InvalidateRect(window, nullptr, FALSE);
}

void ScaledDisplay::DrawArea(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right,
                             std::int32_t bottom) {
    if (memoryDc == nullptr) return;
    HPALETTE previous = SelectPalette(dc, palette, FALSE);
    ::RealizePalette(dc);
    const std::int32_t x = ScreenColumn(layout, left);
    const std::int32_t across = ScreenColumn(layout, right) - x;
    if (EvenRows(layout)) {
        const std::int32_t y = ScreenRow(layout, top);
        StretchBlt(dc, x, y, across, ScreenRow(layout, bottom) - y, memoryDc, left, top,
                   right - left, bottom - top, SRCCOPY);
    } else {
        // Rows of two heights: each its own, so that every row keeps the
        // height the layout gives it whatever GDI's rounding.
        for (std::int32_t row = top; row < bottom; ++row) {
            const std::int32_t y = ScreenRow(layout, row);
            StretchBlt(dc, x, y, across, ScreenRow(layout, row + 1) - y, memoryDc, left, row,
                       right - left, 1, SRCCOPY);
        }
    }
    SelectPalette(dc, previous, FALSE);
}

void ScaledDisplay::ShowArea(std::int32_t left, std::int32_t top, std::int32_t right,
                             std::int32_t bottom) {
    HDC dc = GetDC(window);
    DrawArea(dc, left, top, right, bottom);
    ReleaseDC(window, dc);
    GdiFlush(); // GDI is done with the DIB before the program draws into it again
}

void ScaledDisplay::LoadPalette(std::uint32_t first, std::uint32_t count) {
    RGBQUAD table[256];
    for (std::uint32_t i = first; i < first + count; ++i)
        table[i] = {colours[i].blue, colours[i].green, colours[i].red, 0};
    SetDIBColorTable(memoryDc, first, count, table + first);
    PALETTEENTRY entries[256];
    for (std::uint32_t i = first; i < first + count; ++i)
        entries[i] = Entry(colours[i], PC_NOCOLLAPSE);
    SetPaletteEntries(palette, first, count, entries + first);
    RealizeWindowPalette();
}

void ScaledDisplay::RealizeWindowPalette() {
    if (palette == nullptr) return;
    HDC dc = GetDC(window);
    HPALETTE previous = SelectPalette(dc, palette, FALSE);
    if (::RealizePalette(dc) != 0) InvalidateRect(window, nullptr, FALSE);
    SelectPalette(dc, previous, FALSE);
    ReleaseDC(window, dc);
}

LRESULT ScaledDisplay::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: FitToClient(); return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        // Black around the picture, then the picture.
        RECT client;
        GetClientRect(window, &client);
        const std::int32_t right = layout.left + layout.width;
        const std::int32_t bottom = layout.top + layout.height;
        PatBlt(dc, 0, 0, client.right, layout.top, BLACKNESS);
        PatBlt(dc, 0, bottom, client.right, client.bottom - bottom, BLACKNESS);
        PatBlt(dc, 0, layout.top, layout.left, layout.height, BLACKNESS);
        PatBlt(dc, right, layout.top, client.right - right, layout.height, BLACKNESS);
        DrawArea(dc, 0, 0, width, height);
        EndPaint(window, &paint);
        GdiFlush();
        return 0;
    }
    case WM_QUERYNEWPALETTE: RealizeWindowPalette(); return TRUE;
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != window) RealizeWindowPalette();
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

void ScaledDisplay::Release() {
    HDC dc = memoryDc;
    HBITMAP bitmap = surface;
    HPALETTE gdiPalette = palette;
    memoryDc = nullptr;
    surface = nullptr;
    palette = nullptr;
    if (dc != nullptr) {
        SelectObject(dc, previousBitmap);
        DeleteDC(dc);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (gdiPalette != nullptr) DeleteObject(gdiPalette);
}

// ---------------------------------------------------------------------------
// The window

DisplayResult WindowDisplay::Open(const char* title, std::int32_t pictureWidth,
                                  std::int32_t pictureHeight, const DisplayColour* palette256,
                                  std::int32_t zoom) {
    if (const DisplayResult result = BeginScaled(pictureWidth, pictureHeight, palette256, 0);
        result != DISPLAY_OK)
        return result;

    // As large as asked, if the window fits the screen so.
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame;
    for (zoom = zoom < 1 ? 1 : zoom;; --zoom) {
        frame = {0, 0, width * zoom, height * zoom};
        AdjustWindowRect(&frame, style, FALSE);
        if (zoom == 1 || (frame.right - frame.left <= GetSystemMetrics(SM_CXSCREEN) &&
                          frame.bottom - frame.top <= GetSystemMetrics(SM_CYSCREEN)))
            break;
    }
    return OpenScaled(title, style, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                      frame.bottom - frame.top);
}

LRESULT WindowDisplay::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETMINMAXINFO) {
        // Never smaller than the picture at its own size.
        RECT frame = {0, 0, width, height};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
        return 0;
    }
    return ScaledDisplay::HandleMessage(message, wParam, lParam);
}

// ---------------------------------------------------------------------------
// Full screen

DisplayResult FullScreenDisplay::Open(const DisplayModeRecord& mode, const char* title,
                                      const DisplayColour* palette256) {
    if (mode.bitsPerPixel != 8 || mode.width == 0 || mode.height == 0) return DISPLAY_NOT_8_BIT;
    if (AnyOpen()) return DISPLAY_ALREADY_OPEN;
    width = mode.width;
    height = mode.height;
    SetColours(0, 256, palette256);
    hideCursor = true;
    modeSet = {};
    modeRestored = {};

    // Looked up, not imported: where DirectX is missing the program still
    // loads, and learns it here.
    library = LoadLibraryA("ddraw.dll");
    const auto create = library == nullptr
                            ? nullptr
                            : reinterpret_cast<DirectDrawCreateProc>(reinterpret_cast<void (*)()>(
                                  GetProcAddress(library, "DirectDrawCreate")));
    DisplayResult result = DISPLAY_NO_DIRECTDRAW;
    if (create == nullptr) {
    } else if (!CreateDisplayWindow(title, WS_POPUP, WS_EX_TOPMOST, 0, 0, width, height)) {
        result = DISPLAY_NO_WINDOW;
    } else if (create(nullptr, &directDraw, nullptr) != DD_OK) {
        // DirectX is there, but not for this display (no DirectDraw driver).
        directDraw = nullptr;
        result = DISPLAY_DIRECTDRAW_FAILED;
    } else {
        ShowWindow(window, SW_SHOWNORMAL);
        active = true; // a window just shown by the program in front
        result = DISPLAY_MODE_REFUSED;
        if (directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN |
                                                        DDSCL_ALLOWMODEX) == DD_OK &&
            directDraw->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height), 8) ==
                DD_OK) {
            modeChanged = true;
            modeSet = CurrentMode(directDraw);
            if (modeSet.width == mode.width && modeSet.height == mode.height &&
                modeSet.bitsPerPixel == 8) {
                result = DISPLAY_NO_SURFACES;
                DDSURFACEDESC desc = {};
                desc.dwSize = sizeof desc;
                desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
                desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
                desc.dwBackBufferCount = 1;
                DDSCAPS backCaps = {DDSCAPS_BACKBUFFER};
                PALETTEENTRY entries[256];
                for (int i = 0; i < 256; ++i) entries[i] = Entry(colours[i], 0);
                if (directDraw->CreateSurface(&desc, &primary, nullptr) != DD_OK) {
                    primary = nullptr;
                } else if (primary->GetAttachedSurface(&backCaps, &backBuffer) != DD_OK) {
                    backBuffer = nullptr;
                } else if (directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries,
                                                     &ddPalette, nullptr) != DD_OK) {
                    ddPalette = nullptr;
                } else if (primary->SetPalette(ddPalette) == DD_OK) {
                    picture = static_cast<std::uint8_t*>(
                        std::calloc(static_cast<std::size_t>(width) * height, 1));
                    result = picture != nullptr ? DISPLAY_OK : DISPLAY_NO_WINDOW;
                }
            }
        }
    }
    if (result != DISPLAY_OK) {
        Release();
        CloseDisplayWindow();
        return result;
    }
    PointScreenState(picture, width);
    ShowPicture();
    return DISPLAY_OK;
}

bool FullScreenDisplay::RestoreSurfaces() {
    HRESULT result = primary->Restore();
    if (result == DDERR_WRONGMODE) {
        // Back from elsewhere, the desktop's mode may still be set (Wine
        // leaves it so): the surfaces need their own mode again.
        if (directDraw->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height), 8) !=
            DD_OK)
            return false;
        result = primary->Restore();
    }
    if (result != DD_OK) return false;
    primary->SetPalette(ddPalette);
    ++restores;
    return true;
}

bool FullScreenDisplay::ShowPicture() {
    if (primary == nullptr || picture == nullptr) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        HRESULT result = backBuffer->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
        if (result == DD_OK) {
            auto* row = static_cast<std::uint8_t*>(desc.lpSurface);
            const std::uint8_t* from = picture;
            for (std::int32_t y = 0; y < height; ++y, row += desc.lPitch, from += width)
                std::memcpy(row, from, static_cast<std::size_t>(width));
            backBuffer->Unlock(nullptr);
            result = primary->Flip(nullptr, DDFLIP_WAIT);
        }
        // A lost surface is restored once and the picture shown again. In
        // the background the screen is the desktop's: nothing is restored
        // (which would set the mode again) until the program is in front.
        if (result != DDERR_SURFACELOST) return result == DD_OK;
        if (!active || !RestoreSurfaces()) return false;
    }
    return false;
}

void FullScreenDisplay::ShowArea(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
    ShowPicture();
}

void FullScreenDisplay::LoadPalette(std::uint32_t first, std::uint32_t count) {
    PALETTEENTRY entries[256];
    for (std::uint32_t i = first; i < first + count; ++i) entries[i] = Entry(colours[i], 0);
    ddPalette->SetEntries(0, first, count, entries + first);
}

LRESULT FullScreenDisplay::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATEAPP:
        // Back from elsewhere: the surfaces were lost with the mode.
        active = wParam != FALSE;
        if (active) ShowPicture();
        return 0;
    case WM_PAINT: {
        // Shown again after the window was minimised and restored.
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        ShowPicture();
        return 0;
    }
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

void FullScreenDisplay::Release() {
    // RestoreDisplayMode and SetCooperativeLevel may send the window
    // WM_PAINT or WM_ACTIVATEAPP at once: by then nothing is left to present
    // through.
    IDirectDraw* dd = directDraw;
    IDirectDrawSurface* front = primary;
    IDirectDrawSurface* back = backBuffer;
    IDirectDrawPalette* pal = ddPalette;
    std::uint8_t* pixels = picture;
    HMODULE ddrawLibrary = library;
    const bool restoreMode = modeChanged;
    directDraw = nullptr;
    primary = nullptr;
    backBuffer = nullptr;
    ddPalette = nullptr;
    picture = nullptr;
    library = nullptr;
    modeChanged = false;
    active = false;
    if (dd != nullptr) {
        if (pal != nullptr) pal->Release();
        if (back != nullptr) back->Release();
        if (front != nullptr) front->Release();
        if (restoreMode) {
            dd->RestoreDisplayMode();
            modeRestored = CurrentMode(dd);
        }
        if (window != nullptr) dd->SetCooperativeLevel(window, DDSCL_NORMAL);
        dd->Release();
    }
    if (ddrawLibrary != nullptr) FreeLibrary(ddrawLibrary);
    std::free(pixels);
}

// ---------------------------------------------------------------------------
// Through the deferred service

void DisplayPresent(const DisplayArea& area, std::uint32_t frame) {
    {
        SemaphoreLock lock(deferredService.secondSemaphore, 0);
        lock.Wait(1);
        deferredService.requestArea[0] = static_cast<std::uint32_t>(area.left);
        deferredService.requestArea[1] = static_cast<std::uint32_t>(area.top);
        deferredService.requestArea[2] = static_cast<std::uint32_t>(area.right);
        deferredService.requestArea[3] = static_cast<std::uint32_t>(area.bottom);
        deferredService.requestValue1 = frame;
        deferredService.requestValue2 = 0;
        deferredService.requestPending = 1;
    }
    deferredService.Flush();
}

void DisplayQueuePalette(std::uint32_t first, std::uint32_t count) {
    SemaphoreLock lock(deferredService.secondSemaphore, 0);
    lock.Wait(1);
    deferredService.blockA.words[0] = DISPLAY_BLOCK_PALETTE;
    deferredService.blockA.words[1] = first;
    deferredService.blockA.words[2] = count;
}
