// What the display tests' ddraw.dll is told and what it saw. The test reaches
// the one state of the DLL through its export TestDirectDraw.
#pragma once

#include <windows.h>

#include <ddraw.h>

struct TestDirectDrawState {
    // Set by the test.
    HRESULT createResult;     // what DirectDrawCreate answers
    HRESULT setPaletteResult; // what the primary's SetPalette answers
    // RestoreDisplayMode and SetCooperativeLevel(DDSCL_NORMAL) send the
    // window WM_ACTIVATEAPP and have it painted at once, as the system may
    // when the mode changes back and the window leaves the exclusive level.
    bool messagesOnRestore;
    // The surfaces are lost: Lock answers DDERR_SURFACELOST and Restore
    // DDERR_WRONGMODE until the mode is set again.
    bool lost;

    // Seen by the DLL.
    DWORD cooperativeFlags; // of the last SetCooperativeLevel but DDSCL_NORMAL
    int setDisplayModeCalls;
    int restoreDisplayModeCalls;
    int messagesSent;
    int locks;
    int flips;
    int objectsAlive;       // made and not yet released to 0
    int callsAfterRelease;  // any call on an object after its last Release
    int callsDuringRestore; // calls on surfaces and palette while the DLL sends its messages
};

using TestDirectDrawProc = TestDirectDrawState*(WINAPI*)();
