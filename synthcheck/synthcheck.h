// synthcheck: looks for a Sound Blaster AWE32 synthesiser among the MIDI
// output devices and records the answer for the current user.
//
// DetectAwe32 asks each device for its capabilities, in order from number 0,
// and stops at the first whose product identifier is 303, whatever its
// manufacturer; a failed query leaves the cleared record, so that device does
// not match. The device number is 8 bits wide: when the system reports 256 or
// more devices and none of 0 to 255 matches, the scan ends after device 255
// with the result 0. No device means no query at all.
//
// WriteAwe32Flag creates HKEY_CURRENT_USER\Software\Tarnwick Productions
// Ltd\Audio when it is missing, then opens it for setting values and stores
// the value Awe32Detected as a REG_DWORD. Nothing is reported: a key that
// cannot be opened means nothing is written.
//
// ProgramEntry, called by the shell's frame, runs the two and returns the
// detection result; it ignores its arguments.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

constexpr WORD AWE32_PRODUCT_ID = 303;
constexpr char AUDIO_KEY_PATH[] = "Software\\Tarnwick Productions Ltd\\Audio";
constexpr char AWE32_VALUE_NAME[] = "Awe32Detected";

// Written only by DetectAwe32.
extern std::uint32_t midiOutDeviceCount; // as midiOutGetNumDevs reports it
extern std::uint8_t midiOutDevice;       // the device examined; the match after a found scan
extern MIDIOUTCAPSA midiOutCaps;         // cleared before every query

// 1 when a device with product identifier 303 exists, else 0.
std::int32_t DetectAwe32();

// Stores `value` as Awe32Detected (REG_DWORD, little-endian).
void WriteAwe32Flag(std::uint32_t value);
