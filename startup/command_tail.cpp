#include "startup/startup.h"

char* CommandTail(char* commandLine) {
    auto* p = reinterpret_cast<unsigned char*>(commandLine);
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            // A lead byte carries its trail byte, unless the text ends there.
            if (IsDBCSLeadByte(*p) && p[1] != '\0') ++p;
            ++p;
        }
        if (*p == '"') ++p;
    } else {
        while (*p > 0x20) ++p;
    }
    while (*p >= 0x01 && *p <= 0x20) ++p;
    return reinterpret_cast<char*>(p);
}

int ShowCommand(const STARTUPINFOA& startupInfo) {
    if (startupInfo.dwFlags & STARTF_USESHOWWINDOW) return startupInfo.wShowWindow;
    return SW_SHOWDEFAULT;
}
