// The displays under Wine, against the tests' own ddraw.dll (test_ddraw.cpp,
// loaded in place of the system's), where DirectDraw is made to do what a
// real display driver may: fail to start, fail after the surfaces exist,
// lose the surfaces, send the window messages while the mode changes back.
// Also the window procedure's answers about the cursor, and the colours a
// window shows before any palette command.
#include "display/display.h"

#include "test_ddraw.h"

#include <gtest/gtest.h>

#include <cstring>

// The shell's frame, which holds shellInstance, wants a program entry; the
// tests run from GoogleTest's main instead.
std::int32_t ProgramEntry(std::uint16_t, char**) {
    return 0;
}

namespace {

const DisplayColour* Colours() {
    static DisplayColour colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)};
    return colours;
}

// Takes the thread's messages until none is left.
void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

class DisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shellInstance = GetModuleHandleA(nullptr);
        // Held for the whole run: the display loads and frees it at each
        // Open and Shutdown, and its state must outlive them.
        library = LoadLibraryA("ddraw.dll");
        ASSERT_NE(library, nullptr);
        const auto get = reinterpret_cast<TestDirectDrawProc>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "TestDirectDraw")));
        ASSERT_NE(get, nullptr) << "the system's ddraw.dll was loaded, not the tests'";
        ddraw = get();
    }

    void SetUp() override {
        *ddraw = {};
        ddraw->createResult = DD_OK;
        ddraw->setPaletteResult = DD_OK;
    }

    void TearDown() override {
        shellDisplay = nullptr;
        EXPECT_EQ(ddraw->objectsAlive, 0) << "DirectDraw objects left unreleased";
    }

    static inline HMODULE library;
    static inline TestDirectDrawState* ddraw;
};

const DisplayModeRecord& Mode320() {
    return *FindDisplayMode(320, 200, 8);
}

TEST_F(DisplayTest, DirectDrawCreateThatFailsHasItsOwnResult) {
    // ddraw.dll is there and exports DirectDrawCreate, but no driver serves
    // this display: not the result of a missing DirectX.
    ddraw->createResult = DDERR_NODIRECTDRAWHW;
    FullScreenDisplay display;
    EXPECT_EQ(display.Open(Mode320(), "test", Colours()), DISPLAY_DIRECTDRAW_FAILED);
    EXPECT_EQ(display.Window(), nullptr);
    EXPECT_EQ(screenState.bufferBase, nullptr);
    // Nothing else is open: a window opens now.
    WindowDisplay window;
    EXPECT_EQ(window.Open("test", 32, 16, Colours()), DISPLAY_OK);
    window.Shutdown();
}

TEST_F(DisplayTest, TheExclusiveLevelAllowsModeX) {
    FullScreenDisplay display;
    ASSERT_EQ(display.Open(Mode320(), "test", Colours()), DISPLAY_OK);
    EXPECT_EQ(ddraw->cooperativeFlags,
              DWORD{DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWMODEX});
    display.Shutdown();
}

TEST_F(DisplayTest, MessagesSentWhileTheModeChangesBackPresentNothing) {
    FullScreenDisplay display;
    ASSERT_EQ(display.Open(Mode320(), "test", Colours()), DISPLAY_OK);
    shellDisplay = &display;
    DisplayPresent({0, 0, 320, 200}, 1);
    EXPECT_GT(ddraw->flips, 0);
    ddraw->messagesOnRestore = true;
    display.Shutdown();
    EXPECT_EQ(ddraw->restoreDisplayModeCalls, 1);
    EXPECT_EQ(ddraw->messagesSent, 4); // two on each of the two calls
    EXPECT_EQ(ddraw->callsDuringRestore, 0);
    EXPECT_EQ(ddraw->callsAfterRelease, 0);
    EXPECT_EQ(screenState.bufferBase, nullptr);
}

TEST_F(DisplayTest, OpenThatFailsAfterMakingSurfacesReleasesThemFirst) {
    ddraw->setPaletteResult = DDERR_GENERIC;
    ddraw->messagesOnRestore = true;
    FullScreenDisplay display;
    EXPECT_EQ(display.Open(Mode320(), "test", Colours()), DISPLAY_NO_SURFACES);
    EXPECT_EQ(ddraw->restoreDisplayModeCalls, 1);
    EXPECT_GT(ddraw->messagesSent, 0);
    EXPECT_EQ(ddraw->callsDuringRestore, 0);
    EXPECT_EQ(ddraw->callsAfterRelease, 0);
    EXPECT_EQ(display.Window(), nullptr);
}

TEST_F(DisplayTest, InTheBackgroundTheModeIsLeftAlone) {
    FullScreenDisplay display;
    ASSERT_EQ(display.Open(Mode320(), "test", Colours()), DISPLAY_OK);
    shellDisplay = &display;
    EXPECT_EQ(ddraw->setDisplayModeCalls, 1);

    // The player switched away: the surfaces are lost with the mode, and the
    // program goes on presenting.
    SendMessageA(display.Window(), WM_ACTIVATEAPP, FALSE, 0);
    ddraw->lost = true;
    const int flips = ddraw->flips;
    for (std::uint32_t frame = 2; frame < 6; ++frame) DisplayPresent({0, 0, 320, 200}, frame);
    EXPECT_EQ(ddraw->setDisplayModeCalls, 1);
    EXPECT_EQ(display.Restores(), 0u);
    EXPECT_EQ(ddraw->flips, flips);

    // Back: the mode is set again, the surfaces restored, the picture shown.
    SendMessageA(display.Window(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(ddraw->setDisplayModeCalls, 2);
    EXPECT_EQ(display.Restores(), 1u);
    EXPECT_EQ(ddraw->flips, flips + 1);
    display.Shutdown();
}

// WM_SETCURSOR over the client area, as the system sends it when the pointer
// moves there: whether the window set a cursor itself, and which.
struct CursorAnswer {
    LRESULT handled;
    HCURSOR cursor;
};
CursorAnswer AskCursor(HWND window) {
    SetCursor(LoadCursorA(nullptr, IDC_CROSS));
    const LRESULT handled = SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return {handled, GetCursor()};
}

TEST_F(DisplayTest, NoCursorOverAFullScreenPicture) {
    {
        FullScreenDisplay display;
        ASSERT_EQ(display.Open(Mode320(), "test", Colours()), DISPLAY_OK);
        const CursorAnswer answer = AskCursor(display.Window());
        EXPECT_TRUE(answer.handled) << "a mode";
        EXPECT_EQ(answer.cursor, nullptr) << "a mode";
        display.Shutdown();
    }
    {
        DesktopDisplay display;
        ASSERT_EQ(display.Open("test", 320, 200, Colours()), DISPLAY_OK);
        const CursorAnswer answer = AskCursor(display.Window());
        EXPECT_TRUE(answer.handled) << "the desktop";
        EXPECT_EQ(answer.cursor, nullptr) << "the desktop";
        display.Shutdown();
    }
    {
        // A window keeps the arrow of its class (which the default
        // procedure sets).
        WindowDisplay display;
        ASSERT_EQ(display.Open("test", 320, 200, Colours()), DISPLAY_OK);
        const CursorAnswer answer = AskCursor(display.Window());
        EXPECT_EQ(answer.cursor, LoadCursorA(nullptr, IDC_ARROW)) << "a window";
        display.Shutdown();
    }
}

// The colour the window shows at client point (x, y), read back through a
// 32-bit DIB section of our own.
COLORREF Shown(HWND window, int x, int y) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, 1, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    HDC dc = GetDC(window);
    BitBlt(memory, 0, 0, 1, 1, dc, x, y, SRCCOPY);
    ReleaseDC(window, dc);
    GdiFlush();
    std::uint32_t pixel;
    std::memcpy(&pixel, bits, 4);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return RGB(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
}

TEST_F(DisplayTest, AWindowShowsItsColoursBeforeAnyPaletteCommand) {
    WindowDisplay display;
    ASSERT_EQ(display.Open("test", 64, 32, Colours(), 2), DISPLAY_OK);
    shellDisplay = &display;
    Pump();
    for (std::int32_t y = 0; y < 32; ++y) DrawHVLine(0, y, 63, y, 200);
    DisplayPresent({0, 0, 64, 32}, 1);
    const DisplayColour c = Colours()[200];
    // Picture pixel 10, 5 at zoom 2.
    EXPECT_EQ(Shown(display.Window(), 21, 11), RGB(c.red, c.green, c.blue));
    display.Shutdown();
}

} // namespace
