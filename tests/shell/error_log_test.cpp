#include "shell/shell.h"
#include "tests/shell/test_directories.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#ifndef _WIN32
#include "hostwin/hostwin.h"
#endif

namespace {

// Where a case runs: the root of a drive, a few levels below the tests' base
// directory, or a directory whose path without the drive has an exact length.
enum class Where { DriveRoot, Games, GamesTest, OfLength };

struct Place {
    Where where;
    std::size_t length = 0; // for OfLength
};

constexpr Place kRoot{Where::DriveRoot};
constexpr Place kGames{Where::Games};
constexpr Place kGamesTest{Where::GamesTest};
constexpr Place OfLength(std::size_t length) {
    return {Where::OfLength, length};
}

// Makes the place current; returns its path without the drive.
std::string EnterPlace(TestDirectories& directories, Place place) {
    switch (place.where) {
    case Where::DriveRoot: return directories.EnterDriveRoot();
    case Where::Games: return directories.Enter("GAMES");
    case Where::GamesTest: return directories.Enter("GAMES\\TEST");
    case Where::OfLength: return directories.EnterOfLength(place.length);
    }
    return {};
}

// Fills a record with a pattern, so that clearing and "not touched" show.
ErrorLogSettings Patterned() {
    ErrorLogSettings record;
    std::memset(&record, 0x5A, sizeof record);
    return record;
}

bool SameBytes(const ErrorLogSettings& a, const ErrorLogSettings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A valid record as InitErrorLogSettings leaves it: the path, every later
// byte zero, the mode, valid 1, reserved words 0; the prefix as given.
void ExpectRecord(const ErrorLogSettings& record, const std::string& path, std::uint32_t mode,
                  const std::string& prefix) {
    ASSERT_LT(path.size(), sizeof record.path);
    EXPECT_EQ(std::string(record.path), path);
    for (std::size_t i = path.size(); i < sizeof record.path; ++i) {
        ASSERT_EQ(record.path[i], 0) << "path byte " << i;
    }
    EXPECT_EQ(std::string(record.prefix), prefix);
    for (std::size_t i = prefix.size(); i < sizeof record.prefix; ++i) {
        ASSERT_EQ(record.prefix[i], 0) << "prefix byte " << i;
    }
    EXPECT_EQ(record.mode, mode);
    EXPECT_EQ(record.valid, 1);
    EXPECT_EQ(record.reserved1, 0);
    EXPECT_EQ(record.reserved2, 0);
}

void ExpectCleared(const ErrorLogSettings& record) {
    const ErrorLogSettings zero{};
    EXPECT_TRUE(SameBytes(record, zero)) << "record not cleared";
}

class ErrorLog : public ::testing::Test {
protected:
    // errorLogReady is never cleared by the shell; each case here starts as a
    // fresh process would. The first call of a real process is checked by
    // the start-up test program.
    void SetUp() override { ResetSettings(); }
    void TearDown() override {
        EXPECT_TRUE(directories.LogFileAbsent("ERROR.LOG"));
        ResetSettings();
    }
    static void ResetSettings() {
        errorLogReady = 0;
        errorLogSettings = ErrorLogSettings{};
    }

    TestDirectories directories;
};

// ---------------------------------------------------------------------------
// SetupErrorLog

struct SetupCase {
    const char* rule;
    Place place;
    const char* directory;
    const char* fileName;
    std::int32_t modeFlag;
    std::int32_t result;
    const char* pathAfterPlace; // the path is the place's, then this
    std::uint32_t mode;
};

const std::string kTooLongDirectory(300, 'x');

// clang-format off
const SetupCase kSetupCases[] = {
    {"the drive root gives \\ERROR.LOG", kRoot, nullptr, nullptr, 1, 1, "\\ERROR.LOG", 0x35},
    {"a directory some levels deep keeps its path without the drive",
     kGamesTest, nullptr, nullptr, 1, 1, "\\ERROR.LOG", 0x35},
    {"a directory argument is joined with one backslash",
     kGames, "LOGS", nullptr, 1, 1, "\\LOGS\\ERROR.LOG", 0x35},
    {"a directory argument ending in a backslash gets no second one",
     kGames, "LOGS\\", nullptr, 1, 1, "\\LOGS\\ERROR.LOG", 0x35},
    {"a directory argument at the root", kRoot, "LOGS", nullptr, 1, 1, "\\LOGS\\ERROR.LOG", 0x35},
    {"an empty directory argument adds nothing, not even a backslash",
     kGames, "", nullptr, 1, 1, "\\ERROR.LOG", 0x35},
    {"a file name of the caller's replaces ERROR.LOG", kGames, nullptr, "OTHER.TXT", 1, 1,
     "\\OTHER.TXT", 0x35},
    {"mode flag 0 selects 0x36", kGames, nullptr, nullptr, 0, 1, "\\ERROR.LOG", 0x36},
    {"mode flag -1 selects 0x35", kGames, nullptr, nullptr, -1, 1, "\\ERROR.LOG", 0x35},
    {"mode flag 0x100 selects 0x35", kGames, nullptr, nullptr, 0x100, 1, "\\ERROR.LOG", 0x35},
    {"a directory of 249 characters leaves a path of 259, which fits",
     OfLength(249), nullptr, nullptr, 1, 1, "\\ERROR.LOG", 0x35},
    {"a directory of 250 characters: the joined path no longer fits",
     OfLength(250), nullptr, nullptr, 1, -1, nullptr, 0},
    {"the longest directory handed over in 258 bytes, with an empty file name",
     OfLength(255), nullptr, "", 1, 1, "\\", 0x35},
    {"a directory the platform cannot hand over in 258 bytes",
     OfLength(256), nullptr, nullptr, 1, -1, nullptr, 0},
    {"a directory argument too long for the buffer",
     kGames, kTooLongDirectory.c_str(), nullptr, 1, -1, nullptr, 0},
};
// clang-format on

TEST_F(ErrorLog, SetupRecordsPathModeAndPrefix) {
    for (const SetupCase& c : kSetupCases) {
        SCOPED_TRACE(c.rule);
        ResetSettings();
        const std::string placePath = EnterPlace(directories, c.place);
        errorLogSettings = Patterned();
        const ErrorLogSettings before = errorLogSettings;

        EXPECT_EQ(SetupErrorLog(c.directory, c.fileName, c.modeFlag), c.result);

        if (c.result == 1) {
            ExpectRecord(errorLogSettings, placePath + c.pathAfterPlace, c.mode, "Error: ");
            EXPECT_EQ(errorLogReady, 1);
        } else {
            EXPECT_TRUE(SameBytes(errorLogSettings, before)) << "settings touched";
            EXPECT_EQ(errorLogReady, 0);
        }
    }
}

TEST_F(ErrorLog, PathOfTheLongestFittingDirectoryHas259Characters) {
    EnterPlace(directories, OfLength(249));
    ASSERT_EQ(SetupErrorLog(nullptr, nullptr, 1), 1);
    EXPECT_EQ(std::strlen(errorLogSettings.path), 259u);
}

#ifndef _WIN32
TEST_F(ErrorLog, SetupFailsWhenTheDirectoryCannotBeRead) {
    hostwin::world().currentDirectoryFails = true;
    errorLogSettings = Patterned();
    const ErrorLogSettings before = errorLogSettings;
    EXPECT_EQ(SetupErrorLog(nullptr, nullptr, 1), -1);
    EXPECT_TRUE(SameBytes(errorLogSettings, before));
    EXPECT_EQ(errorLogReady, 0);
}
#endif

TEST_F(ErrorLog, AfterASuccessEveryFurtherSetupIsRefused) {
    const std::string placePath = EnterPlace(directories, kGamesTest);
    ASSERT_EQ(SetupErrorLog(nullptr, nullptr, 1), 1);
    const ErrorLogSettings after = errorLogSettings;

    struct Again {
        const char* rule;
        Place place;
        const char* directory;
        const char* fileName;
        std::int32_t modeFlag;
    };
    const Again again[] = {
        {"the same call", kGamesTest, nullptr, nullptr, 1},
        {"another directory and mode", kRoot, "LOGS", nullptr, 0},
        {"another file name", kGames, nullptr, "OTHER.TXT", 1},
        {"a call that would fail anyway", kGames, kTooLongDirectory.c_str(), nullptr, 1},
    };
    for (const Again& a : again) {
        SCOPED_TRACE(a.rule);
        EnterPlace(directories, a.place);
        EXPECT_EQ(SetupErrorLog(a.directory, a.fileName, a.modeFlag), -1);
        EXPECT_TRUE(SameBytes(errorLogSettings, after)) << "settings changed";
        EXPECT_EQ(errorLogReady, 1);
    }
    ExpectRecord(errorLogSettings, placePath + "\\ERROR.LOG", 0x35, "Error: ");
}

TEST_F(ErrorLog, AFailedSetupLeavesTheWayOpen) {
    EnterPlace(directories, kGames);
    EXPECT_EQ(SetupErrorLog(kTooLongDirectory.c_str(), nullptr, 1), -1);
    EXPECT_EQ(errorLogReady, 0);
    const std::string placePath = EnterPlace(directories, kGames);
    EXPECT_EQ(SetupErrorLog(nullptr, nullptr, 0), 1);
    ExpectRecord(errorLogSettings, placePath + "\\ERROR.LOG", 0x36, "Error: ");
}

// ---------------------------------------------------------------------------
// InitErrorLogSettings

struct InitCase {
    const char* rule;
    std::size_t pathLength;
    std::uint32_t mode;
    std::int32_t result;
};

// clang-format off
const InitCase kInitCases[] = {
    {"mode 1 (low bits 1)",                    20, 1, 1},
    {"mode 2 (low bits 2)",                    20, 2, 1},
    {"mode 0x35",                              20, 0x35, 1},
    {"mode 0x36",                              20, 0x36, 1},
    {"the mode is stored whole",               20, 0xFFFFFF35u, 1},
    {"mode 0 (low bits 0) is refused",         20, 0, -1},
    {"mode 3 (low bits 3) is refused",         20, 3, -1},
    {"mode 4 (low bits 0) is refused",         20, 4, -1},
    {"mode 0x37 (low bits 3) is refused",      20, 0x37, -1},
    {"mode 0xFFFFFFFF is refused",             20, 0xFFFFFFFFu, -1},
    {"an empty path is taken",                  0, 0x35, 1},
    {"a path of 260 characters is taken",     260, 0x35, 1},
    {"a path of 261 characters is refused",   261, 0x35, -1},
    {"a bad mode is refused whatever the path", 261, 0, -1},
};
// clang-format on

TEST(ErrorLogSettingsRecord, InitClearsThenStoresPathAndMode) {
    for (const InitCase& c : kInitCases) {
        SCOPED_TRACE(c.rule);
        ErrorLogSettings record = Patterned();
        const std::string path(c.pathLength, 'p');
        EXPECT_EQ(InitErrorLogSettings(&record, path.c_str(), c.mode), c.result);
        if (c.result == 1) {
            ExpectRecord(record, path, c.mode, "");
        } else {
            ExpectCleared(record);
        }
    }
}

// ---------------------------------------------------------------------------
// SetErrorLogPrefix

enum class Start {
    Valid,      // a valid record with the prefix "Old: "
    FailedInit, // cleared by a refused InitErrorLogSettings
    NeverSet,   // all zero, as at process start
};

struct PrefixCase {
    const char* rule;
    Start start;
    std::optional<std::string> text; // none: a null text
    std::int32_t result;
    const char* prefix; // the prefix after; nullptr: the record unchanged
};

// clang-format off
const PrefixCase kPrefixCases[] = {
    {"a prefix replaces the old one", Start::Valid, "Error: ", 1, "Error: "},
    {"32 characters are taken", Start::Valid, std::string(32, 'q'), 1, "qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq"},
    {"33 characters are refused, the old prefix stays", Start::Valid, std::string(33, 'q'), -1, nullptr},
    {"a null text empties the prefix", Start::Valid, std::nullopt, 1, ""},
    {"an empty text empties the prefix", Start::Valid, "", 1, ""},
    {"a record cleared by a refused init is refused", Start::FailedInit, "Error: ", -1, nullptr},
    {"a record never set is refused", Start::NeverSet, "Error: ", -1, nullptr},
    {"a null text on a record never set is refused", Start::NeverSet, std::nullopt, -1, nullptr},
};
// clang-format on

TEST(ErrorLogSettingsRecord, PrefixOnlyOnAValidRecordAndWithin32Characters) {
    for (const PrefixCase& c : kPrefixCases) {
        SCOPED_TRACE(c.rule);
        ErrorLogSettings record{};
        switch (c.start) {
        case Start::Valid:
            ASSERT_EQ(InitErrorLogSettings(&record, "\\LOG", 0x35), 1);
            ASSERT_EQ(SetErrorLogPrefix(&record, "Old: "), 1);
            break;
        case Start::FailedInit: ASSERT_EQ(InitErrorLogSettings(&record, "\\LOG", 0), -1); break;
        case Start::NeverSet: break;
        }
        const ErrorLogSettings before = record;

        EXPECT_EQ(SetErrorLogPrefix(&record, c.text ? c.text->c_str() : nullptr), c.result);

        if (!c.prefix) {
            EXPECT_TRUE(SameBytes(record, before)) << "record changed";
            continue;
        }
        EXPECT_EQ(std::string(record.prefix), c.prefix);
        if (!c.text) {
            for (std::size_t i = 0; i < sizeof record.prefix; ++i) {
                EXPECT_EQ(record.prefix[i], 0) << "prefix byte " << i;
            }
        }
        // Nothing else of the record moves.
        EXPECT_EQ(std::string(record.path), "\\LOG");
        EXPECT_EQ(record.mode, 0x35u);
        EXPECT_EQ(record.valid, 1);
    }
}

// ---------------------------------------------------------------------------
// BuildFilePath

struct BuildCase {
    const char* rule;
    bool withCurrentDirectory;
    Place place;
    std::optional<std::string> directory;
    std::string fileName;
    std::uint32_t size;
    std::int32_t result;
    // The text after the place's path and its backslash (with the current
    // directory) or from the start (without): the finished path on success,
    // what was written so far on failure. None: nothing written at all.
    std::optional<std::string> text;
};

std::string d(std::size_t n) {
    return std::string(n, 'd');
}
std::string f(std::size_t n) {
    return std::string(n, 'f');
}

// clang-format off
const BuildCase kBuildCases[] = {
    // Without the current directory; the buffer's earlier content never counts.
    {"a name of 259 characters fits in 260 bytes", false, kRoot, std::nullopt, f(259), 260, 1, f(259)},
    {"a name of 260 characters does not", false, kRoot, std::nullopt, f(260), 260, -1, std::nullopt},
    {"a directory is joined with one backslash", false, kRoot, "LOGS", "ERROR.LOG", 260, 1, "LOGS\\ERROR.LOG"},
    {"a directory's own trailing backslash is not doubled", false, kRoot, "LOGS\\", "ERROR.LOG", 260, 1, "LOGS\\ERROR.LOG"},
    {"an empty directory text adds nothing", false, kRoot, "", "ERROR.LOG", 260, 1, "ERROR.LOG"},
    {"a directory of 257 leaves room for its backslash and one character", false, kRoot, d(257), "x", 260, 1, d(257) + "\\x"},
    {"a directory of 258 is refused before anything is written", false, kRoot, d(258), "x", 260, -1, std::nullopt},
    {"257 characters ending in a backslash and a name of two", false, kRoot, d(256) + "\\", "ab", 260, 1, d(256) + "\\ab"},
    {"a name that no longer fits leaves the directory written", false, kRoot, d(256), "abc", 260, -1, d(256) + "\\"},
    {"size 0 holds nothing, not even an empty name", false, kRoot, std::nullopt, "", 0, -1, std::nullopt},
    {"size 1 holds the empty name", false, kRoot, std::nullopt, "", 1, 1, ""},
    {"size 1 refuses a name of one character", false, kRoot, std::nullopt, "a", 1, -1, std::nullopt},
    {"size 1 refuses any directory", false, kRoot, "D", "", 1, -1, std::nullopt},

    // With the current directory.
    {"the drive root gives a single leading backslash", true, kRoot, std::nullopt, "ERROR.LOG", 260, 1, "ERROR.LOG"},
    {"a directory argument at the root", true, kRoot, "LOGS", "ERROR.LOG", 260, 1, "LOGS\\ERROR.LOG"},
    {"a directory argument below a directory", true, kGames, "LOGS", "ERROR.LOG", 260, 1, "LOGS\\ERROR.LOG"},
    {"an empty directory argument below a directory", true, kGames, "", "ERROR.LOG", 260, 1, "ERROR.LOG"},
    {"a directory that does not fit in size - 2 takes nothing of the buffer", true, kGamesTest, std::nullopt, "ERROR.LOG", 12, -1, std::nullopt},
    {"size 2 leaves no room for the directory", true, kGamesTest, std::nullopt, "ERROR.LOG", 2, -1, std::nullopt},
    {"size 1 is refused without asking", true, kGamesTest, std::nullopt, "", 1, -1, std::nullopt},
    {"size 0 is refused without asking", true, kGamesTest, std::nullopt, "", 0, -1, std::nullopt},
    {"a directory of 249 and ERROR.LOG: 259 characters", true, OfLength(249), std::nullopt, "ERROR.LOG", 260, 1, "ERROR.LOG"},
    {"a directory of 250 and ERROR.LOG: the directory stays written", true, OfLength(250), std::nullopt, "ERROR.LOG", 260, -1, ""},
    {"the longest directory takes a directory argument of one", true, OfLength(255), "L", "", 260, 1, "L\\"},
    {"the longest directory refuses a directory argument of two", true, OfLength(255), "LL", "", 260, -1, ""},
};
// clang-format on

constexpr std::size_t kBufferSize = 600;
constexpr char kFill = '~';

TEST_F(ErrorLog, BuildFilePathJoinsWithinTheBuffer) {
    for (const BuildCase& c : kBuildCases) {
        SCOPED_TRACE(c.rule);
        std::string lead;
        if (c.withCurrentDirectory) lead = EnterPlace(directories, c.place) + "\\";

        char buffer[kBufferSize];
        std::memset(buffer, kFill, sizeof buffer);
        buffer[kBufferSize - 1] = '\0';
        const int result = BuildFilePath(c.withCurrentDirectory ? 1 : 0,
                                         c.directory ? c.directory->c_str() : nullptr,
                                         c.fileName.c_str(), buffer, c.size);
        EXPECT_EQ(result, c.result);

        // Nothing at all written when no text is expected, else nothing
        // beyond the size given.
        std::size_t untouchedFrom = 0;
        if (c.text) {
            EXPECT_EQ(std::string(buffer), lead + *c.text);
            untouchedFrom = c.size;
        }
        for (std::size_t i = untouchedFrom; i < kBufferSize - 1; ++i) {
            ASSERT_EQ(buffer[i], kFill) << "byte " << i << " written";
        }
    }
}

#ifndef _WIN32
TEST_F(ErrorLog, BuildFilePathAsksForTwoBytesLessThanItHas) {
    EnterPlace(directories, kGames);
    hostwin::world().calls.clear();
    char buffer[100] = {};
    ASSERT_EQ(BuildFilePath(1, nullptr, "ERROR.LOG", buffer, sizeof buffer), 1);
    ASSERT_EQ(hostwin::CallNames(), std::vector<std::string>{"GetCurrentDirectoryA"});
    EXPECT_EQ(hostwin::world().calls[0].args[0], sizeof buffer - 2);
}

TEST_F(ErrorLog, BuildFilePathFailsWhenTheDirectoryCannotBeRead) {
    hostwin::world().currentDirectoryFails = true;
    char buffer[100] = "untouched";
    EXPECT_EQ(BuildFilePath(1, "LOGS", "ERROR.LOG", buffer, sizeof buffer), -1);
    EXPECT_STREQ(buffer, "untouched");
}
#endif

// ---------------------------------------------------------------------------
// GetCurrentDirectoryNoDrive

struct NoDriveCase {
    const char* rule;
    Place place;
    int room;  // the size given, counted from the length of the full path
    bool zero; // the size given is 0 instead
    std::int32_t result;
};

// clang-format off
const NoDriveCase kNoDriveCases[] = {
    {"the root: drive and backslash go, nothing remains", kRoot, 1, false, 1},
    {"the root one byte short", kRoot, 0, false, -1},
    {"a directory with room to spare", kGamesTest, 100, false, 1},
    {"a directory in exactly its room", kGamesTest, 1, false, 1},
    {"a directory one byte short takes nothing", kGamesTest, 0, false, -1},
    {"a directory far short takes nothing", kGamesTest, -5, false, -1},
    {"size 0 takes nothing", kGamesTest, 0, true, -1},
    {"a long directory in exactly its room", OfLength(255), 1, false, 1},
};
// clang-format on

TEST_F(ErrorLog, CurrentDirectoryWithoutItsDrive) {
    for (const NoDriveCase& c : kNoDriveCases) {
        SCOPED_TRACE(c.rule);
        const std::string want = EnterPlace(directories, c.place);
        const int fullLength = static_cast<int>(directories.CurrentFullLength());
        const auto size = c.zero ? 0u : static_cast<std::uint32_t>(fullLength + c.room);

        char buffer[kBufferSize];
        std::memset(buffer, kFill, sizeof buffer);
        EXPECT_EQ(GetCurrentDirectoryNoDrive(buffer, size), c.result);
        if (c.result == 1) {
            EXPECT_EQ(std::string(buffer), want);
        } else {
            for (std::size_t i = 0; i < kBufferSize; ++i) {
                ASSERT_EQ(buffer[i], kFill) << "byte " << i << " written";
            }
        }
    }
}

#ifndef _WIN32
// Forms of the current directory that a steered platform can hand over.
struct FormCase {
    const char* rule;
    std::string currentDirectory;
    std::int32_t result;
    std::string text;
};

// clang-format off
const FormCase kFormCases[] = {
    {"a drive path loses its drive", "D:\\GAMES\\TEST", 1, "\\GAMES\\TEST"},
    {"a drive root leaves nothing", "C:\\", 1, ""},
    {"a bare drive leaves nothing", "D:", 1, ""},
    {"a network share keeps its path but not its trailing backslash", "\\\\server\\share\\", 1, "\\\\server\\share"},
    {"a network path without a trailing backslash is unchanged", "\\\\server\\share\\dir", 1, "\\\\server\\share\\dir"},
    {"only one trailing backslash goes", "D:\\GAMES\\\\", 1, "\\GAMES\\"},
    {"a colon elsewhere than second is left alone", "ab:c", 1, "ab:c"},
    {"a one-character directory", "X", 1, "X"},
    {"a lone backslash becomes empty", "\\", 1, ""},
    {"an empty directory is a failure (length 0)", "", -1, ""},
};
// clang-format on

TEST_F(ErrorLog, CurrentDirectoryForms) {
    for (const FormCase& c : kFormCases) {
        SCOPED_TRACE(c.rule);
        hostwin::world().currentDirectory = c.currentDirectory;
        char buffer[64];
        std::memset(buffer, kFill, sizeof buffer);
        buffer[sizeof buffer - 1] = '\0';
        EXPECT_EQ(GetCurrentDirectoryNoDrive(buffer, sizeof buffer), c.result);
        if (c.result == 1) {
            EXPECT_EQ(std::string(buffer), c.text);
        }
    }
}

TEST_F(ErrorLog, CurrentDirectoryThatCannotBeRead) {
    hostwin::world().currentDirectoryFails = true;
    char buffer[16] = "untouched";
    EXPECT_EQ(GetCurrentDirectoryNoDrive(buffer, sizeof buffer), -1);
    EXPECT_STREQ(buffer, "untouched");
}
#endif

} // namespace
