#include "startup/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#ifndef _WIN32
#include "hostwin/hostwin.h"
#endif

namespace {

enum class CodePage { Any, SingleByte, Dbcs };

// Selects the code page a case needs. On the host the layer is steered to
// behave as code page 1252 or 932; under Wine the code page is the one the
// process runs in, and a case for the other one is skipped (CTest runs the
// program in both).
bool UseCodePage(CodePage page) {
#ifdef _WIN32
    const bool dbcs = GetACP() == 932;
    return page == CodePage::Any || (page == CodePage::Dbcs) == dbcs;
#else
    hostwin::Reset();
    if (page == CodePage::Dbcs) {
        for (int b = 0x81; b <= 0x9F; ++b) hostwin::world().leadBytes.insert(BYTE(b));
        for (int b = 0xE0; b <= 0xFC; ++b) hostwin::world().leadBytes.insert(BYTE(b));
    }
    return true;
#endif
}

struct TailCase {
    const char* rule;
    CodePage page;
    std::string commandLine;
    std::string tail;
};

const TailCase kTailCases[] = {
    {"only the program name gives an empty tail", CodePage::Any, "dxlaunch.exe", ""},
    {"an empty command line gives an empty tail", CodePage::Any, "", ""},
    {"blanks and tabs before the argument are dropped", CodePage::Any,
     "dxlaunch.exe \t  \tD:\\DirectX", "D:\\DirectX"},
    {"a quoted program path with spaces goes whole", CodePage::Any,
     "\"C:\\Program Files\\Game\\dxlaunch.exe\" D:\\DirectX", "D:\\DirectX"},
    {"text right after the closing quote is the tail", CodePage::Any, "\"a b\"d e", "d e"},
    {"two quotes in a row are an empty name", CodePage::Any, "\"\"rest of it", "rest of it"},
    {"two quotes then blanks", CodePage::Any, "\"\"  x", "x"},
    {"an unclosed quoted name runs to the end", CodePage::Any, "\"C:\\Game Dir\\x.exe a", ""},
    {"a lone quote is an empty unclosed name", CodePage::Any, "\"", ""},
    {"a leading blank keeps the program name in the tail", CodePage::Any, " dxlaunch.exe D:\\Dx",
     "dxlaunch.exe D:\\Dx"},
    {"leading tabs likewise", CodePage::Any, "\t\tdxlaunch.exe", "dxlaunch.exe"},
    {"a quoted argument keeps its quotes and trailing blanks", CodePage::Any,
     "dxlaunch.exe \"D:\\Dx Dir\"  ", "\"D:\\Dx Dir\"  "},
    {"inner blanks of the tail stay", CodePage::Any, "x.exe a  b\tc", "a  b\tc"},
    {"control bytes 0x01..0x1F after the name are skipped", CodePage::Any,
     "x.exe\x01\x02\x1f\x20\x09y", "y"},
    {"a control byte ends an unquoted name", CodePage::Any, "x.exe\x07y", "y"},
    {"bytes from 0x80 up are name bytes", CodePage::Any, "pr\xE9g\xFF.exe arg", "arg"},
    {"0x7F is a name byte", CodePage::Any, "x\x7F.exe arg", "arg"},
    {"a quote inside an unquoted name is a name byte", CodePage::Any, "ab\"c d", "d"},
    {"lead byte then quote byte: the quote is a trail byte, not the end", CodePage::Dbcs,
     "\"\x81\"x y\" z", "z"},
    {"without double-byte characters that quote ends the name", CodePage::SingleByte,
     "\"\x81\"x y\" z", "x y\" z"},
    {"a lead byte before the terminator ends the scan there", CodePage::Dbcs, "\"ab\x81", ""},
    {"a lead byte as the only name byte", CodePage::Dbcs, "\"\x81", ""},
    {"trail bytes of an unquoted name need no special care", CodePage::Dbcs,
     "\x83\x41\x83\x42.exe arg", "arg"},
};

TEST(CommandTail, FollowsTheStartupRules) {
    for (const TailCase& c : kTailCases) {
        SCOPED_TRACE(c.rule);
        if (!UseCodePage(c.page)) continue;
        // An exactly sized copy: a read past the terminator is caught by the
        // sanitizer on the host.
        const size_t size = c.commandLine.size() + 1;
        std::unique_ptr<char[]> line(new char[size]);
        std::memcpy(line.get(), c.commandLine.c_str(), size);
        char* tail = CommandTail(line.get());
        ASSERT_GE(tail, line.get());
        ASSERT_LT(tail, line.get() + size);
        EXPECT_EQ(std::string(tail), c.tail);
        EXPECT_EQ(tail + std::strlen(tail), line.get() + size - 1) << "the tail ends the line";
    }
}

TEST(CommandTail, RunsInTheCodePageItWasStartedFor) {
#ifdef _WIN32
    // Guards the skipping above: CTest names the code page each run is for,
    // so that neither run silently skips the other's cases only.
    const char* expected = std::getenv("EXPECT_ACP");
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    EXPECT_EQ(IsDBCSLeadByte(0x81) != 0, GetACP() == 932);
#else
    EXPECT_TRUE(UseCodePage(CodePage::Dbcs));
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
    EXPECT_TRUE(UseCodePage(CodePage::SingleByte));
    EXPECT_FALSE(IsDBCSLeadByte(0x81));
#endif
}

struct ShowCase {
    const char* rule;
    DWORD flags;
    WORD showWindow;
    int expected;
};

const ShowCase kShowCases[] = {
    {"no flags: the default", 0, SW_SHOWMINNOACTIVE, SW_SHOWDEFAULT},
    {"the flag takes wShowWindow", STARTF_USESHOWWINDOW, SW_SHOWMINNOACTIVE, SW_SHOWMINNOACTIVE},
    {"wShowWindow 0 is taken as it is", STARTF_USESHOWWINDOW, SW_HIDE, SW_HIDE},
    {"wShowWindow is widened without sign", STARTF_USESHOWWINDOW, 0xFFFF, 0xFFFF},
    {"other flags do not count", 0x00000100 | 0x00000002, SW_SHOWNORMAL, SW_SHOWDEFAULT},
};

TEST(ShowCommand, TakesWShowWindowOnlyWithItsFlag) {
    for (const ShowCase& c : kShowCases) {
        SCOPED_TRACE(c.rule);
        STARTUPINFOA info{};
        info.cb = sizeof info;
        info.dwFlags = c.flags;
        info.wShowWindow = c.showWindow;
        EXPECT_EQ(ShowCommand(info), c.expected);
    }
}

} // namespace

#ifndef _WIN32
// The program's WinMain as the start-up sees it: records what it was given.
namespace {
struct WinMainArgs {
    int calls = 0;
    HINSTANCE instance = nullptr, previous = nullptr;
    std::string tail;
    int show = -1;
} seen;
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show) {
    ++seen.calls;
    seen = {seen.calls, instance, previous, tail, show};
    return 1234;
}

TEST(RunWinMain, HandsTheStartupValuesToWinMain) {
    hostwin::Reset();
    hostwin::world().commandLine = "\"C:\\Game Dir\\prog.exe\"  -x \"y z\"";
    hostwin::world().startupInfo.dwFlags = STARTF_USESHOWWINDOW;
    hostwin::world().startupInfo.wShowWindow = SW_SHOWMINNOACTIVE;
    seen = {};
    EXPECT_EQ(RunWinMain(), 1234) << "WinMain's result is the process's";
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.instance, hostwin::world().moduleHandle);
    EXPECT_EQ(seen.previous, nullptr);
    EXPECT_EQ(seen.tail, "-x \"y z\"");
    EXPECT_EQ(seen.show, SW_SHOWMINNOACTIVE);
    // The module handle is that of the executable: asked for with no name.
    bool askedForOwnModule = false;
    for (const hostwin::Call& call : hostwin::world().calls)
        if (call.function == "GetModuleHandleA") askedForOwnModule = call.args.at(0) == 0;
    EXPECT_TRUE(askedForOwnModule);
}
#endif
