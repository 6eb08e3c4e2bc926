// scene_driver: what the scene's tests do inside Wine.
//
//   scene_driver run PROGRAM [ARGUMENT...]
//       starts PROGRAM (with the ARGUMENTs, which hold no blanks) through
//       CreateProcessA, waits for it to end and prints "scene_driver: exit
//       code N" with the code Windows gives for it. Under an emulator the Unix side of Wine may
//       report a process that ended as killed (137) whatever it returned; the code that Windows
//       keeps is the program's own.
//   scene_driver switch [STAY_MS]
//       what a player does who switches from a full-screen program to another
//       window and back: brings a window of its own to the front and waits
//       until it is the foreground window and the display's window is
//       minimised (the display has lost its surfaces then), stays there
//       STAY_MS milliseconds (default 0), closes it, restores the display's
//       window to the front and waits for that too. Each wait has a
//       deadline. Each step is printed and also goes to the debugger, so
//       that a trace with time stamps tells when the program was in the
//       background ("away" to "coming back").
// Exit code 0 when all went as described, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD DEADLINE_MS = 30000;

// A line on the output and, for a trace with time stamps, to the debugger.
void Say(const char* text) {
    std::printf("scene_driver: %s\n", text);
    char line[128];
    std::snprintf(line, sizeof line, "scene_driver: %s\n", text);
    OutputDebugStringA(line);
}

int Fail(const char* text) {
    std::printf("scene_driver: %s\n", text);
    return 1;
}

// Takes this thread's messages until `done` holds or the deadline passes.
template <class Done> bool PumpUntil(Done done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > DEADLINE_MS) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(20);
    }
    return true;
}

int Run(int count, char** words) {
    char commandLine[512] = "";
    for (int i = 0; i < count; ++i) {
        const std::size_t used = std::strlen(commandLine);
        if (std::snprintf(commandLine + used, sizeof commandLine - used, i > 0 ? " %s" : "%s",
                          words[i]) >= static_cast<int>(sizeof commandLine - used))
            return Fail("the command line is too long");
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return Fail("cannot start the program");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("scene_driver: exit code %lu\n", static_cast<unsigned long>(code));
    return 0;
}

int Switch(DWORD stay) {
    const HWND display = FindWindowA("TarnwickDisplay", nullptr);
    if (display == nullptr) return Fail("no window of a display");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SceneDriver";
    RegisterClassA(&windowClass);
    const HWND own =
        CreateWindowExA(WS_EX_TOPMOST, "SceneDriver", "scene_driver", WS_POPUP | WS_VISIBLE, 0, 0,
                        64, 64, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetForegroundWindow(own);
    if (!PumpUntil([&] { return GetForegroundWindow() == own; }))
        return Fail("our window never came to the front");
    Say("away");
    // Wine minimises a full-screen window that loses the foreground, as
    // Windows does; the player brings it back from the task bar.
    if (!PumpUntil([&] { return IsIconic(display) != FALSE; }))
        return Fail("the display's window was not minimised");
    Say("the display's window is minimised");
    const DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start >= stay; });
    Say("coming back");
    DestroyWindow(own);
    ShowWindow(display, SW_RESTORE);
    SetForegroundWindow(display);
    if (!PumpUntil([&] { return GetForegroundWindow() == display && !IsIconic(display); }))
        return Fail("the display's window never came back to the front");
    Say("back");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc >= 3 && std::strcmp(argv[1], "run") == 0) return Run(argc - 2, argv + 2);
    if (argc >= 2 && argc <= 3 && std::strcmp(argv[1], "switch") == 0)
        return Switch(argc == 3 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 0);
    return Fail("usage: scene_driver run PROGRAM [ARGUMENT...] | scene_driver switch [STAY_MS]");
}
