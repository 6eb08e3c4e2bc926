// A DSETUP.dll for the tests: DirectXSetupA appends one line per call to the
// file named by DSETUP_LOG,
//     window=<hex> root=[<root path bytes>] flags=<hex>
// (root=null for a null pointer), and returns the number in DSETUP_RESULT.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

extern "C" __declspec(dllexport) int WINAPI
    DirectXSetupA(HWND window, LPSTR rootPath, DWORD flags) {
    char name[MAX_PATH];
    if (GetEnvironmentVariableA("DSETUP_LOG", name, sizeof name) - 1u < sizeof name - 1) {
        if (FILE* log = std::fopen(name, "ab")) {
            std::fprintf(log, "window=%08lx root=",
                         static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
            if (rootPath) {
                std::fprintf(log, "[%s]", rootPath);
            } else {
                std::fputs("null", log);
            }
            std::fprintf(log, " flags=%08lx\n", static_cast<unsigned long>(flags));
            std::fclose(log);
        }
    }
    char result[32];
    if (GetEnvironmentVariableA("DSETUP_RESULT", result, sizeof result) - 1u < sizeof result - 1)
        return static_cast<int>(std::strtol(result, nullptr, 0));
    return 0;
}
