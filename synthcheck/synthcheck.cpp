// synthcheck's own logic: the MIDI-device scan and the registry flag.
#include "synthcheck/synthcheck.h"

#include "shell/shell.h"

#include <cstring>

static_assert(sizeof(MIDIOUTCAPSA) == 52, "the platform's capability record");
static_assert(offsetof(MIDIOUTCAPSA, wPid) == 2);

std::uint32_t midiOutDeviceCount;
std::uint8_t midiOutDevice;
MIDIOUTCAPSA midiOutCaps;

std::int32_t DetectAwe32() {
    midiOutDeviceCount = midiOutGetNumDevs();
    if (midiOutDeviceCount == 0) return 0;
    midiOutDevice = 0;
    for (;;) {
        std::memset(&midiOutCaps, 0, sizeof midiOutCaps);
        midiOutGetDevCapsA(midiOutDevice, &midiOutCaps, sizeof midiOutCaps);
        if (midiOutCaps.wPid == AWE32_PRODUCT_ID) return 1;
        ++midiOutDevice;
        // Back at 0 means device 255 has been examined: no 8-bit number is left.
        if (midiOutDevice == 0 || midiOutDevice >= midiOutDeviceCount) return 0;
    }
}

void WriteAwe32Flag(std::uint32_t value) {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, AUDIO_KEY_PATH, &key) == ERROR_SUCCESS) RegCloseKey(key);

    if (RegOpenKeyExA(HKEY_CURRENT_USER, AUDIO_KEY_PATH, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                          static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    RegSetValueExA(key, AWE32_VALUE_NAME, 0, REG_DWORD, data, sizeof data);
    RegCloseKey(key);
}

std::int32_t ProgramEntry(std::uint16_t, char**) {
    const std::int32_t found = DetectAwe32();
    WriteAwe32Flag(static_cast<std::uint32_t>(found));
    return found;
}
