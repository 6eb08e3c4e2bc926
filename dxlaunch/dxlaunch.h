// dxlaunch: the DirectX setup launcher.
//
// WinMain calls DirectSetup's DirectXSetupA once, with no owner window, the
// command tail as the setup's root path (an empty text when nothing follows
// the program name, never a null pointer) and the components below; it
// ignores the setup's answer and returns 0, so the process always exits with
// 0. DSETUP.dll is bound by import: where it is missing the system loader
// refuses to start the program and none of this runs.
#pragma once

#include <windows.h>

// DirectSetup's component bits, as named in the DirectX SDK.
constexpr DWORD DSETUP_DDRAW = 0x00000001;
constexpr DWORD DSETUP_DSOUND = 0x00000002;
constexpr DWORD DSETUP_DPLAY = 0x00000004;
constexpr DWORD DSETUP_DDRAWDRV = 0x00000008;
constexpr DWORD DSETUP_DSOUNDDRV = 0x00000010;
constexpr DWORD DSETUP_DPLAYSP = 0x00000020;
constexpr DWORD DSETUP_D3D = 0x00000200;
constexpr DWORD DSETUP_DINPUT = 0x00000800;

// DirectDraw, DirectSound, DirectPlay, their drivers and service providers,
// Direct3D and DirectInput; no user-interface, test-install or prompt bit.
constexpr DWORD DXLAUNCH_COMPONENTS = DSETUP_DDRAW | DSETUP_DSOUND | DSETUP_DPLAY |
                                      DSETUP_DDRAWDRV | DSETUP_DSOUNDDRV | DSETUP_DPLAYSP |
                                      DSETUP_D3D | DSETUP_DINPUT;
static_assert(DXLAUNCH_COMPONENTS == 0xA3F);

// DSETUP.dll's entry (the SDK's header is not used): stdcall, three arguments.
extern "C" int WINAPI DirectXSetupA(HWND window, LPSTR rootPath, DWORD flags);
