#include "startup/startup.h"

int RunWinMain() {
    STARTUPINFOA startupInfo{};
    startupInfo.cb = sizeof startupInfo;
    GetStartupInfoA(&startupInfo);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    return WinMain(instance, nullptr, CommandTail(GetCommandLineA()), ShowCommand(startupInfo));
}

#ifdef _WIN32
#include <cstdlib>

// The process entry: the runtime calls this after the static initialisers and
// ends the process with its result after running the atexit list.
int main() {
    return RunWinMain();
}

// The runtime's default terminate handler prints the name of the exception
// type to a console that a GUI-subsystem program does not have, and links the
// whole C++ name demangler to do so (some 46 KiB). The shell's frame catches
// everything that leaves a program's entry, so ending the process without a
// word is all that is left to do; every program on this start-up gets it.
namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

} // namespace __gnu_cxx
#endif
