// synthcheck's logic against the host layer: the device scan, the registry
// flag, and the whole program from WinMain in the order the frame gives.
#include "synthcheck/synthcheck.h"

#include "hostwin/hostwin.h"
#include "shell/shell.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace {

using Queries = std::vector<UINT>;

Queries Range(UINT count) {
    Queries q(count);
    std::iota(q.begin(), q.end(), 0u);
    return q;
}

struct ScanRow {
    const char* rule;
    std::vector<hostwin::MidiDevice> devices;
    UINT reportedCount; // 0: as many as there are devices
    std::int32_t found;
    Queries queries;
    int device; // midiOutDevice afterwards
};

std::vector<ScanRow> ScanRows() {
    using D = hostwin::MidiDevice;
    std::vector<D> many(256, D{0x0002, 1, false});
    std::vector<D> lastIsAwe = many;
    lastIsAwe[255].pid = 303;
    return {
        {"no device: no query, device number untouched", {}, 0, 0, {}, 77},
        {"three devices, 303 at number 1: device 2 is never asked",
         {{2, 1}, {2, 303}, {2, 2}},
         0,
         1,
         {0, 1},
         1},
        {"303 matches with any manufacturer: 0", {{0, 303}}, 0, 1, {0}, 0},
        {"303 matches with any manufacturer: 0xFFFF", {{0xFFFF, 303}}, 0, 1, {0}, 0},
        {"a manufacturer of 303 is not a product of 303", {{303, 1}}, 0, 0, {0}, 1},
        {"a failing query between two others is passed over",
         {{2, 1}, {2, 303, true}, {2, 303}},
         0,
         1,
         {0, 1, 2},
         2},
        {"no match among three: all asked", {{2, 1}, {2, 302}, {2, 304}}, 0, 0, {0, 1, 2}, 3},
        {"255 devices without a match", std::vector<D>(255, D{2, 1}), 0, 0, Range(255), 255},
        {"300 reported, no match among 0..255: ends after 255", {}, 300, 0, Range(256), 0},
        {"256 reported, no match: ends after 255", many, 0, 0, Range(256), 0},
        {"300 reported, 303 at 255: found there", lastIsAwe, 300, 1, Range(256), 255},
    };
}

TEST(DetectAwe32, ScansDevicesInOrderUpToTheFirstMatch) {
    for (const ScanRow& row : ScanRows()) {
        SCOPED_TRACE(row.rule);
        hostwin::Reset();
        hostwin::world().midiDevices = row.devices;
        hostwin::world().midiDeviceCountOverride = row.reportedCount;
        midiOutDevice = 77;

        EXPECT_EQ(DetectAwe32(), row.found);

        EXPECT_EQ(hostwin::world().midiQueries, row.queries);
        EXPECT_EQ(midiOutDevice, row.device);
        EXPECT_EQ(midiOutDeviceCount, row.reportedCount ? row.reportedCount : row.devices.size());
        for (const hostwin::Call& call : hostwin::world().calls) {
            if (call.function != "midiOutGetDevCapsA") continue;
            ASSERT_EQ(call.args[1], reinterpret_cast<std::uintptr_t>(&midiOutCaps));
            ASSERT_EQ(call.args[2], 52u);
        }
    }
}

TEST(DetectAwe32, ClearsTheRecordBeforeEachQuery) {
    hostwin::Reset();
    hostwin::world().midiDevices = {{2, 303, true}}; // fails and fills nothing
    std::memset(&midiOutCaps, 0xAA, sizeof midiOutCaps);
    midiOutCaps.wPid = 303; // a stale record must not match

    EXPECT_EQ(DetectAwe32(), 0);

    const auto* bytes = reinterpret_cast<const unsigned char*>(&midiOutCaps);
    for (std::size_t i = 0; i < sizeof midiOutCaps; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

const std::string AUDIO_KEY = hostwin::KeyName(AUDIO_KEY_PATH);

// The stored value, or an empty record when there is none.
hostwin::RegistryValue StoredFlag() {
    auto key = hostwin::world().registry.find(AUDIO_KEY);
    if (key == hostwin::world().registry.end()) return {};
    auto value = key->second.find(hostwin::KeyName(AWE32_VALUE_NAME));
    return value == key->second.end() ? hostwin::RegistryValue{} : value->second;
}

struct FlagRow {
    const char* rule;
    bool keyExists;
    bool createFails, openFails, setFails;
    std::uint32_t value;
    std::vector<BYTE> stored; // empty: nothing stored
    std::vector<std::string> calls;
};

TEST(WriteAwe32Flag, CreatesOpensSetsAndCloses) {
    const std::vector<std::string> all = {"RegCreateKeyA", "RegCloseKey", "RegOpenKeyExA",
                                          "RegSetValueExA", "RegCloseKey"};
    const FlagRow rows[] = {
        {"missing key is created and the value written in one run",
         false,
         false,
         false,
         false,
         1,
         {1, 0, 0, 0},
         all},
        {"an existing 1 is overwritten with 0", true, false, false, false, 0, {0, 0, 0, 0}, all},
        {"the DWORD is stored little-endian",
         true,
         false,
         false,
         false,
         0x12345678,
         {0x78, 0x56, 0x34, 0x12},
         all},
        {"create fails, key exists: still written",
         true,
         true,
         false,
         false,
         1,
         {1, 0, 0, 0},
         {"RegCreateKeyA", "RegOpenKeyExA", "RegSetValueExA", "RegCloseKey"}},
        {"create fails, key missing: open fails, nothing written",
         false,
         true,
         false,
         false,
         1,
         {},
         {"RegCreateKeyA", "RegOpenKeyExA"}},
        {"open fails: nothing written",
         true,
         false,
         true,
         false,
         1,
         {},
         {"RegCreateKeyA", "RegCloseKey", "RegOpenKeyExA"}},
        {"set fails: the key is still closed", true, false, false, true, 1, {}, all},
    };
    for (const FlagRow& row : rows) {
        SCOPED_TRACE(row.rule);
        hostwin::Reset();
        hostwin::World& w = hostwin::world();
        if (row.keyExists)
            w.registry[AUDIO_KEY][hostwin::KeyName(AWE32_VALUE_NAME)] = {REG_DWORD, {1, 0, 0, 0}};
        const bool keptOld = row.keyExists && row.stored.empty();
        w.regCreateFails = row.createFails;
        w.regOpenFails = row.openFails;
        w.regSetFails = row.setFails;

        WriteAwe32Flag(row.value);

        EXPECT_EQ(hostwin::CallNames(), row.calls);
        EXPECT_EQ(w.keysOpen, 0) << "every opened key is closed";
        const hostwin::RegistryValue stored = StoredFlag();
        if (!row.stored.empty()) {
            EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
            EXPECT_EQ(stored.data, row.stored);
        } else if (keptOld) {
            EXPECT_EQ(stored.data, (std::vector<BYTE>{1, 0, 0, 0})) << "left as it was";
        } else {
            EXPECT_TRUE(stored.data.empty());
        }
        for (const hostwin::Call& call : w.calls) {
            if (call.function == "RegCreateKeyA" || call.function == "RegOpenKeyExA") {
                EXPECT_EQ(call.args[0], reinterpret_cast<std::uintptr_t>(HKEY_CURRENT_USER));
                EXPECT_EQ(call.text, "Software\\Tarnwick Productions Ltd\\Audio");
            }
            if (call.function == "RegOpenKeyExA") {
                EXPECT_EQ(call.args[2], 0u) << "options";
                EXPECT_EQ(call.args[3], 2u) << "KEY_SET_VALUE only";
            }
            if (call.function == "RegSetValueExA") {
                EXPECT_EQ(call.text, "Awe32Detected");
                EXPECT_EQ(call.args[2], 0u) << "reserved";
                EXPECT_EQ(call.args[3], 4u) << "REG_DWORD";
                EXPECT_EQ(call.args[5], 4u) << "length";
            }
        }
    }
}

// The whole program on the host layer: what the frame and the logic ask of
// the platform, in order (the start-up and the static record are not part
// of WinMain).
TEST(Synthcheck, WinMainRunsDetectionAndFlagInsideTheFrame) {
    hostwin::Reset();
    hostwin::World& w = hostwin::world();
    w.midiDevices = {{2, 1}, {2, 303}, {2, 2}};
    w.commandLine = "synthcheck.exe /ignored";

    EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<char*>("/ignored"), SW_SHOWDEFAULT), 0);

    std::vector<std::string> names;
    for (const std::string& name : hostwin::CallNames())
        if (name != "GetCurrentThreadId") names.push_back(name);
    const std::vector<std::string> expected = {
        "GetCurrentDirectoryA", "SetWindowsHookExA",  "SetWindowsHookExA",  "GetCommandLineA",
        "midiOutGetNumDevs",    "midiOutGetDevCapsA", "midiOutGetDevCapsA", "RegCreateKeyA",
        "RegCloseKey",          "RegOpenKeyExA",      "RegSetValueExA",     "RegCloseKey",
        "UnhookWindowsHookEx"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(StoredFlag().data, (std::vector<BYTE>{1, 0, 0, 0}));
    EXPECT_EQ(w.hooksInPlace, 0);
}

TEST(Synthcheck, NoHookMeansNoDetectionAndNoValue) {
    hostwin::Reset();
    hostwin::world().hookPolicy = hostwin::HookPolicy::RefuseAll;
    hostwin::world().midiDevices = {{2, 303}};
    EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
    EXPECT_TRUE(hostwin::world().midiQueries.empty());
    EXPECT_TRUE(hostwin::world().registry.empty());
}

} // namespace
