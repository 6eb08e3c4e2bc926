// Displays for programs built on the shell: a window, the whole desktop, or
// a full-screen 8-bit mode of DisplayModeTable, each one a ShellDisplay that
// the program sets as shellDisplay once it has opened it.
//
//   Window    WindowDisplay: a window the player can resize; the picture is
//             shown at the largest whole-number factor that fits its client
//             area (from the zoom it opens at), centred, black around.
//   Desktop   DesktopDisplay: full screen without a mode change. A window
//             without a frame covers the screen at the desktop's own mode and
//             shows the picture at the largest whole-number factor that fits,
//             centred, black around; DISPLAY_ASPECT_4_3 shows a 16:10 picture
//             (320 x 200, 640 x 400) 4:3, each row taller. Both draw through
//             GDI from an 8-bit DIB section, which every Windows from 95 on
//             converts to the desktop's depth and scales.
//   Pixels    The window and the desktop display have the process drawn in
//             the screen's own pixels where the desktop is set above 96 DPI
//             (SetProcessDPIAware, Windows Vista on, looked up), so that the
//             system does not stretch a whole-number scale into a blur.
//   Mode      FullScreenDisplay: the screen in an 8-bit mode of the table, set
//             with DirectDraw (exclusive level, Mode X allowed, a primary
//             surface with one back buffer and a palette).
//   Picture   Open points screenState at an 8-bit picture of the size asked
//             for (the DIB section; for a mode, a picture in memory that every
//             present copies whole into the back buffer, so that nothing is
//             lost with the surfaces). The program draws into it between
//             presents.
//   Present   DisplayPresent queues the area that changed in the shell's
//             deferred service and flushes it; the display shows that area.
//   Palette   Open takes 256 colours, which the picture shows from the first
//             present on; SetColours changes some, and DisplayQueuePalette has
//             the next flush load them before the picture that needs them
//             (through blockA, which Flush submits before blockB).
//   Mouse     Mouse() is where the pointer was last seen, in picture pixels
//             (through the display's scale and offset, clamped to the
//             picture), and the buttons held; TakeMousePress gives every press
//             in order with where it happened, so that a click shorter than a
//             frame is never lost. Over a full-screen picture the cursor is
//             hidden.
//   Era       DirectDraw is looked up when a mode is opened (ddraw.dll,
//             DirectDrawCreate), so a program on this component loads on
//             Windows 95 without DirectX and NT 4.0 before Service Pack 3;
//             there, and where the mode cannot be set, Open fails with a
//             result the program can act on (open the desktop display
//             instead, which needs nothing but GDI).
//   Lost      When the player switches away from a mode and back, the display
//             restores its surfaces and presents the picture again; while the
//             program is in the background it leaves the screen alone.
//   Messages  The program runs its thread's message loop (PeekMessageA,
//             DispatchMessageA); the display's window procedure paints,
//             realises palettes, follows the mouse and notes the close box
//             (CloseRequested).
//   Shutdown  Restores the desktop's mode, releases every DirectDraw object,
//             closes the window and clears screenState; calling it again does
//             nothing.
//
// One display is open at a time. Deferred-service blocks hold, in words[0],
// DISPLAY_BLOCK_EMPTY, DISPLAY_BLOCK_PRESENT (words 1..4 the area, left, top,
// right, bottom, right and bottom exclusive; word 5 the frame) or
// DISPLAY_BLOCK_PALETTE (words 1, 2: first entry, number of entries).
#pragma once

#include <graphics/graphics.h>
#include <shell/shell.h>

#include <windows.h>

#include <cstdint>

enum DisplayResult : std::int32_t {
    DISPLAY_OK = 1,
    DISPLAY_NOT_8_BIT = -1,         // the record is not an 8-bit mode (or is the invalid one)
    DISPLAY_NO_DIRECTDRAW = -2,     // ddraw.dll or DirectDrawCreate is missing
    DISPLAY_MODE_REFUSED = -3,      // the cooperative level or the mode was refused, or
                                    // the mode reported afterwards is another one
    DISPLAY_NO_SURFACES = -4,       // primary, back buffer or palette not created
    DISPLAY_NO_WINDOW = -5,         // window, DIB section or picture not created
    DISPLAY_ALREADY_OPEN = -6,      // another display of the process is open
    DISPLAY_DIRECTDRAW_FAILED = -7, // DirectDrawCreate is there but fails (no
                                    // DirectDraw driver for this display)
};

// Options of DesktopDisplay::Open and FitPicture.
constexpr std::uint32_t DISPLAY_ASPECT_4_3 = 0x0001; // a 16:10 picture shown 4:3

constexpr std::uint32_t DISPLAY_BLOCK_EMPTY = 0;
constexpr std::uint32_t DISPLAY_BLOCK_PRESENT = 1;
constexpr std::uint32_t DISPLAY_BLOCK_PALETTE = 2;

struct DisplayColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

struct DisplayArea {
    std::int32_t left, top, right, bottom; // right and bottom exclusive
};

struct DisplayMode {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t bitsPerPixel;
};

// ---------------------------------------------------------------------------
// Choosing a mode of DisplayModeTable (these need no Windows)

// The record of that resolution and depth, or null.
const DisplayModeRecord* FindDisplayMode(std::uint32_t width, std::uint32_t height,
                                         std::uint32_t bitsPerPixel);
// The record of that VGA BIOS or VESA mode number (never 0), or null.
const DisplayModeRecord* FindDisplayModeNumber(std::uint32_t videoModeNumber);
// An 8-bit mode named by text: "WIDTHxHEIGHT" ("320x200") or a mode number
// in hexadecimal ("0x13", "0x101"); null for anything else.
const DisplayModeRecord* ParseDisplayMode(const char* text);

// ---------------------------------------------------------------------------
// Where the picture lies on the screen, and the mouse in it (these need no
// Windows)

// The picture of pictureWidth x pictureHeight pixels shown in a rectangle of
// the screen: picture column x covers screen columns ScreenColumn(x) to
// ScreenColumn(x + 1) - 1, and rows likewise.
struct DisplayLayout {
    std::int32_t pictureWidth, pictureHeight;
    std::int32_t left, top;     // the picture's top left corner in the client area
    std::int32_t width, height; // its size there
};

// The largest whole-number factor (at least 1) at which the picture fits an
// area of areaWidth x areaHeight, centred (halves rounded down). With
// DISPLAY_ASPECT_4_3 a 16:10 picture is shown 4:3 instead: the largest
// whole-number factor across, and as many rows as make 4:3, which is a whole
// number of rows for each picture row where the factor across is a multiple
// of 5 (320 x 200 on 1600 x 1200: 5 across, 6 down); elsewhere the rows are
// spread evenly. Other pictures, and areas too small for 4:3 at factor 1,
// take no correction.
DisplayLayout FitPicture(std::int32_t pictureWidth, std::int32_t pictureHeight,
                         std::int32_t areaWidth, std::int32_t areaHeight, std::uint32_t options);
// The first screen column of picture column x (0 .. pictureWidth), and row.
std::int32_t ScreenColumn(const DisplayLayout& layout, std::int32_t x);
std::int32_t ScreenRow(const DisplayLayout& layout, std::int32_t y);
// Whether every picture row covers the same number of screen rows.
bool EvenRows(const DisplayLayout& layout);

constexpr std::uint8_t MOUSE_LEFT = 0x01;
constexpr std::uint8_t MOUSE_RIGHT = 0x02;
constexpr std::uint8_t MOUSE_MIDDLE = 0x04;

struct MousePress {
    std::int32_t x, y; // the picture pixel the pointer was over
    std::uint8_t button;
};

constexpr std::uint32_t MOUSE_PRESSES_KEPT = 32;

// The mouse as the display's window sees it. Positions are picture pixels:
// a point of the client area goes through the layout and is clamped to the
// picture, so that the black around it counts as the nearest edge.
struct DisplayMouse {
    std::int32_t x, y;         // where the pointer was last seen (0, 0 before then)
    std::uint8_t buttons;      // MOUSE_* held now
    std::uint32_t pressesLost; // presses that found the buffer full
    // Presses not yet taken, oldest first, from presses[first] on.
    MousePress presses[MOUSE_PRESSES_KEPT];
    std::uint32_t first, count;
};

// The pointer moved to (clientX, clientY), or a button went down or up there.
void MouseMoved(DisplayMouse* mouse, const DisplayLayout& layout, std::int32_t clientX,
                std::int32_t clientY);
void MouseButton(DisplayMouse* mouse, const DisplayLayout& layout, std::int32_t clientX,
                 std::int32_t clientY, std::uint8_t button, bool down);
// The oldest press not yet taken; false when there is none.
bool TakeMousePress(DisplayMouse* mouse, MousePress* press);

// ---------------------------------------------------------------------------
// The displays (Windows only; a host build has the choices above)

#if defined(_WIN32)

// What every display shares: the 256 colours, the picture's size and layout,
// the mouse, the window and its class, the requests of the deferred service.
// Not opened by itself.
class PictureDisplay : public ShellDisplay {
public:
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

    // Queues a present of `area` (clamped to the picture) in `block`; any
    // kind other than the shell's request kind is refused with 0.
    std::int32_t SubmitRequest(ServiceBlock* block, std::uint32_t frame, std::uint32_t reserved,
                               std::uint32_t* area, std::uint32_t kind) override;
    // Carries out what `block` holds and empties it.
    std::int32_t SubmitBlock(ServiceBlock* block) override;
    // Releases what the display holds, closes the window, clears
    // screenState; again, it does nothing.
    std::int32_t Shutdown() override;

    HWND Window() const { return window; }
    std::int32_t Width() const { return width; }
    std::int32_t Height() const { return height; }
    // Where the picture lies in the window's client area now.
    const DisplayLayout& Layout() const { return layout; }
    bool CloseRequested() const { return closeRequested; }
    std::uint32_t ShutdownCalls() const { return shutdownCalls; }
    // Whether the last Shutdown closed a window.
    bool WindowClosed() const { return windowClosed; }

    // The pointer and the buttons; the presses not yet taken.
    const DisplayMouse& Mouse() const { return mouse; }
    bool TakeMousePress(MousePress* press) { return ::TakeMousePress(&mouse, press); }

    // Changes entries first .. first + count - 1 of the colours the next
    // palette command loads; entries outside 0..255 are left out.
    void SetColours(std::uint32_t first, std::uint32_t count, const DisplayColour* colours);

protected:
    ~PictureDisplay() = default;

    // Whether a display of the process is open (only one may be).
    static bool AnyOpen();
    // Asks the system for the screen's own pixels for the process (see
    // display.cpp); called before the screen is measured and the window made.
    static void UseScreenPixels();
    // Registers the window class on first use and creates the display's
    // window; `style` and `exStyle` as CreateWindowExA takes them. Clears the
    // mouse, and lays the picture out at its own size.
    bool CreateDisplayWindow(const char* title, DWORD style, DWORD exStyle, std::int32_t x,
                             std::int32_t y, std::int32_t outerWidth, std::int32_t outerHeight);
    // Points screenState at the whole picture: `top` is its top row.
    void PointScreenState(std::uint8_t* top, std::int32_t pitch);
    // Destroys the window, unregisters the class and clears screenState.
    bool CloseDisplayWindow();

    virtual void ShowArea(std::int32_t left, std::int32_t top, std::int32_t right,
                          std::int32_t bottom) = 0;
    virtual void LoadPalette(std::uint32_t first, std::uint32_t count) = 0;
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Frees what the display made besides its window. Every handle and
    // pointer is cleared before anything is freed, so that a message sent
    // meanwhile finds nothing to draw through.
    virtual void Release() = 0;

    friend LRESULT CALLBACK DisplayWindowProc(HWND, UINT, WPARAM, LPARAM);

    HWND window = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    DisplayLayout layout = {};
    DisplayMouse mouse = {};
    bool hideCursor = false; // over the client area
    bool closeRequested = false;
    bool windowClosed = false;
    std::uint32_t shutdownCalls = 0;
    DisplayColour colours[256] = {};
};

// What the window and the desktop display share: the picture is an 8-bit DIB
// section with the colours in its colour table and in a GDI palette, shown
// with StretchBlt at the layout's scale, black around it.
class ScaledDisplay : public PictureDisplay {
protected:
    ~ScaledDisplay() = default;

    // The first step of Open: refuses a second display and a picture of no
    // size, asks for the screen's own pixels (UseScreenPixels), and takes the
    // picture's size, colours and DISPLAY_* options.
    DisplayResult BeginScaled(std::int32_t pictureWidth, std::int32_t pictureHeight,
                              const DisplayColour* palette256, std::uint32_t openOptions);
    // Creates the window (`style` as CreateWindowExA takes it), the picture
    // and its palette, lays the picture out in the client area and shows the
    // window; on failure, nothing is left open.
    DisplayResult OpenScaled(const char* title, DWORD style, std::int32_t x, std::int32_t y,
                             std::int32_t outerWidth, std::int32_t outerHeight);
    // Makes the DIB section, its device context and the palette for the
    // window just created, and points screenState at the picture.
    DisplayResult MakePicture();
    // Lays the picture out in the client area as it is now, and has all of
    // it painted again.
    void FitToClient();
    void ShowArea(std::int32_t left, std::int32_t top, std::int32_t right,
                  std::int32_t bottom) override;
    void LoadPalette(std::uint32_t first, std::uint32_t count) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Release() override;

    std::uint32_t options = 0; // DISPLAY_ASPECT_4_3

private:
    // Draws picture rows top .. bottom - 1, columns left .. right - 1, at the
    // layout's scale into `dc`.
    void DrawArea(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right,
                  std::int32_t bottom);
    void RealizeWindowPalette();

    HDC memoryDc = nullptr;
    HBITMAP surface = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    HPALETTE palette = nullptr;
};

// A window whose client area shows the picture; the player can resize it,
// down to the picture's own size.
class WindowDisplay final : public ScaledDisplay {
public:
    // The client area is `zoom` times the picture (less where that would not
    // fit the screen; at least once).
    DisplayResult Open(const char* title, std::int32_t pictureWidth, std::int32_t pictureHeight,
                       const DisplayColour* palette, std::int32_t zoom = 1);

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Full screen at the desktop's own mode: a window without a frame over the
// whole screen (not topmost, so that switching away is instant and leaves
// the other windows in front), the cursor hidden over it. Options:
// DISPLAY_ASPECT_4_3.
class DesktopDisplay final : public ScaledDisplay {
public:
    DisplayResult Open(const char* title, std::int32_t pictureWidth, std::int32_t pictureHeight,
                       const DisplayColour* palette, std::uint32_t options = 0);

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The whole screen in an 8-bit mode of DisplayModeTable, set with DirectDraw:
// exclusive full-screen cooperative level with Mode X allowed (on many
// display drivers of Windows 95 and 98 the 320-wide modes exist only as Mode
// X), a primary surface with one back buffer (the only surface ever locked,
// as Mode X requires), a palette of 256 entries; the cursor hidden.
class FullScreenDisplay final : public PictureDisplay {
public:
    DisplayResult Open(const DisplayModeRecord& mode, const char* title,
                       const DisplayColour* palette);

    // The mode DirectDraw reported after setting it, and after restoring the
    // desktop's in Shutdown (zero until then).
    const DisplayMode& ModeSet() const { return modeSet; }
    const DisplayMode& ModeRestored() const { return modeRestored; }
    // How often lost surfaces were restored.
    std::uint32_t Restores() const { return restores; }

private:
    void ShowArea(std::int32_t left, std::int32_t top, std::int32_t right,
                  std::int32_t bottom) override;
    void LoadPalette(std::uint32_t first, std::uint32_t count) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Release() override;
    // Copies the picture into the back buffer and flips; restores lost
    // surfaces once on the way, but only while the program is in front.
    // False when the surfaces stay lost.
    bool ShowPicture();
    bool RestoreSurfaces();

    HMODULE library = nullptr;
    struct IDirectDraw* directDraw = nullptr;
    struct IDirectDrawSurface* primary = nullptr;
    struct IDirectDrawSurface* backBuffer = nullptr;
    struct IDirectDrawPalette* ddPalette = nullptr;
    std::uint8_t* picture = nullptr;
    bool modeChanged = false;
    bool active = false; // the program is in front (WM_ACTIVATEAPP)
    DisplayMode modeSet = {};
    DisplayMode modeRestored = {};
    std::uint32_t restores = 0;
};

// ---------------------------------------------------------------------------
// Through the deferred service

// Queues a present of `area` with the frame number and flushes the service:
// holding secondSemaphore, the area goes into requestArea and the frame into
// requestValue1, and requestPending is set. shellDisplay must be set.
void DisplayPresent(const DisplayArea& area, std::uint32_t frame);
// Puts a palette command for entries first .. first + count - 1 into blockA;
// the next flush loads them before it presents.
void DisplayQueuePalette(std::uint32_t first, std::uint32_t count);

#endif // _WIN32
