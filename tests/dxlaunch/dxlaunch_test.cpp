// dxlaunch's WinMain with the start-up, against the host layer (Wine runs the
// same program against the real DirectSetup entry of the tests' DSETUP.dll in
// dxlaunch_e2e_test).
#include "dxlaunch/dxlaunch.h"
#include "startup/startup.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "hostwin/hostwin.h"

namespace {

std::vector<hostwin::Call> SetupCalls() {
    std::vector<hostwin::Call> calls;
    for (const hostwin::Call& call : hostwin::world().calls)
        if (call.function == "DirectXSetupA") calls.push_back(call);
    return calls;
}

struct LaunchCase {
    const char* rule;
    const char* commandLine;
    const char* rootPath;
    int setupResult;
};

const LaunchCase kLaunchCases[] = {
    {"no argument: an empty root path", "dxlaunch.exe", "", 0},
    {"blanks before the directory are dropped", "dxlaunch.exe  \t D:\\DirectX", "D:\\DirectX", 0},
    {"a quoted program path goes whole", "\"C:\\Game Dir\\dxlaunch.exe\" D:\\Dx", "D:\\Dx", 0},
    {"a leading blank keeps the name", " dxlaunch.exe D:\\Dx", "dxlaunch.exe D:\\Dx", 0},
    {"quotes and trailing blanks stay", "dxlaunch.exe \"D:\\Dx Dir\" ", "\"D:\\Dx Dir\" ", 0},
    {"a failed setup still exits with 0", "dxlaunch.exe D:\\Dx", "D:\\Dx", -1},
    {"an error code from the setup still exits with 0", "dxlaunch.exe D:\\Dx", "D:\\Dx",
     static_cast<int>(0x80004005u)},
};

TEST(Dxlaunch, CallsTheSetupOnceWithTheTailAndExitsWithZero) {
    for (const LaunchCase& c : kLaunchCases) {
        SCOPED_TRACE(c.rule);
        hostwin::Reset();
        hostwin::world().commandLine = c.commandLine;
        hostwin::world().directXSetupResult = c.setupResult;
        EXPECT_EQ(RunWinMain(), 0);
        const std::vector<hostwin::Call> calls = SetupCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].args.at(0), 0u) << "no owner window";
        EXPECT_NE(calls[0].args.at(1), 0u) << "the root path is never a null pointer";
        EXPECT_EQ(calls[0].text, c.rootPath);
        EXPECT_EQ(calls[0].args.at(2), 0xA3Fu);
    }
}

} // namespace
#endif

TEST(Dxlaunch, ComponentsAreTheEightNamedOnes) {
    // DirectDraw, DirectSound, DirectPlay, their drivers and service
    // providers, Direct3D, DirectInput; none of the behaviour bits (user
    // interface 0x10000, test install 0x20000, driver prompts 0x1000000 and
    // up) that would change how the setup runs.
    EXPECT_EQ(DXLAUNCH_COMPONENTS, 0x1u + 0x2u + 0x4u + 0x8u + 0x10u + 0x20u + 0x200u + 0x800u);
    EXPECT_EQ(DXLAUNCH_COMPONENTS & 0xFFFF0000u, 0u);
}
