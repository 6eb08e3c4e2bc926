#include "startup/startup.h"

int RunWinMain() {
    STARTUPINFOA startupInfo{};
    startupInfo.cb = sizeof startupInfo;
    GetStartupInfoA(&startupInfo);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    return WinMain(instance, nullptr, CommandTail(GetCommandLineA()), ShowCommand(startupInfo));
}

#ifdef _WIN32
// The process entry: the runtime calls this after the static initialisers and
// ends the process with its result after running the atexit list.
int main() {
    return RunWinMain();
}
#endif
