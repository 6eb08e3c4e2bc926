// Process start-up of the programs of this system.
//
// The runtime's start-up is ours, not mingw-w64's, because the command tail a
// program receives must follow this contract exactly:
//   - a program name in double quotes ends at the next double quote (which is
//     skipped too) or at the end of the text; a lead byte of a double-byte
//     character takes its trail byte along, so a quote byte inside such a
//     character does not end the name; two quotes in a row are an empty name;
//   - an unquoted name ends at the first byte of 0x20 or less (bytes from 0x80
//     up are name bytes);
//   - then every byte from 0x01 to 0x20 is skipped; what remains, possibly
//     empty, is the tail. The scan never reads past the terminator.
// The show command is the start-up information's wShowWindow when its flags
// carry STARTF_USESHOWWINDOW, else SW_SHOWDEFAULT (10). The instance is the
// module handle of the executable.
//
// On Win32 startup_main.cpp supplies the process's `main`; the runtime runs
// the static initialisers before it and the atexit list after it, and
// WinMain's result becomes the exit code.
#pragma once

#include <windows.h>

// The command tail inside `commandLine` (a pointer into the same text, never null).
char* CommandTail(char* commandLine);

// The show command that start-up hands to WinMain.
int ShowCommand(const STARTUPINFOA& startupInfo);

// Gathers the instance, command tail and show command from the platform and
// runs the program's WinMain with them; returns WinMain's result.
int RunWinMain();
