// The example program: the scene of scene.h in a window, on the shell's frame.
//
// The shell's WinMain runs ProgramEntry with the keyboard hook installed for
// this thread, so the hook sees every key while the loop below takes its
// messages. ProgramEntry unpacks the art that the program carries, opens the
// display, sets shellDisplay and runs the scene until Escape (or the close
// box); ShellMain then calls the display's Shutdown, which closes the window.
//
// The display (GdiDisplay) draws with GDI: an 8-bit DIB section the size of
// the scene, bottom-up as DIBs are, and a palette. screenState points at the
// DIB's top row with a negative pitch. The program presents through the
// shell's deferred service: holding secondSemaphore it puts the area that
// changed into requestArea (left, top, right, bottom; right and bottom
// exclusive) and the frame number into requestValue1, sets requestPending
// and calls Flush, which hands the request to the display:
//
//   SubmitRequest(block, frame, reserved, area, 26)
//       queues a present of `area` in `block` (kind 26 is the present; any
//       other kind is refused with 0);
//   SubmitBlock(block)
//       carries out what `block` holds and empties it: a present copies the
//       area from the DIB section to the window; a palette command (which
//       the program puts into blockA, under the same lock, before the first
//       present) loads the DIB's colour table and the window's palette from
//       the art. An empty block does nothing.
//
// Flush submits blockA before blockB, so a palette change always reaches the
// window before the picture that needs it.
#include "scene.h"

#include <shell/shell.h>

#include <windows.h>

#include <cstddef>

extern const std::uint8_t artBlock[];
extern const std::size_t artBlockSize;

namespace {

constexpr char WINDOW_CLASS[] = "TarnwickScene";
constexpr DWORD FRAME_MS = 40;

// What a ServiceBlock holds for this display, in words[0].
constexpr std::uint32_t BLOCK_EMPTY = 0;
constexpr std::uint32_t BLOCK_PRESENT = 1; // words 1..4: the area; word 5: the frame
constexpr std::uint32_t BLOCK_PALETTE = 2; // words 1, 2: first entry, number of entries

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

void Report(const char* format, std::uint32_t value) {
    char text[128];
    wsprintfA(text, format, value);
    OutputDebugStringA(text);
}

class GdiDisplay final : public ShellDisplay {
public:
    bool Open(const Art& art);
    void Paint(HDC dc, const RECT& area);
    void RealizePalette(HWND window);
    HWND Window() const { return window; }

    // Operations the shell never calls; this display has nothing to do there.
    std::int32_t Operation0() override { return 0; }
    std::int32_t Operation1() override { return 0; }
    std::int32_t Operation2() override { return 0; }
    std::int32_t Operation3() override { return 0; }
    std::int32_t Operation4() override { return 0; }
    std::int32_t Operation5() override { return 0; }
    std::int32_t Operation6() override { return 0; }
    std::int32_t Operation7() override { return 0; }
    std::int32_t Operation8() override { return 0; }
    std::int32_t Operation9() override { return 0; }
    std::int32_t Operation10() override { return 0; }
    std::int32_t Operation12() override { return 0; }
    std::int32_t Operation13() override { return 0; }
    std::int32_t Operation14() override { return 0; }
    std::int32_t Operation15() override { return 0; }

    std::int32_t Shutdown() override;
    std::int32_t SubmitBlock(ServiceBlock* block) override;
    std::int32_t SubmitRequest(ServiceBlock* block, std::uint32_t frame, std::uint32_t reserved,
                               std::uint32_t* area, std::uint32_t kind) override;

private:
    void CopyToWindow(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right,
                      std::int32_t bottom);

    HWND window = nullptr;
    HDC memoryDc = nullptr;
    HBITMAP surface = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    HPALETTE palette = nullptr;
    std::uint8_t* pixels = nullptr;
    RGBQUAD colours[256] = {};
    std::uint32_t shutdownCalls = 0;
};

GdiDisplay display;
bool closeRequested;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        display.Paint(dc, paint.rcPaint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND: return 1; // the picture covers everything
    case WM_CLOSE:
        // Ends the scene as Escape does; Shutdown closes the window.
        closeRequested = true;
        return 0;
    case WM_QUERYNEWPALETTE: display.RealizePalette(window); return TRUE;
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != window) display.RealizePalette(window);
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool GdiDisplay::Open(const Art& art) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = shellInstance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = WINDOW_CLASS;
    if (RegisterClassA(&windowClass) == 0) return false;

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, SCENE_WIDTH, SCENE_HEIGHT};
    AdjustWindowRect(&frame, style, FALSE);
    window = CreateWindowExA(0, WINDOW_CLASS, "Tarnwick scene", style, CW_USEDEFAULT, CW_USEDEFAULT,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                             shellInstance, nullptr);
    if (window == nullptr) return false;

    // The DIB starts black; the palette command of the first flush loads the
    // art's colours into it.
    Palette256 logical = {0x300, 256, {}};
    for (int i = 0; i < 256; ++i) {
        const Rgb c = art.palette[i];
        colours[i] = {c.blue, c.green, c.red, 0};
        logical.palPalEntry[i] = {c.red, c.green, c.blue, PC_NOCOLLAPSE};
    }
    palette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));

    SurfaceInfo info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = SCENE_WIDTH;
    info.bmiHeader.biHeight = SCENE_HEIGHT; // positive: bottom-up
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
    if (palette == nullptr || surface == nullptr || memoryDc == nullptr) return false;
    pixels = static_cast<std::uint8_t*>(bits);
    previousBitmap = SelectObject(memoryDc, surface);

    // Rows of 320 bytes need no padding to DWORDs. The top row of the picture
    // is the last one in memory.
    static_assert(SCENE_WIDTH % 4 == 0);
    std::uint8_t* top = pixels + (SCENE_HEIGHT - 1) * SCENE_WIDTH;
    screenState.bufferBase = top;
    screenState.windowBase = top;
    screenState.pitch = -SCENE_WIDTH;
    screenState.windowX = 0;
    screenState.windowY = 0;
    screenState.windowWidth = SCENE_WIDTH;
    screenState.windowHeight = SCENE_HEIGHT;
    screenState.drawFlags = 0;

    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return true;
}

void GdiDisplay::CopyToWindow(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right,
                              std::int32_t bottom) {
    HPALETTE previous = SelectPalette(dc, palette, FALSE);
    ::RealizePalette(dc);
    BitBlt(dc, left, top, right - left, bottom - top, memoryDc, left, top, SRCCOPY);
    SelectPalette(dc, previous, FALSE);
}

void GdiDisplay::Paint(HDC dc, const RECT& area) {
    if (memoryDc != nullptr) CopyToWindow(dc, area.left, area.top, area.right, area.bottom);
}

void GdiDisplay::RealizePalette(HWND target) {
    if (palette == nullptr) return;
    HDC dc = GetDC(target);
    HPALETTE previous = SelectPalette(dc, palette, FALSE);
    if (::RealizePalette(dc) != 0) InvalidateRect(target, nullptr, FALSE);
    SelectPalette(dc, previous, FALSE);
    ReleaseDC(target, dc);
}

std::int32_t GdiDisplay::SubmitRequest(ServiceBlock* block, std::uint32_t frame, std::uint32_t,
                                       std::uint32_t* area, std::uint32_t kind) {
    if (kind != DEFERRED_REQUEST_KIND || window == nullptr) return 0;
    const auto clamp = [](std::uint32_t v, std::int32_t high) {
        const auto s = static_cast<std::int32_t>(v);
        return static_cast<std::uint32_t>(s < 0 ? 0 : s > high ? high : s);
    };
    block->words[0] = BLOCK_PRESENT;
    block->words[1] = clamp(area[0], SCENE_WIDTH);
    block->words[2] = clamp(area[1], SCENE_HEIGHT);
    block->words[3] = clamp(area[2], SCENE_WIDTH);
    block->words[4] = clamp(area[3], SCENE_HEIGHT);
    block->words[5] = frame;
    return 1;
}

std::int32_t GdiDisplay::SubmitBlock(ServiceBlock* block) {
    std::uint32_t* words = block->words;
    if (window == nullptr || words[0] == BLOCK_EMPTY) return 0;
    if (words[0] == BLOCK_PRESENT) {
        const auto left = static_cast<std::int32_t>(words[1]);
        const auto top = static_cast<std::int32_t>(words[2]);
        const auto right = static_cast<std::int32_t>(words[3]);
        const auto bottom = static_cast<std::int32_t>(words[4]);
        if (left < right && top < bottom) {
            HDC dc = GetDC(window);
            CopyToWindow(dc, left, top, right, bottom);
            ReleaseDC(window, dc);
        }
    } else if (words[0] == BLOCK_PALETTE && words[1] < 256 && words[2] <= 256 - words[1]) {
        SetDIBColorTable(memoryDc, words[1], words[2], colours + words[1]);
    }
    words[0] = BLOCK_EMPTY;
    return 1;
}

std::int32_t GdiDisplay::Shutdown() {
    ++shutdownCalls;
    const bool open = window != nullptr;
    BOOL closed = FALSE;
    if (open) {
        // Nothing may draw into the DIB once it is gone.
        screenState = {};
        if (memoryDc != nullptr) {
            SelectObject(memoryDc, previousBitmap);
            DeleteDC(memoryDc);
        }
        if (surface != nullptr) DeleteObject(surface);
        closed = DestroyWindow(window);
        if (palette != nullptr) DeleteObject(palette);
        window = nullptr;
        memoryDc = nullptr;
        surface = nullptr;
        palette = nullptr;
        pixels = nullptr;
    }
    UnregisterClassA(WINDOW_CLASS, shellInstance);
    Report(open ? (closed ? "scene: Shutdown call %u, window closed\n"
                          : "scene: Shutdown call %u, window not closed\n")
                : "scene: Shutdown call %u, no window\n",
           shutdownCalls);
    return 1;
}

// Queues `area` of the picture for the display and flushes the service.
void Present(const SceneArea& area, std::uint32_t frame) {
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

void QueuePalette() {
    SemaphoreLock lock(deferredService.secondSemaphore, 0);
    lock.Wait(1);
    deferredService.blockA.words[0] = BLOCK_PALETTE;
    deferredService.blockA.words[1] = 0;
    deferredService.blockA.words[2] = 256;
}

void RunScene(const Art& art, const std::uint8_t* mixTable) {
    SceneState state = SCENE_START;
    SceneInput input = {};
    SceneState shown = state;
    bool drawn = false;
    char title[SCENE_TITLE_SIZE];
    DWORD nextStep = GetTickCount() + FRAME_MS;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
            // The hook has seen the message's key, if it carried one.
            ReadKeyboard(&state, &input);
        }
        if (input.quit || closeRequested) return;

        const DWORD now = GetTickCount();
        if (static_cast<std::int32_t>(now - nextStep) >= 0) {
            StepScene(&state, &input);
            nextStep = now + FRAME_MS;
        }
        if (!drawn || !(state == shown)) {
            const SceneArea area =
                drawn ? ChangedArea(shown, state) : SceneArea{0, 0, SCENE_WIDTH, SCENE_HEIGHT};
            GdiFlush(); // GDI is done with the DIB before the program draws into it
            DrawScene(state, art, mixTable);
            if (area.left < area.right) Present(area, state.frame);
            FormatTitle(state, title);
            SetWindowTextA(display.Window(), title);
            shown = state;
            drawn = true;
        }
        const auto wait = static_cast<std::int32_t>(nextStep - GetTickCount());
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait > 0 ? static_cast<DWORD>(wait) : 0,
                                  QS_ALLINPUT);
    }
}

} // namespace

std::int32_t ProgramEntry(std::uint16_t, char**) {
    static std::uint8_t sheet[ART_SHEET_CAPACITY];
    static Art art;
    static std::uint8_t mixTable[MIX_TABLE_SIZE];
    const ArtStatus status = LoadArt(artBlock, artBlockSize, sheet, sizeof sheet, &art);
    if (status != ART_OK) {
        Report("scene: the art does not load (status %u)\n", status);
        return 1;
    }
    BuildMixTable(art.palette, mixTable);

    // Set before the display opens, so that Shutdown also cleans up after a
    // display that opened only in part.
    shellDisplay = &display;
    if (!display.Open(art)) {
        Report("scene: cannot open the window (error %u)\n", GetLastError());
        return 1;
    }
    QueuePalette();
    RunScene(art, mixTable);
    return 0;
}
