// A ddraw.dll for the display tests: a DirectDraw object, a primary surface
// with its back buffer and a palette, all in memory, that answer as
// TestDirectDrawState says and note what happens to them (test_ddraw.h).
// Every object notes a call made on it after its last Release; the methods
// the display never calls answer DDERR_UNSUPPORTED.
#include "test_ddraw.h"

#include <cstdint>
#include <cstring>

namespace {

TestDirectDrawState state;
HWND cooperativeWindow;
bool sending; // the messages of messagesOnRestore are on their way

constexpr DWORD MODE_WIDTH_LIMIT = 1600;
std::uint8_t backPixels[MODE_WIDTH_LIMIT * 1200];
DWORD modeWidth, modeHeight;

// Reference counting and the note of calls after the last Release.
class Counted {
public:
    void Made() {
        references = 1;
        ++state.objectsAlive;
    }
    void Note(bool surface = true) {
        if (references == 0) ++state.callsAfterRelease;
        if (surface && sending) ++state.callsDuringRestore;
    }
    ULONG Add() {
        Note(false);
        return ++references;
    }
    ULONG Drop() {
        Note(false);
        if (references == 0) return 0;
        if (--references == 0) --state.objectsAlive;
        return references;
    }

private:
    ULONG references = 0;
};

// As the system does when the mode changes back: the window hears at once.
void SendRestoreMessages() {
    if (!state.messagesOnRestore || cooperativeWindow == nullptr) return;
    sending = true;
    SendMessageA(cooperativeWindow, WM_ACTIVATEAPP, TRUE, 0);
    InvalidateRect(cooperativeWindow, nullptr, FALSE);
    UpdateWindow(cooperativeWindow);
    state.messagesSent += 2;
    sending = false;
}

#define UNUSED(name, ...)                                                                          \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override {                                         \
        counted.Note();                                                                            \
        return DDERR_UNSUPPORTED;                                                                  \
    }

class TestPalette final : public IDirectDrawPalette {
public:
    Counted counted;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return counted.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return counted.Drop(); }
    UNUSED(GetCaps, LPDWORD)
    UNUSED(GetEntries, DWORD, DWORD, DWORD, LPPALETTEENTRY)
    UNUSED(Initialize, LPDIRECTDRAW, DWORD, LPPALETTEENTRY)
    HRESULT STDMETHODCALLTYPE SetEntries(DWORD, DWORD, DWORD, LPPALETTEENTRY) override {
        counted.Note();
        return DD_OK;
    }
};

class TestSurface final : public IDirectDrawSurface {
public:
    Counted counted;
    TestSurface* attached = nullptr; // the primary's back buffer

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return counted.Add(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = counted.Drop();
        if (left == 0 && attached != nullptr) {
            attached->counted.Drop();
            attached = nullptr;
        }
        return left;
    }
    UNUSED(AddAttachedSurface, LPDIRECTDRAWSURFACE)
    UNUSED(AddOverlayDirtyRect, LPRECT)
    UNUSED(Blt, LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDBLTFX)
    UNUSED(BltBatch, LPDDBLTBATCH, DWORD, DWORD)
    UNUSED(BltFast, DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD)
    UNUSED(DeleteAttachedSurface, DWORD, LPDIRECTDRAWSURFACE)
    UNUSED(EnumAttachedSurfaces, LPVOID, LPDDENUMSURFACESCALLBACK)
    UNUSED(EnumOverlayZOrders, DWORD, LPVOID, LPDDENUMSURFACESCALLBACK)
    HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE, DWORD) override {
        counted.Note();
        if (state.lost) return DDERR_SURFACELOST;
        ++state.flips;
        return DD_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS, LPDIRECTDRAWSURFACE* surface) override {
        counted.Note();
        if (attached == nullptr) return DDERR_NOTFOUND;
        attached->AddRef();
        *surface = attached;
        return DD_OK;
    }
    UNUSED(GetBltStatus, DWORD)
    UNUSED(GetCaps, LPDDSCAPS)
    UNUSED(GetClipper, LPDIRECTDRAWCLIPPER*)
    UNUSED(GetColorKey, DWORD, LPDDCOLORKEY)
    UNUSED(GetDC, HDC*)
    UNUSED(GetFlipStatus, DWORD)
    UNUSED(GetOverlayPosition, LPLONG, LPLONG)
    UNUSED(GetPalette, LPDIRECTDRAWPALETTE*)
    UNUSED(GetPixelFormat, LPDDPIXELFORMAT)
    UNUSED(GetSurfaceDesc, LPDDSURFACEDESC)
    UNUSED(Initialize, LPDIRECTDRAW, LPDDSURFACEDESC)
    UNUSED(IsLost)
    HRESULT STDMETHODCALLTYPE Lock(LPRECT, LPDDSURFACEDESC desc, DWORD, HANDLE) override {
        counted.Note();
        if (state.lost) return DDERR_SURFACELOST;
        ++state.locks;
        desc->lpSurface = backPixels;
        desc->lPitch = static_cast<LONG>(modeWidth);
        desc->dwWidth = modeWidth;
        desc->dwHeight = modeHeight;
        return DD_OK;
    }
    UNUSED(ReleaseDC, HDC)
    HRESULT STDMETHODCALLTYPE Restore() override {
        counted.Note();
        return state.lost ? DDERR_WRONGMODE : DD_OK;
    }
    UNUSED(SetClipper, LPDIRECTDRAWCLIPPER)
    UNUSED(SetColorKey, DWORD, LPDDCOLORKEY)
    UNUSED(SetOverlayPosition, LONG, LONG)
    HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE) override {
        counted.Note();
        return state.setPaletteResult;
    }
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID) override {
        counted.Note();
        return DD_OK;
    }
    UNUSED(UpdateOverlay, LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDOVERLAYFX)
    UNUSED(UpdateOverlayDisplay, DWORD)
    UNUSED(UpdateOverlayZOrder, DWORD, LPDIRECTDRAWSURFACE)
};

TestSurface primary, backBuffer;
TestPalette palette;

class TestDirectDraw final : public IDirectDraw {
public:
    Counted counted;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return counted.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return counted.Drop(); }
    UNUSED(Compact)
    UNUSED(CreateClipper, DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*)
    HRESULT STDMETHODCALLTYPE CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE* made,
                                            IUnknown*) override {
        counted.Note(false);
        palette.counted.Made();
        *made = &palette;
        return DD_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC, LPDIRECTDRAWSURFACE* made,
                                            IUnknown*) override {
        counted.Note(false);
        // The primary holds its back buffer until its own last Release;
        // GetAttachedSurface gives the caller a reference of its own.
        primary.counted.Made();
        backBuffer.counted.Made();
        primary.attached = &backBuffer;
        *made = &primary;
        return DD_OK;
    }
    UNUSED(DuplicateSurface, LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE*)
    UNUSED(EnumDisplayModes, DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMMODESCALLBACK)
    UNUSED(EnumSurfaces, DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK)
    UNUSED(FlipToGDISurface)
    UNUSED(GetCaps, LPDDCAPS, LPDDCAPS)
    HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC desc) override {
        counted.Note(false);
        desc->dwWidth = modeWidth;
        desc->dwHeight = modeHeight;
        desc->ddpfPixelFormat.dwRGBBitCount = 8;
        return DD_OK;
    }
    UNUSED(GetFourCCCodes, LPDWORD, LPDWORD)
    UNUSED(GetGDISurface, LPDIRECTDRAWSURFACE*)
    UNUSED(GetMonitorFrequency, LPDWORD)
    UNUSED(GetScanLine, LPDWORD)
    UNUSED(GetVerticalBlankStatus, WINBOOL*)
    UNUSED(Initialize, GUID*)
    HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override {
        counted.Note(false);
        ++state.restoreDisplayModeCalls;
        SendRestoreMessages();
        return DD_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
        counted.Note(false);
        if (flags == DDSCL_NORMAL) {
            SendRestoreMessages();
        } else {
            state.cooperativeFlags = flags;
            cooperativeWindow = window;
        }
        return DD_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD) override {
        counted.Note(false);
        ++state.setDisplayModeCalls;
        if (width > MODE_WIDTH_LIMIT || width * height > sizeof backPixels)
            return DDERR_INVALIDMODE;
        modeWidth = width;
        modeHeight = height;
        state.lost = false;
        return DD_OK;
    }
    UNUSED(WaitForVerticalBlank, DWORD, HANDLE)
};

TestDirectDraw directDraw;

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DirectDrawCreate(GUID*, LPDIRECTDRAW* made, IUnknown*) {
    if (state.createResult != DD_OK) return state.createResult;
    directDraw.counted.Made();
    *made = &directDraw;
    return DD_OK;
}

extern "C" __declspec(dllexport) TestDirectDrawState* WINAPI TestDirectDraw() {
    return &state;
}
