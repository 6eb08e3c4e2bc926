// The example program: the scene of scene.h on the shell's frame, in a window
// or full screen.
//
//   scene.exe              a window of 320 x 200 the player can resize
//   scene.exe --zoom 3     the window at 3 times that size
//   scene.exe --desktop    full screen at the desktop's mode, the scene
//                          scaled by a whole number; with --aspect, 4:3
//   scene.exe 320x200      full screen in that 8-bit mode of the shell's
//   scene.exe 0x101        display-mode table (by resolution or mode number),
//                          the scene in the middle; where the mode cannot be
//                          set, a picture of the mode's size full screen on
//                          the desktop instead (--aspect as above)
//
// A left click puts a star where the pointer is.
//
// The shell's WinMain runs ProgramEntry with the keyboard hook installed for
// this thread, so the hook sees every key while the loop below takes its
// messages. ProgramEntry unpacks the art that the program carries, opens a
// display of the SDK's display component, sets shellDisplay and runs the
// scene until Escape (or the close box), one step of it every 40 ms of the
// SDK's frame clock; ShellMain then calls the display's Shutdown. What the
// display did is reported to the debugger at exit.
#include "scene.h"

#include <clock/clock.h>
#include <display/display.h>
#include <shell/shell.h>

#include <windows.h>

#include <cstdlib>

extern const std::uint8_t artBlock[];
extern const std::size_t artBlockSize;

namespace {

constexpr std::uint32_t FRAME_MS = 40;

WindowDisplay windowDisplay;
DesktopDisplay desktopDisplay;
FullScreenDisplay fullScreenDisplay;
PictureDisplay* display;

void Report(const char* format, std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0,
            std::uint32_t d = 0, std::uint32_t e = 0, std::uint32_t f = 0) {
    char text[160];
    wsprintfA(text, format, a, b, c, d, e, f);
    OutputDebugStringA(text);
}

// At exit, after ShellMain has shut the display down.
void ReportShutdown() {
    Report(display->WindowClosed() ? "scene: Shutdown call %u, window closed\n"
                                   : "scene: Shutdown call %u, window not closed\n",
           display->ShutdownCalls());
    if (display == &fullScreenDisplay) {
        const DisplayMode& mode = fullScreenDisplay.ModeRestored();
        Report("scene: mode restored: %ux%ux%u; surfaces restored %u times\n", mode.width,
               mode.height, mode.bitsPerPixel, fullScreenDisplay.Restores());
    }
}

// Opens the display the options ask for. Where a mode is refused, the
// desktop display shows a picture of its size instead; where nothing full
// screen opens, the window.
bool OpenDisplay(const SceneOptions& options, const Art& art) {
    static_assert(sizeof(Rgb) == sizeof(DisplayColour));
    DisplayColour colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {art.palette[i].red, art.palette[i].green, art.palette[i].blue};
    std::int32_t width = SCENE_WIDTH, height = SCENE_HEIGHT;
    bool desktop = options.desktop;
    if (options.mode != nullptr) {
        const DisplayModeRecord* mode = ParseDisplayMode(options.mode);
        const DisplayResult result = mode == nullptr
                                         ? DISPLAY_NOT_8_BIT
                                         : fullScreenDisplay.Open(*mode, "Tarnwick scene", colours);
        if (result == DISPLAY_OK) {
            const DisplayMode& set = fullScreenDisplay.ModeSet();
            Report("scene: full screen %ux%u, DirectDraw reports %ux%ux%u\n", mode->width,
                   mode->height, set.width, set.height, set.bitsPerPixel);
            display = &fullScreenDisplay;
        } else if (mode != nullptr) {
            Report("scene: no full screen (result %d), the desktop instead\n",
                   static_cast<std::uint32_t>(result));
            width = mode->width;
            height = mode->height;
            desktop = true;
        } else {
            Report("scene: no such mode, a window instead\n", 0);
        }
    }
    if (display == nullptr && desktop) {
        const DisplayResult result = desktopDisplay.Open("Tarnwick scene", width, height, colours,
                                                         options.aspect ? DISPLAY_ASPECT_4_3 : 0);
        if (result == DISPLAY_OK) {
            const DisplayLayout& layout = desktopDisplay.Layout();
            Report("scene: the desktop, %ux%u at %d,%d\n", layout.width, layout.height,
                   static_cast<std::uint32_t>(layout.left), static_cast<std::uint32_t>(layout.top));
            display = &desktopDisplay;
        } else {
            Report("scene: no desktop display (result %d), a window instead\n",
                   static_cast<std::uint32_t>(result));
        }
    }
    if (display == nullptr) {
        if (windowDisplay.Open("Tarnwick scene", SCENE_WIDTH, SCENE_HEIGHT, colours,
                               options.zoom) != DISPLAY_OK)
            return false;
        display = &windowDisplay;
    }
    shellDisplay = display;
    atexit(ReportShutdown);

    // The scene is drawn in the middle of the picture.
    const std::int32_t x = (display->Width() - SCENE_WIDTH) / 2;
    const std::int32_t y = (display->Height() - SCENE_HEIGHT) / 2;
    screenState.windowBase = screenState.bufferBase + y * screenState.pitch + x;
    screenState.windowX = x;
    screenState.windowY = y;
    screenState.windowWidth = SCENE_WIDTH;
    screenState.windowHeight = SCENE_HEIGHT;
    return true;
}

// Each left click since the last look puts the mark, in the scene's own
// coordinates.
void ReadMouse(SceneState* state) {
    MousePress press;
    while (display->TakeMousePress(&press)) {
        if (press.button == MOUSE_LEFT)
            PlaceMark(state, press.x - screenState.windowX, press.y - screenState.windowY);
    }
}

// The scene on the frame clock of `time`, which wakes for input.
void RunScene(const Art& art, const std::uint8_t* mixTable, ClockSource time) {
    SceneState state = SCENE_START;
    SceneInput input = {};
    SceneState shown = state;
    bool drawn = false;
    char title[SCENE_TITLE_SIZE];
    FrameClock clock;
    StartFrameClock(&clock, time, FRAME_MS);
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
            // The hook has seen the message's key, if it carried one.
            ReadKeyboard(&state, &input);
            ReadMouse(&state);
        }
        if (input.quit || display->CloseRequested()) return;

        for (std::uint32_t steps = FrameClockSteps(&clock); steps > 0; --steps)
            StepScene(&state, &input);
        if (!drawn || !(state == shown)) {
            SceneArea area =
                drawn ? ChangedArea(shown, state) : SceneArea{0, 0, SCENE_WIDTH, SCENE_HEIGHT};
            DrawScene(state, art, mixTable);
            if (area.left < area.right) {
                const std::int32_t x = screenState.windowX, y = screenState.windowY;
                DisplayPresent({area.left + x, area.top + y, area.right + x, area.bottom + y},
                               state.frame);
            }
            FormatTitle(state, title);
            SetWindowTextA(display->Window(), title);
            shown = state;
            drawn = true;
        }
        FrameClockWait(&clock);
    }
}

} // namespace

std::int32_t ProgramEntry(std::uint16_t wordCount, char** words) {
    static std::uint8_t sheet[ART_SHEET_CAPACITY];
    static Art art;
    static std::uint8_t mixTable[MIX_TABLE_SIZE];
    const ArtStatus status = LoadArt(artBlock, artBlockSize, sheet, sizeof sheet, &art);
    if (status != ART_OK) {
        Report("scene: the art does not load (status %u)\n", status);
        return 1;
    }
    BuildMixTable(art.palette, mixTable);
    SceneOptions options;
    const char* bad;
    if (!ParseSceneOptions(wordCount, words, &options, &bad)) {
        OutputDebugStringA(
            "scene: usage: scene.exe [--zoom N] [--desktop] [--aspect] [MODE]; not: ");
        OutputDebugStringA(bad);
        OutputDebugStringA("\n");
        return 1;
    }
    if (!OpenDisplay(options, art)) {
        Report("scene: cannot open the window (error %u)\n", GetLastError());
        return 1;
    }
    DisplayQueuePalette(0, 256);
    RunScene(art, mixTable, OpenSystemClock(SYSTEM_CLOCK_WAKE_INPUT));
    CloseSystemClock();
    return 0;
}
