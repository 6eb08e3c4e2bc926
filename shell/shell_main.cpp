// The process frame: WinMain, ShellMain, the argument words and the static
// data beside the display pointer.
#include "shell/shell.h"

#include <cstring>

HINSTANCE shellInstance;
char commandLineCopy[COMMAND_LINE_COPY_SIZE];
std::uint16_t argWordCount;
char* argWords[ARG_WORDS_SIZE];

ShellDisplay* shellDisplay;
std::uint32_t shellDisplayWord = 0;
char shellTitle[SHELL_TITLE_SIZE] = "Tarnwick Shell";
std::uint32_t shellTitleWord = 1;

// The one deferred-service record lives here, beside WinMain, and not in the
// service's own source: a member of a static library that nothing refers to
// is never linked, and its static initialiser would then never run. Every
// program that has the shell's WinMain thereby has the service too.
DeferredService deferredService;

namespace {

constexpr std::size_t COMMAND_LINE_COPY_LIMIT = COMMAND_LINE_COPY_SIZE - 1; // 259

constexpr char HOOK_FAILURE_TEXT[] = "WinMain() ... could not set up the Keyboard hook.\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

void DebugPrint(const char*) {}

std::uint16_t SplitArgWords(char* text, char** words) {
    std::uint16_t count = 0;
    char* p = text;
    while (*p != '\0') {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') break;
        const bool quoted = *p == '"';
        if (quoted) ++p;
        words[count++] = p;
        // A quoted word runs to the next double quote, an unquoted one to the
        // next blank; either may run to the end of the text.
        while (*p != '\0' && (quoted ? *p != '"' : !IsBlank(*p))) ++p;
        if (*p == '\0') break;
        *p++ = '\0';
    }
    return count;
}

void MakeArgWords(const char* commandLine) {
    // Zero-fills up to the 259th byte; the 260th is never written and stays 0.
    std::strncpy(commandLineCopy, commandLine, COMMAND_LINE_COPY_LIMIT);
    argWordCount = SplitArgWords(commandLineCopy, argWords);
}

HHOOK InstallKeyboardHook() {
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD, KeyboardHookProc, nullptr, 0);
    if (hook == nullptr) {
        // A hook for all threads needs a module handle on NT-family systems;
        // one for this thread does not.
        hook = SetWindowsHookExA(WH_KEYBOARD, KeyboardHookProc, nullptr, GetCurrentThreadId());
    }
    return hook;
}

void ShellMain() {
    SetupErrorLog(nullptr, nullptr, 1);

    HHOOK hook = InstallKeyboardHook();
    if (hook == nullptr) {
        DebugPrint(HOOK_FAILURE_TEXT);
        return;
    }

    MakeArgWords(GetCommandLineA());

    try {
        ProgramEntry(argWordCount, argWords);
    } catch (...) {
        // Dropped: the frame ends as after a normal return.
    }

    if (shellDisplay != nullptr) shellDisplay->Shutdown();
    UnhookWindowsHookEx(hook);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    shellInstance = instance;
    ShellMain();
    return 0;
}
