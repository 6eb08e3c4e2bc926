// The real dxlaunch.exe under Wine, started with exact command lines, beside
// the tests' own DSETUP.dll, which logs every call of DirectXSetupA.
#include "tests/support/win_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::ScratchDir;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The one line DSETUP.dll logs for a call with no window, `root` and the
// launcher's components.
std::string SetupCall(const std::string& root) {
    return "window=00000000 root=[" + root + "] flags=00000a3f";
}

struct Launch {
    testsupport::ProcessResult process;
    std::vector<std::string> calls; // DSETUP.dll's log
    bool logged = false;
};

// Runs dxlaunch.exe from `dir` with exactly `commandLine`; `{exe}` in it
// stands for the program's full path.
Launch RunDxlaunch(const ScratchDir& dir, std::string commandLine,
                   const std::string& setupResult = "0") {
    const std::string exe = dir.File("dxlaunch.exe");
    for (size_t at; (at = commandLine.find("{exe}")) != std::string::npos;)
        commandLine.replace(at, 5, exe);
    const std::string log = dir.File("setup.log");
    DeleteFileA(log.c_str());
    Launch launch;
    launch.process = testsupport::RunProcess(exe, commandLine, dir.path(),
                                             {{"DSETUP_LOG", log}, {"DSETUP_RESULT", setupResult}});
    launch.calls = Lines(testsupport::ReadWholeFile(log, &launch.logged));
    return launch;
}

struct PathCase {
    const char* rule;
    const char* commandLine;
    const char* root;
};

const PathCase kPathCases[] = {
    {"no argument gives an empty root path, not a null pointer", "dxlaunch.exe", ""},
    {"a quoted full path and no argument", "\"{exe}\"", ""},
    {"blanks and tabs before the directory are dropped", "dxlaunch.exe  \t \tD:\\DirectX",
     "D:\\DirectX"},
    {"a quoted program path with spaces goes whole", "\"{exe}\" D:\\DirectX", "D:\\DirectX"},
    {"text right after the closing quote of the name", "\"{exe}\"D:\\DirectX x", "D:\\DirectX x"},
    {"a command line starting with a blank keeps the name", " dxlaunch.exe D:\\DirectX",
     "dxlaunch.exe D:\\DirectX"},
    {"a quoted argument keeps its quotes and trailing blanks", "dxlaunch.exe \"D:\\Dx Dir\"  ",
     "\"D:\\Dx Dir\"  "},
};

class DxlaunchUnderWine : public ::testing::Test {
protected:
    // The program in a directory whose name holds a blank, as under
    // "Program Files".
    void SetUp() override {
        ASSERT_TRUE(dir_.Put(testsupport::BuildFile("DXLAUNCH_EXE"), "dxlaunch.exe"));
    }
    ScratchDir dir_{"dx launch"};
};

TEST_F(DxlaunchUnderWine, PassesTheCommandTailAsTheRootPath) {
    ASSERT_TRUE(dir_.Put(testsupport::BuildFile("DSETUP_DLL"), "DSETUP.dll"));
    for (const PathCase& c : kPathCases) {
        SCOPED_TRACE(c.rule);
        const Launch launch = RunDxlaunch(dir_, c.commandLine);
        ASSERT_TRUE(launch.process.started)
            << "CreateProcessA error " << launch.process.createError;
        EXPECT_EQ(launch.process.exitCode, 0u);
        ASSERT_TRUE(launch.logged) << "DirectXSetupA was not called";
        // Exactly one call, with no window and the launcher's components.
        EXPECT_EQ(launch.calls, std::vector<std::string>{SetupCall(c.root)});
    }
}

TEST_F(DxlaunchUnderWine, ExitsWithZeroWhateverTheSetupReports) {
    ASSERT_TRUE(dir_.Put(testsupport::BuildFile("DSETUP_DLL"), "DSETUP.dll"));
    const char* results[] = {"0", "1", "-1", "-2147467259" /* 0x80004005 */, "-9"};
    for (const char* result : results) {
        SCOPED_TRACE(std::string("setup result ") + result);
        const Launch launch = RunDxlaunch(dir_, "dxlaunch.exe D:\\DirectX", result);
        ASSERT_TRUE(launch.process.started);
        EXPECT_EQ(launch.process.exitCode, 0u);
        EXPECT_EQ(launch.calls, std::vector<std::string>{SetupCall("D:\\DirectX")});
    }
}

TEST_F(DxlaunchUnderWine, DoesNotStartWithoutDirectSetup) {
    const Launch launch = RunDxlaunch(dir_, "dxlaunch.exe D:\\DirectX");
    // The loader refuses the program before any of its code runs: whether
    // CreateProcessA already fails or the process ends at once, it does not
    // end with the program's own 0, and the setup is never reached.
    if (launch.process.started) {
        EXPECT_NE(launch.process.exitCode, 0u);
    }
    EXPECT_FALSE(launch.logged);
    EXPECT_EQ(dir_.Files(), std::vector<std::string>{"dxlaunch.exe"});
}

} // namespace
