// The shell's state as a fresh process has it, and the error-log set-up's
// first calls. Kept apart from the other shell tests so that nothing has run
// before: this program's only test calls SetupErrorLog for the first time in
// the process.
#include "shell/shell.h"
#include "tests/shell/test_directories.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool AllZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

TEST(ShellAtProcessStart, StateIsZeroAndTheFirstSuccessfulSetupIsTheOnlyOne) {
    // Key state.
    EXPECT_TRUE(AllZero(keyStates, sizeof keyStates));
    EXPECT_EQ(keyModifiers, 0);
    EXPECT_EQ(extendedKey, 0);
    EXPECT_EQ(lastKey, 0);
    EXPECT_EQ(pendingKey, 0);
    EXPECT_EQ(pendingModifiers, 0);

    // Error-log settings.
    ASSERT_EQ(errorLogReady, 0);
    ASSERT_TRUE(AllZero(&errorLogSettings, sizeof errorLogSettings));
    EXPECT_EQ(SetErrorLogPrefix(&errorLogSettings, "Error: "), -1) << "record never set";

    TestDirectories directories;
    directories.Enter("GAMES");

    // A first call that fails changes nothing and leaves the way open.
    const std::string tooLong(300, 'x');
    EXPECT_EQ(SetupErrorLog(tooLong.c_str(), nullptr, 1), -1);
    EXPECT_EQ(errorLogReady, 0);
    EXPECT_TRUE(AllZero(&errorLogSettings, sizeof errorLogSettings));

    // The shell main's own call, in the root of the drive.
    directories.EnterDriveRoot();
    ASSERT_EQ(SetupErrorLog(nullptr, nullptr, 1), 1);
    EXPECT_EQ(errorLogReady, 1);
    EXPECT_STREQ(errorLogSettings.path, "\\ERROR.LOG");
    EXPECT_STREQ(errorLogSettings.prefix, "Error: ");
    EXPECT_EQ(errorLogSettings.mode, 0x35u);
    EXPECT_EQ(errorLogSettings.valid, 1);

    // Every later call is refused, whatever it asks, and nothing moves.
    ErrorLogSettings after;
    std::memcpy(&after, &errorLogSettings, sizeof after);
    directories.Enter("GAMES");
    EXPECT_EQ(SetupErrorLog(nullptr, nullptr, 1), -1);
    EXPECT_EQ(SetupErrorLog("LOGS", "OTHER.TXT", 0), -1);
    EXPECT_EQ(std::memcmp(&after, &errorLogSettings, sizeof after), 0);
    EXPECT_EQ(errorLogReady, 1);

    EXPECT_TRUE(directories.LogFileAbsent("ERROR.LOG"));
}

} // namespace
