// The application shell: the process frame and the services every program
// built on it receives.
//
//   Frame        WinMain stores the instance and runs ShellMain, which records
//                the error-log settings, installs the keyboard hook, splits its
//                own copy of the command line into argument words, calls the
//                program's ProgramEntry (every exception caught), shuts the
//                display object down if one is set, removes the hook, returns.
//   Keyboard     KeyboardHookProc keeps keyStates, the modifier flags and one
//                buffered key press; two tables turn key indices into characters.
//   Error log    The path of "ERROR.LOG" in the current directory (without its
//                drive), a prefix and a mode value; recorded only, no file is
//                ever created or written.
//   Deferred     One static DeferredService: two semaphores and a request that
//   service      Flush hands to the display object under the second one.
//   Display      DisplayModeTable, 29 constant records.
//   modes
//
// All state is process-wide static data; nothing is allocated. Helpers return
// 1 for success and -1 for failure. The graphics services are in
// graphics/graphics.h, the unpacker in unpack/unpack.h.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Frame

// Supplied by the program built on the shell: the argument words and their
// count. Its result is not looked at.
std::int32_t ProgramEntry(std::uint16_t wordCount, char** words);

void ShellMain();

// The shell's diagnostic output; this build discards the text.
void DebugPrint(const char* text);

// Splits `text` in place into words: spaces and tabs separate, a double quote
// opens a word that runs to the next double quote (no escapes). Stores the
// start of each word in `words` and returns their number. `text` holds at
// most 259 characters, so at most 130 words arise.
std::uint16_t SplitArgWords(char* text, char** words);

// What ShellMain does with the full command line: copies at most 259
// characters of it into commandLineCopy (zero bytes after a shorter text; the
// 260th byte stays 0), splits the copy into argWords and sets argWordCount.
void MakeArgWords(const char* commandLine);

// Installs the keyboard hook: first for all threads with no module handle,
// and where the system refuses that (Windows NT and Wine do, error 1428), for
// the calling thread. Null when both are refused.
HHOOK InstallKeyboardHook();

constexpr std::size_t COMMAND_LINE_COPY_SIZE = 260;
constexpr std::size_t ARG_WORDS_SIZE = 260;

extern HINSTANCE shellInstance;
extern char commandLineCopy[COMMAND_LINE_COPY_SIZE];
extern std::uint16_t argWordCount;
extern char* argWords[ARG_WORDS_SIZE];

struct ServiceBlock;

// The display object of a program built on the shell. It is reached only
// through its table of virtual operations, and a program compiled elsewhere
// may supply it, so the positions of the operations are part of the
// interface: Shutdown is at 11, SubmitBlock at 16 and SubmitRequest at 17,
// counting from 0. The others exist but the shell never calls them. There is
// no virtual destructor (it would take table positions): the shell never
// frees the object, whoever sets shellDisplay owns it.
class ShellDisplay {
public:
    virtual std::int32_t Operation0() = 0;
    virtual std::int32_t Operation1() = 0;
    virtual std::int32_t Operation2() = 0;
    virtual std::int32_t Operation3() = 0;
    virtual std::int32_t Operation4() = 0;
    virtual std::int32_t Operation5() = 0;
    virtual std::int32_t Operation6() = 0;
    virtual std::int32_t Operation7() = 0;
    virtual std::int32_t Operation8() = 0;
    virtual std::int32_t Operation9() = 0;
    virtual std::int32_t Operation10() = 0;
    virtual std::int32_t Shutdown() = 0; // 11
    virtual std::int32_t Operation12() = 0;
    virtual std::int32_t Operation13() = 0;
    virtual std::int32_t Operation14() = 0;
    virtual std::int32_t Operation15() = 0;
    virtual std::int32_t SubmitBlock(ServiceBlock* block) = 0; // 16
    virtual std::int32_t SubmitRequest(ServiceBlock* block, std::uint32_t value1,
                                       std::uint32_t value2, std::uint32_t* area,
                                       std::uint32_t kind) = 0; // 17

protected:
    ~ShellDisplay() = default;
};

constexpr int SHELL_DISPLAY_SHUTDOWN_SLOT = 11;
constexpr int SHELL_DISPLAY_SUBMIT_BLOCK_SLOT = 16;
constexpr int SHELL_DISPLAY_SUBMIT_REQUEST_SLOT = 17;

// Null at start; the shell never sets it.
extern ShellDisplay* shellDisplay;

// Static data beside the display pointer; nothing in the shell reads it.
constexpr std::size_t SHELL_TITLE_SIZE = 128;
extern std::uint32_t shellDisplayWord;    // 0
extern char shellTitle[SHELL_TITLE_SIZE]; // "Tarnwick Shell"
extern std::uint32_t shellTitleWord;      // 1

// ---------------------------------------------------------------------------
// Keyboard hook and key-state table
//
// A key index is the scan code, plus 128 for an extended key, in 8-bit
// arithmetic. A held key's keyStates entry is KEY_PRESSED ORed with the
// modifier flags of the call that recorded its press. pendingKey buffers one
// press of a key below 128 (0: none); a reader takes it with pendingModifiers
// and stores 0 into pendingKey, which lets the next hook call latch lastKey
// again.

constexpr std::uint8_t KEY_PRESSED = 0x01;
constexpr std::uint8_t KMOD_SHIFT = 0x10;
constexpr std::uint8_t KMOD_CONTROL = 0x20;
constexpr std::uint8_t KMOD_ALT = 0x40;

constexpr std::uint8_t KEY_LEFT_SHIFT = 42;
constexpr std::uint8_t KEY_RIGHT_SHIFT = 54;
constexpr std::uint8_t KEY_LEFT_CONTROL = 29;
constexpr std::uint8_t KEY_RIGHT_CONTROL = 29 + 128;
constexpr std::uint8_t KEY_LEFT_ALT = 56;
constexpr std::uint8_t KEY_RIGHT_ALT = 56 + 128;

extern std::uint8_t keyStates[256];
extern std::uint8_t keyModifiers;
extern std::uint8_t extendedKey;
extern std::uint8_t lastKey;
extern std::uint8_t pendingKey;
extern std::uint8_t pendingModifiers;

// UK layout, indexed by key index 0..127; 0 where a key has no character.
extern const std::uint8_t keyCharsUnshifted[128];
extern const std::uint8_t keyCharsShifted[128];

// The keyboard hook procedure: reads only the key-message flags (scan code,
// extended bit, transition bit), always returns 0, never calls the next hook.
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------
// Error-log settings

constexpr std::size_t ERROR_LOG_PATH_SIZE = 261;       // 260 characters and the terminator
constexpr std::size_t ERROR_LOG_PREFIX_SIZE = 33;      // 32 characters and the terminator
constexpr std::uint32_t ERROR_LOG_MODE_DEFAULT = 0x35; // SetupErrorLog with a non-zero flag
constexpr std::uint32_t ERROR_LOG_MODE_OTHER = 0x36;   // SetupErrorLog with flag 0

struct ErrorLogSettings {
    char path[ERROR_LOG_PATH_SIZE];
    char prefix[ERROR_LOG_PREFIX_SIZE];
    std::uint32_t mode;
    std::int32_t valid;
    std::int32_t reserved1;
    std::int32_t reserved2;
};

extern ErrorLogSettings errorLogSettings;
extern std::int32_t errorLogReady;

std::int32_t SetupErrorLog(const char* directory, const char* fileName, std::int32_t modeFlag);
std::int32_t InitErrorLogSettings(ErrorLogSettings* record, const char* path, std::uint32_t mode);
std::int32_t SetErrorLogPrefix(ErrorLogSettings* record, const char* text);
std::int32_t BuildFilePath(std::int32_t withCurrentDirectory, const char* directory,
                           const char* fileName, char* destination, std::uint32_t destinationSize);
std::int32_t GetCurrentDirectoryNoDrive(char* destination, std::uint32_t size);

// ---------------------------------------------------------------------------
// Guarded deferred-call service

// One Win32 semaphore, created unnamed, free, with count 1 and maximum 1: a
// non-recursive lock with no owner. The handle is null if creation failed.
struct ShellSemaphore {
    HANDLE handle;

    ShellSemaphore();
    ~ShellSemaphore(); // Close()
    BOOL Close();      // CloseHandle's result; the handle field is kept

    ShellSemaphore(const ShellSemaphore&) = delete;
    ShellSemaphore& operator=(const ShellSemaphore&) = delete;
};

// A guard kept on the stack while working on guarded data. It does not wait
// when constructed; Wait takes the semaphore (infinitely, or for at most 5 ms)
// and returns the new held value; Release gives it back only if held and not
// keepHeld. A failed wait is not reported: the caller looks at the result.
struct SemaphoreLock {
    HANDLE handle;
    std::int32_t held;
    std::int32_t keepHeld;

    SemaphoreLock(const ShellSemaphore& semaphore, std::int32_t initiallyHeld);
    ~SemaphoreLock(); // Release()
    std::int32_t Wait(std::int32_t infinite);
    void Release();

    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;
};

constexpr DWORD SEMAPHORE_LOCK_SHORT_WAIT_MS = 5;

// Six words whose meaning belongs to the display object.
struct ServiceBlock {
    std::uint32_t words[6];
    ServiceBlock(); // clears the first three words, leaves the others
};

constexpr std::uint32_t DEFERRED_REQUEST_KIND = 26; // last argument of SubmitRequest

// The one static service record. Flush takes secondSemaphore and, when a
// request is pending, calls shellDisplay's SubmitRequest(&blockB,
// requestValue1, requestValue2, requestArea, 26), clears the pending flag and
// request words 1 to 4, then SubmitBlock(&blockA) and SubmitBlock(&blockB),
// all under the lock. Whoever sets requestPending guarantees shellDisplay.
struct DeferredService {
    ShellSemaphore firstSemaphore;
    std::uint32_t setupWord1;
    std::uint32_t setupWord2;
    std::uint32_t setupWords[4];
    ServiceBlock blockA;
    ServiceBlock blockB;
    std::uint8_t sharedBuffer[4096];
    std::uint32_t requestWord1;
    std::uint32_t requestWord2;
    std::uint32_t requestArea[4];
    std::uint32_t requestValue1;
    std::uint32_t requestValue2;
    std::uint32_t requestPending;
    std::uint32_t requestWord3;
    std::uint32_t requestWord4;
    ShellSemaphore secondSemaphore;

    DeferredService();
    ~DeferredService(); // Flush, then the semaphores close in reverse order
    void Flush();

    DeferredService(const DeferredService&) = delete;
    DeferredService& operator=(const DeferredService&) = delete;
};

extern DeferredService deferredService;

// ---------------------------------------------------------------------------
// Display-mode table
//
// Layout (natural alignment, as the platform's compilers lay it out): width
// at 0, height at 2, bitsPerPixel at 4, the 4 reserved bytes at 6, 2 bytes of
// alignment padding, videoModeNumber at 12, name at 16; 40 bytes a record.

struct DisplayModeRecord {
    std::uint16_t width;
    std::uint16_t height;
    std::uint16_t bitsPerPixel;
    std::uint8_t reserved[4];
    std::uint32_t videoModeNumber; // VGA BIOS (0x13) or VESA (0x100 up); 0 for none
    char name[24];                 // identifier blank-filled to 17 characters, NUL, zeros
};

constexpr std::size_t DISPLAY_MODE_COUNT = 29;
extern const DisplayModeRecord DisplayModeTable[DISPLAY_MODE_COUNT];

// Layouts that callers and the platform see.
static_assert(offsetof(ErrorLogSettings, prefix) == 261);
static_assert(offsetof(ErrorLogSettings, mode) == 296);
static_assert(offsetof(ErrorLogSettings, valid) == 300);
static_assert(offsetof(ErrorLogSettings, reserved2) == 308);
static_assert(sizeof(ErrorLogSettings) == 312);
static_assert(offsetof(DisplayModeRecord, reserved) == 6);
static_assert(offsetof(DisplayModeRecord, videoModeNumber) == 12);
static_assert(offsetof(DisplayModeRecord, name) == 16);
static_assert(sizeof(DisplayModeRecord) == 40);
static_assert(sizeof(ServiceBlock) == 24);
