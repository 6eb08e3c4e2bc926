// The real synthcheck.exe under Wine, started as a shortcut would start it,
// from an empty working directory. With Wine's own winmm there is no MIDI
// device; with the tests' winmm.dll beside the program (and a DLL override
// for synthcheck.exe alone) the devices come from TEST_MIDI_DEVICES and each
// query is logged. Every case deletes the Audio key first and the override
// last, so the cases do not depend on each other or on the prefix.
#include "tests/support/win_process.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::BuildFile;
using testsupport::Environment;
using testsupport::ReadWholeFile;
using testsupport::RunProcess;
using testsupport::ScratchDir;

constexpr char AUDIO_KEY[] = "Software\\Tarnwick Productions Ltd\\Audio";
constexpr char APP_KEY[] = "Software\\Wine\\AppDefaults\\synthcheck.exe";
constexpr char OVERRIDES_KEY[] = "Software\\Wine\\AppDefaults\\synthcheck.exe\\DllOverrides";

void DeleteAudioKey() {
    RegDeleteKeyA(HKEY_CURRENT_USER, AUDIO_KEY);
}

struct Flag {
    DWORD type = 0;
    DWORD size = 0;
    DWORD value = 0;
};

std::optional<Flag> ReadFlag() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, AUDIO_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    Flag flag;
    BYTE data[16] = {};
    flag.size = sizeof data;
    const LONG status =
        RegQueryValueExA(key, "Awe32Detected", nullptr, &flag.type, data, &flag.size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    flag.value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
    return flag;
}

void SetFlag(DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, AUDIO_KEY, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Awe32Detected", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
    RegCloseKey(key);
}

void RemoveWinmmOverride() {
    RegDeleteKeyA(HKEY_CURRENT_USER, OVERRIDES_KEY);
    RegDeleteKeyA(HKEY_CURRENT_USER, APP_KEY); // fails, harmlessly, if it holds more
}

// Loads the tests' winmm.dll into synthcheck.exe and into nothing else.
class NativeWinmmForSynthcheck {
public:
    NativeWinmmForSynthcheck() {
        HKEY key;
        EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, OVERRIDES_KEY, &key), ERROR_SUCCESS);
        const char native[] = "native";
        RegSetValueExA(key, "winmm", 0, REG_SZ, reinterpret_cast<const BYTE*>(native),
                       sizeof native);
        RegCloseKey(key);
    }
    ~NativeWinmmForSynthcheck() { RemoveWinmmOverride(); }
    NativeWinmmForSynthcheck(const NativeWinmmForSynthcheck&) = delete;
    NativeWinmmForSynthcheck& operator=(const NativeWinmmForSynthcheck&) = delete;
};

class SynthcheckRun : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteAudioKey();
        RemoveWinmmOverride(); // one left by a run that was cut short
        ASSERT_TRUE(program.Put(BuildFile("SYNTHCHECK_EXE"), "synthcheck.exe"));
    }
    void TearDown() override { DeleteAudioKey(); }

    // Runs the program with its path in quotes as the whole command line and
    // checks what every run must give: exit code 0, no file left behind.
    void Run(const Environment& environment = {}) {
        const std::string exe = program.File("synthcheck.exe");
        testsupport::ProcessResult result =
            RunProcess(exe, "\"" + exe + "\"", working.path(), environment);
        ASSERT_TRUE(result.started) << "CreateProcessA error " << result.createError;
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_TRUE(working.Files().empty()) << "a file appeared in the working directory";
    }

    ScratchDir program{"synthcheck-program"};
    ScratchDir working{"synthcheck-work"};
};

void ExpectFlag(DWORD value) {
    std::optional<Flag> flag = ReadFlag();
    ASSERT_TRUE(flag.has_value()) << "no Awe32Detected under HKCU\\" << AUDIO_KEY;
    EXPECT_EQ(flag->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(flag->size, 4u);
    EXPECT_EQ(flag->value, value);
}

TEST_F(SynthcheckRun, FreshKeyGetsZeroWithWinesOwnMidi) {
    Run();
    ExpectFlag(0);
}

TEST_F(SynthcheckRun, AnEarlierOneBecomesZero) {
    SetFlag(1);
    ExpectFlag(1);
    Run();
    ExpectFlag(0);
}

struct DeviceRow {
    const char* rule;
    std::string devices; // TEST_MIDI_DEVICES
    std::string log;     // what the tests' winmm.dll saw
    DWORD value;
};

std::string Devices(int count, const std::string& device) {
    std::string s;
    for (int i = 0; i < count; ++i) s += (i ? "," : "") + device;
    return s;
}

std::string QueryLog(unsigned count, unsigned queries) {
    std::ostringstream s;
    s << "count " << count << "\n";
    for (unsigned i = 0; i < queries; ++i) s << "query " << i << "\n";
    return s.str();
}

TEST_F(SynthcheckRun, ScansTheDevicesOfTheSystem) {
    const DeviceRow rows[] = {
        {"303 at number 1 of three: device 2 is not asked", "2:1,2:303,2:2",
         "count 3\nquery 0\nquery 1\n", 1},
        {"303 with manufacturer 0 matches", "0:303", "count 1\nquery 0\n", 1},
        {"303 with manufacturer 65535 matches", "65535:303", "count 1\nquery 0\n", 1},
        {"a failing query between two others is passed over", "2:1,fail,2:303",
         "count 3\nquery 0\nquery 1\nquery 2\n", 1},
        {"no match among three", "2:1,fail,2:2", "count 3\nquery 0\nquery 1\nquery 2\n", 0},
        {"no device: no capability query", "", "count 0\n", 0},
        {"300 devices without a match: 256 queries", Devices(300, "2:1"), QueryLog(300, 256), 0},
    };
    ASSERT_TRUE(program.Put(BuildFile("TEST_WINMM_DLL"), "winmm.dll"));
    NativeWinmmForSynthcheck override;
    const std::string log = program.File("midi.log");
    for (const DeviceRow& row : rows) {
        SCOPED_TRACE(row.rule);
        DeleteFileA(log.c_str());
        SetFlag(row.value ? 0 : 1); // the run must change it
        Run({{"TEST_MIDI_DEVICES", row.devices}, {"TEST_MIDI_LOG", log}});
        bool logged = false;
        EXPECT_EQ(ReadWholeFile(log, &logged), row.log);
        EXPECT_TRUE(logged) << "the tests' winmm.dll was not loaded";
        ExpectFlag(row.value);
    }
    DeleteFileA(log.c_str());
}

} // namespace
