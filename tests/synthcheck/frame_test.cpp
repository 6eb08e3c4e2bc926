// The shell's frame: argument words, the keyboard-hook request and its
// fallback, the order of ShellMain's work, exceptions from the entry, and the
// static data. Runs on the host layer and under Wine; the rows that steer the
// platform (hook policy, command line, call log) are host-only.
#include "shell/shell.h"
#include "tests/synthcheck/recording_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef _WIN32
#include "hostwin/hostwin.h"
#endif

namespace {

enum class Throw { Nothing, StdException, Int };

// What the program's entry saw, and what it is to do.
struct EntryLog {
    int calls = 0;
    std::uint16_t count = 0;
    char** words = nullptr;
    std::vector<std::string> texts;
    std::size_t platformCallsBefore = 0; // host: length of the call log at entry
    int hooksInPlace = 0;                // host: hooks in place at entry
    Throw toThrow = Throw::Nothing;
};
EntryLog entry;

} // namespace

std::int32_t ProgramEntry(std::uint16_t count, char** words) {
    ++entry.calls;
    entry.count = count;
    entry.words = words;
    entry.texts.assign(words, words + count);
#ifndef _WIN32
    entry.platformCallsBefore = hostwin::world().calls.size();
    entry.hooksInPlace = hostwin::world().hooksInPlace;
#endif
    switch (entry.toThrow) {
    case Throw::Nothing: break;
    case Throw::StdException: throw std::runtime_error("from the entry");
    case Throw::Int: throw 42;
    }
    return 7;
}

namespace {

using Words = std::vector<std::string>;

struct SplitRow {
    const char* rule;
    std::string commandLine;
    Words expected;
};

std::string Repeat(const std::string& piece, int times, const std::string& separator = "") {
    std::string s;
    for (int i = 0; i < times; ++i) s += (i ? separator : "") + piece;
    return s;
}

std::vector<SplitRow> SplitRows() {
    Words letters130(130, "a");
    return {
        {"program name alone", "prog.exe", {"prog.exe"}},
        {"quoted name with a blank; runs of blanks; quoted word",
         "\"D:\\Game Dir\\prog.exe\" -x  \"y z\"",
         {"D:\\Game Dir\\prog.exe", "-x", "y z"}},
        {"a word starts right after a closing quote", "\"abc\"def", {"abc", "def"}},
        {"a quote inside an unquoted word is a character", "ab\"de", {"ab\"de"}},
        {"two quotes make an empty word", "x \"\" y", {"x", "", "y"}},
        {"a lone quote at the end is an empty word", "x \"", {"x", ""}},
        {"an unclosed quote runs to the end", "\"a b", {"a b"}},
        {"blanks and tabs before, between and after", " \t a\t\tb  \t", {"a", "b"}},
        {"blanks only give no word", "  \t  ", {}},
        {"empty command line gives no word", "", {}},
        {"other control characters belong to words",
         "a\x01"
         "b\nc d",
         {"a\x01"
          "b\nc",
          "d"}},
        {"backslashes do not escape quotes", "a\\\"b \"c\\\" d", {"a\\\"b", "c\\", "d"}},
        {"130 one-letter words fill 259 characters", Repeat("a", 130, " "), letters130},
        {"259 quotes give 130 empty words", std::string(259, '"'), Words(130, "")},
        {"a longer line is cut after 259 characters",
         std::string(300, 'x'),
         {std::string(259, 'x')}},
        {"the last word may be cut short",
         std::string(255, 'p') + " abcdef",
         {std::string(255, 'p'), "abc"}},
        {"a quote beyond the limit is not seen",
         std::string(258, 'q') + " \"z\"",
         {std::string(258, 'q')}},
    };
}

TEST(ArgWords, SplitsTheCopyInPlace) {
    for (const SplitRow& row : SplitRows()) {
        SCOPED_TRACE(row.rule);
        // Leftovers of a longer line must not survive a shorter one.
        std::memset(commandLineCopy, 'Z', COMMAND_LINE_COPY_SIZE - 1);
        MakeArgWords(row.commandLine.c_str());

        ASSERT_EQ(argWordCount, row.expected.size());
        for (std::size_t i = 0; i < row.expected.size(); ++i) {
            SCOPED_TRACE("word " + std::to_string(i));
            EXPECT_GE(argWords[i], commandLineCopy);
            EXPECT_LT(argWords[i], commandLineCopy + COMMAND_LINE_COPY_SIZE);
            EXPECT_EQ(std::string(argWords[i]), row.expected[i]);
        }
        const std::size_t copied = std::min<std::size_t>(row.commandLine.size(), 259);
        for (std::size_t i = copied; i < COMMAND_LINE_COPY_SIZE; ++i)
            ASSERT_EQ(commandLineCopy[i], '\0') << "byte " << i;
    }
}

TEST(ArgWords, SplitterWorksOnAnyBufferAndReturnsTheCount) {
    char text[] = "one \"two three\" four";
    char* words[8] = {};
    ASSERT_EQ(SplitArgWords(text, words), 3);
    EXPECT_EQ(words[0], text);
    EXPECT_EQ(words[1], text + 5);
    EXPECT_STREQ(words[2], "four");
    EXPECT_EQ(words[3], nullptr) << "entries past the count are not written";
}

TEST(ShellData, InitialValues) {
    EXPECT_EQ(shellDisplay, nullptr);
    EXPECT_EQ(shellDisplayWord, 0u);
    EXPECT_EQ(shellTitleWord, 1u);
    EXPECT_STREQ(shellTitle, "Tarnwick Shell");
    for (std::size_t i = std::strlen("Tarnwick Shell"); i < SHELL_TITLE_SIZE; ++i)
        ASSERT_EQ(shellTitle[i], '\0') << "byte " << i;
}

TEST(ShellMain, EntryExceptionsAreDroppedAndTheFrameEnds) {
    const struct {
        const char* rule;
        Throw toThrow;
    } rows[] = {
        {"normal return", Throw::Nothing},
        {"a standard exception", Throw::StdException},
        {"a thrown int", Throw::Int},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
#ifndef _WIN32
        hostwin::Reset();
        hostwin::world().commandLine = "prog.exe";
#endif
        entry = EntryLog{};
        entry.toThrow = row.toThrow;
        shelltest::RecordingDisplay display;
        shelltest::ScopedDisplay scoped(&display);

        EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);

        EXPECT_EQ(entry.calls, 1);
        ASSERT_EQ(display.calls.size(), 1u);
        EXPECT_EQ(display.calls[0].operation, "Shutdown");
#ifndef _WIN32
        EXPECT_EQ(hostwin::world().hooksInPlace, 0) << "the hook is removed";
        EXPECT_EQ(hostwin::CallNames().back(), "UnhookWindowsHookEx");
#endif
    }
}

#ifdef _WIN32

// The real platform: NT-family systems and Wine refuse a hook for all
// threads without a module handle, and grant one for the calling thread.
TEST(KeyboardHook, ThePlatformGrantsTheThreadHook) {
    SetLastError(0xdeadbeef);
    HHOOK forAll = SetWindowsHookExA(WH_KEYBOARD, KeyboardHookProc, nullptr, 0);
    if (forAll != nullptr) {
        UnhookWindowsHookEx(forAll);
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HOOK_NEEDS_HMOD));
    }
    HHOOK hook = InstallKeyboardHook();
    ASSERT_NE(hook, nullptr) << "error " << GetLastError();
    EXPECT_TRUE(UnhookWindowsHookEx(hook));
}

TEST(ShellMain, RunsTheEntryWithThisProcessesCommandLine) {
    entry = EntryLog{};
    HINSTANCE instance = GetModuleHandleA(nullptr);
    EXPECT_EQ(WinMain(instance, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
    EXPECT_EQ(shellInstance, instance);
    ASSERT_EQ(entry.calls, 1) << "the hook was not installed";
    EXPECT_EQ(entry.words, argWords);
    ASSERT_GE(entry.count, 1);
    EXPECT_NE(entry.texts[0].find("shell_frame_test"), std::string::npos) << entry.texts[0];
}

#else

struct HookRow {
    const char* rule;
    hostwin::HookPolicy policy;
    std::vector<DWORD> requestedThreads; // thread identifier of each request, in order
    bool installed;
};

TEST(ShellMain, HookRequestThenThreadFallbackThenFailurePath) {
    constexpr DWORD THREAD = 0x2A;
    const HookRow rows[] = {
        {"granted for all threads: one request", hostwin::HookPolicy::GrantAll, {0}, true},
        {"refused for all threads (NT, Wine): the calling thread's hook",
         hostwin::HookPolicy::ThreadOnly,
         {0, THREAD},
         true},
        {"both refused: failure path, entry never runs",
         hostwin::HookPolicy::RefuseAll,
         {0, THREAD},
         false},
    };
    for (const HookRow& row : rows) {
        SCOPED_TRACE(row.rule);
        hostwin::Reset();
        hostwin::World& w = hostwin::world();
        w.hookPolicy = row.policy;
        w.threadId = THREAD;
        w.commandLine = "prog.exe  a \"b c\"";
        entry = EntryLog{};
        errorLogSettings = ErrorLogSettings{};
        errorLogReady = 0; // the settings are made once per process
        shelltest::RecordingDisplay display;
        shelltest::ScopedDisplay scoped(&display);
        auto* const instance = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x1234});

        EXPECT_EQ(WinMain(instance, nullptr, const_cast<char*>("a \"b c\""), SW_SHOWNORMAL), 0);

        EXPECT_EQ(shellInstance, instance);
        EXPECT_EQ(errorLogSettings.mode, ERROR_LOG_MODE_DEFAULT)
            << "the error-log settings are made first, whatever follows";
        std::vector<DWORD> threads;
        HHOOK granted = nullptr;
        for (const hostwin::Call& call : w.calls) {
            if (call.function != "SetWindowsHookExA") continue;
            EXPECT_EQ(call.args[0], std::uintptr_t{WH_KEYBOARD});
            EXPECT_EQ(call.args[1], reinterpret_cast<std::uintptr_t>(&KeyboardHookProc));
            EXPECT_EQ(call.args[2], 0u) << "no module handle";
            threads.push_back(static_cast<DWORD>(call.args[3]));
            if (call.result) granted = reinterpret_cast<HHOOK>(call.result);
        }
        EXPECT_EQ(threads, row.requestedThreads);

        const std::vector<std::string> names = hostwin::CallNames();
        const auto count = [&](const char* name) {
            return std::count(names.begin(), names.end(), name);
        };
        if (row.installed) {
            ASSERT_EQ(entry.calls, 1);
            EXPECT_EQ(entry.texts, (Words{"prog.exe", "a", "b c"}));
            EXPECT_EQ(entry.hooksInPlace, 1) << "the hook is in place while the entry runs";
            EXPECT_EQ(count("GetCommandLineA"), 1);
            ASSERT_EQ(display.calls.size(), 1u);
            EXPECT_EQ(display.calls[0].operation, "Shutdown");
            ASSERT_EQ(w.calls.back().function, "UnhookWindowsHookEx");
            EXPECT_EQ(w.calls.back().args[0], reinterpret_cast<std::uintptr_t>(granted));
            EXPECT_EQ(w.hooksInPlace, 0);
        } else {
            EXPECT_EQ(entry.calls, 0);
            EXPECT_EQ(count("GetCommandLineA"), 0) << "no argument words are made";
            EXPECT_EQ(count("UnhookWindowsHookEx"), 0) << "nothing to unhook";
            EXPECT_TRUE(display.calls.empty()) << "no shutdown";
        }
    }
}

TEST(ShellMain, WorksInTheDocumentedOrder) {
    hostwin::Reset();
    errorLogReady = 0;
    entry = EntryLog{};
    std::size_t shutdownAt = 0;
    struct Display final : shelltest::RecordingDisplay {
        std::size_t* at;
        explicit Display(std::size_t* a) : at(a) {}
        std::int32_t Shutdown() override {
            *at = hostwin::world().calls.size();
            return RecordingDisplay::Shutdown();
        }
    } display(&shutdownAt);
    shelltest::ScopedDisplay scoped(&display);

    WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);

    const std::vector<std::string> names = hostwin::CallNames();
    const auto first = [&](const char* name) {
        return std::find(names.begin(), names.end(), name) - names.begin();
    };
    const auto hook = first("SetWindowsHookExA");
    EXPECT_LT(first("GetCurrentDirectoryA"), hook) << "error log before the hook";
    EXPECT_LT(hook, first("GetCommandLineA"));
    EXPECT_LT(first("GetCommandLineA"), static_cast<std::ptrdiff_t>(entry.platformCallsBefore));
    EXPECT_LE(entry.platformCallsBefore, shutdownAt) << "entry before shutdown";
    EXPECT_EQ(first("UnhookWindowsHookEx"), static_cast<std::ptrdiff_t>(shutdownAt))
        << "shutdown, then the hook is removed";
    EXPECT_EQ(names.back(), "UnhookWindowsHookEx");
}

#endif

} // namespace
