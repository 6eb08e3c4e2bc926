#include "shell/shell.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include "hostwin/hostwin.h"
#endif

namespace {

// ---------------------------------------------------------------------------
// Hook sequences

enum class Do {
    Press,      // a key-down message
    Repeat,     // an auto-repeated key-down: previous-state bit and a repeat count
    Release,    // a key-up message
    ReaderTakes // no hook call: a reader stores 0 into pendingKey
};

struct State {
    std::map<int, std::uint8_t> held; // non-zero keyStates entries; every other one is 0
    std::uint8_t modifiers;
    std::uint8_t extended;
    std::uint8_t last;
    std::uint8_t pending;
    std::uint8_t pendingMods;
};

struct Step {
    Do what;
    std::uint8_t scanCode;
    bool extended;
    State after;
    int hookCode = 0; // HC_ACTION unless a row says otherwise
};

struct Sequence {
    const char* rule;
    std::vector<Step> steps;
};

constexpr std::uint8_t SH = KMOD_SHIFT;
constexpr std::uint8_t CT = KMOD_CONTROL;
constexpr std::uint8_t AL = KMOD_ALT;
constexpr std::uint8_t P = KEY_PRESSED;

// Builds the key-message flags the system hands a keyboard hook, with the
// bits the hook must not look at filled in as the system would.
LPARAM KeyFlags(const Step& step) {
    std::uint32_t flags = std::uint32_t{step.scanCode} << 16;
    if (step.extended) flags |= 1u << 24;
    switch (step.what) {
    case Do::Press: flags |= 1; break;
    case Do::Repeat: flags |= 5 | 1u << 30; break;
    case Do::Release: flags |= 1 | 1u << 30 | 1u << 31; break;
    case Do::ReaderTakes: break;
    }
    flags |= 1u << 29; // context bit: alt held, as far as the system knows
    // As a 32-bit LONG would arrive: sign-extended where LPARAM is wider.
    return static_cast<LPARAM>(static_cast<std::int32_t>(flags));
}

void ClearKeyState() {
    std::memset(keyStates, 0, sizeof keyStates);
    keyModifiers = extendedKey = lastKey = pendingKey = pendingModifiers = 0;
}

void ExpectState(const State& want) {
    for (int key = 0; key < 256; ++key) {
        const auto it = want.held.find(key);
        const std::uint8_t expected = it == want.held.end() ? 0 : it->second;
        EXPECT_EQ(int{keyStates[key]}, int{expected}) << "keyStates[" << key << "]";
    }
    EXPECT_EQ(int{keyModifiers}, int{want.modifiers}) << "keyModifiers";
    EXPECT_EQ(int{extendedKey}, int{want.extended}) << "extendedKey";
    EXPECT_EQ(int{lastKey}, int{want.last}) << "lastKey";
    EXPECT_EQ(int{pendingKey}, int{want.pending}) << "pendingKey";
    EXPECT_EQ(int{pendingModifiers}, int{want.pendingMods}) << "pendingModifiers";
}

// clang-format off
const Sequence kSequences[] = {
    {"a modifier's own press counts in its entry and flags; its release clears both", {
        {Do::Press,   42, false, {{{42, P | SH}}, SH, 0, 42, 42, SH}},
        {Do::Release, 42, false, {{}, 0, 0, 42, 42, SH}},
    }},
    {"right shift, left and right alt give their flags", {
        {Do::Press,   54, false, {{{54, P | SH}}, SH, 0, 54, 54, SH}},
        {Do::Press,   56, false, {{{54, P | SH}, {56, P | SH | AL}}, SH | AL, 0, 56, 54, SH}},
        {Do::Press,   56, true,  {{{54, P | SH}, {56, P | SH | AL}, {184, P | SH | AL}}, SH | AL, 1, 184, 54, SH}},
        {Do::Release, 56, false, {{{54, P | SH}, {184, P | SH | AL}}, SH | AL, 0, 184, 54, SH}},
        {Do::Release, 56, true,  {{{54, P | SH}}, SH, 0, 184, 54, SH}},
        {Do::Release, 54, false, {{}, 0, 0, 184, 54, SH}},
    }},
    {"an extended press is recorded at index + 128 and never buffered", {
        {Do::Press,   29, true,  {{{157, P | CT}}, CT, 1, 157, 0, 0}},
        {Do::Release, 29, true,  {{}, 0, 0, 157, 0, 0}},
        {Do::Press,   30, false, {{{30, P}}, 0, 0, 30, 30, 0}},
    }},
    {"a key pressed under shift is buffered with the shift flag", {
        {Do::Press,   42, false, {{{42, P | SH}}, SH, 0, 42, 42, SH}},
        {Do::ReaderTakes, 0, false, {{{42, P | SH}}, SH, 0, 42, 0, SH}},
        {Do::Press,   30, false, {{{42, P | SH}, {30, P | SH}}, SH, 0, 30, 30, SH}},
        {Do::Release, 42, false, {{{30, P | SH}}, 0, 0, 30, 30, SH}},
        {Do::Release, 30, false, {{}, 0, 0, 30, 30, SH}},
    }},
    {"a key keeps the flags of its own press when modifiers change later", {
        {Do::Press,   30, false, {{{30, P}}, 0, 0, 30, 30, 0}},
        {Do::Press,   29, false, {{{30, P}, {29, P | CT}}, CT, 0, 29, 30, 0}},
        {Do::Press,   31, false, {{{30, P}, {29, P | CT}, {31, P | CT}}, CT, 0, 31, 30, 0}},
    }},
    {"while a key is pending further presses change neither pendingKey nor pendingModifiers", {
        {Do::Press,   16, false, {{{16, P}}, 0, 0, 16, 16, 0}},
        {Do::Press,   42, false, {{{16, P}, {42, P | SH}}, SH, 0, 42, 16, 0}},
        {Do::Press,   17, false, {{{16, P}, {42, P | SH}, {17, P | SH}}, SH, 0, 17, 16, 0}},
        {Do::Release, 16, false, {{{42, P | SH}, {17, P | SH}}, SH, 0, 17, 16, 0}},
    }},
    {"after the reader takes the key, the release of that same key latches it again", {
        {Do::Press,   30, false, {{{30, P}}, 0, 0, 30, 30, 0}},
        {Do::ReaderTakes, 0, false, {{{30, P}}, 0, 0, 30, 0, 0}},
        {Do::Release, 30, false, {{}, 0, 0, 30, 30, 0}},
    }},
    {"the latch takes lastKey with the flags of the latching call, not of the press", {
        {Do::Press,   29, false, {{{29, P | CT}}, CT, 0, 29, 29, CT}},
        {Do::Press,   46, false, {{{29, P | CT}, {46, P | CT}}, CT, 0, 46, 29, CT}},
        {Do::ReaderTakes, 0, false, {{{29, P | CT}, {46, P | CT}}, CT, 0, 46, 0, CT}},
        {Do::Release, 29, false, {{{46, P | CT}}, 0, 0, 46, 46, 0}},
    }},
    {"after an extended press releases latch nothing until a key below 128 is pressed", {
        {Do::Press,   30, false, {{{30, P}}, 0, 0, 30, 30, 0}},
        {Do::ReaderTakes, 0, false, {{{30, P}}, 0, 0, 30, 0, 0}},
        {Do::Press,   0x48, true, {{{30, P}, {0xC8, P}}, 0, 1, 0xC8, 0, 0}},
        {Do::Release, 30, false, {{{0xC8, P}}, 0, 0, 0xC8, 0, 0}},
        {Do::Release, 0x48, true, {{}, 0, 0, 0xC8, 0, 0}},
        {Do::Press,   31, false, {{{31, P}}, 0, 0, 31, 31, 0}},
    }},
    {"a release always leaves extendedKey 0, whatever key is released", {
        {Do::Press,   0x1C, true, {{{0x9C, P}}, 0, 1, 0x9C, 0, 0}},
        {Do::Release, 0x39, false, {{{0x9C, P}}, 0, 0, 0x9C, 0, 0}},
        {Do::Press,   0x1C, true, {{{0x9C, P}}, 0, 1, 0x9C, 0, 0}},
        {Do::Release, 0x35, true, {{{0x9C, P}}, 0, 0, 0x9C, 0, 0}},
    }},
    {"with no press since start, each call rewrites pendingModifiers and leaves pendingKey 0", {
        {Do::Release, 42, false, {{}, 0, 0, 0, 0, 0}},
        {Do::Press,   29, true,  {{{157, P | CT}}, CT, 1, 157, 0, 0}},
        {Do::Release, 29, true,  {{}, 0, 0, 157, 0, 0}},
    }},
    {"lastKey 0 (a press of scan code 0) latches 0 with fresh flags on every call", {
        {Do::Press,   42, false, {{{42, P | SH}}, SH, 0, 42, 42, SH}},
        {Do::ReaderTakes, 0, false, {{{42, P | SH}}, SH, 0, 42, 0, SH}},
        {Do::Press,   0, false,  {{{42, P | SH}, {0, P | SH}}, SH, 0, 0, 0, SH}},
        {Do::Press,   29, true,  {{{42, P | SH}, {0, P | SH}, {157, P | SH | CT}}, SH | CT, 1, 157, 0, SH}},
        {Do::Release, 42, false, {{{0, P | SH}, {157, P | SH | CT}}, CT, 0, 157, 0, SH}},
        {Do::Press,   0, false,  {{{0, P | CT}, {157, P | SH | CT}}, CT, 0, 0, 0, CT}},
        {Do::Release, 29, true,  {{{0, P | CT}}, 0, 0, 0, 0, 0}},
    }},
    {"auto-repeat records the press again with the flags of the moment", {
        {Do::Press,   30, false, {{{30, P}}, 0, 0, 30, 30, 0}},
        {Do::Repeat,  30, false, {{{30, P}}, 0, 0, 30, 30, 0}},
        {Do::Press,   42, false, {{{30, P}, {42, P | SH}}, SH, 0, 42, 30, 0}},
        {Do::Repeat,  30, false, {{{30, P | SH}, {42, P | SH}}, SH, 0, 30, 30, 0}},
        {Do::ReaderTakes, 0, false, {{{30, P | SH}, {42, P | SH}}, SH, 0, 30, 0, 0}},
        {Do::Repeat,  30, false, {{{30, P | SH}, {42, P | SH}}, SH, 0, 30, 30, SH}},
    }},
    {"the key index is taken modulo 256: scan code 0x9D extended is index 29", {
        {Do::Press,   0x9D, true, {{{29, P | CT}}, CT, 1, 29, 29, CT}},
        {Do::Release, 0x9D, true, {{}, 0, 0, 29, 29, CT}},
    }},
    {"every hook code is processed alike, negative ones included", {
        {Do::Press,   30, false, {{{30, P}}, 0, 0, 30, 30, 0}, -1},
        {Do::Press,   56, false, {{{30, P}, {56, P | AL}}, AL, 0, 56, 30, 0}, 3},
        {Do::Release, 30, false, {{{56, P | AL}}, AL, 0, 56, 30, 0}, -2147483647 - 1},
        {Do::Release, 56, false, {{}, 0, 0, 56, 30, 0}, 2147483647},
    }},
};
// clang-format on

TEST(KeyboardHook, SequencesOfKeyEvents) {
    for (const Sequence& sequence : kSequences) {
        SCOPED_TRACE(sequence.rule);
        ClearKeyState();
#ifndef _WIN32
        hostwin::Reset();
#endif
        int number = 0;
        for (const Step& step : sequence.steps) {
            SCOPED_TRACE("step " + std::to_string(++number));
            if (step.what == Do::ReaderTakes) {
                pendingKey = 0;
            } else {
                // The virtual-key code is not looked at: hand over nonsense.
                const WPARAM virtualKey = 0xFFu - step.scanCode;
                EXPECT_EQ(KeyboardHookProc(step.hookCode, virtualKey, KeyFlags(step)), 0);
            }
            ExpectState(step.after);
        }
#ifndef _WIN32
        // Never handed on to the next hook, nor any other call made.
        EXPECT_TRUE(hostwin::world().calls.empty());
#endif
    }
    ClearKeyState();
}

// Where LPARAM is 64 bits wide a press may arrive with its upper half set;
// the flags are the low 32 bits all the same. Where it is 32 bits wide it is
// the flags themselves, and there is nothing to test.
#if UINTPTR_MAX > 0xFFFFFFFFu
TEST(KeyboardHook, OnlyTheLowThirtyTwoBitsOfTheFlagsCount) {
    ClearKeyState();
    const std::uint64_t press = (std::uint64_t{0xFFFFFFFF} << 32) | (std::uint32_t{30} << 16);
    EXPECT_EQ(KeyboardHookProc(0, 0, static_cast<LPARAM>(press)), 0);
    ExpectState({{{30, P}}, 0, 0, 30, 30, 0});
    ClearKeyState();
}
#endif

// ---------------------------------------------------------------------------
// Character tables: written out here by keyboard row, apart from the
// implementation's sixteen-a-line layout.

struct CharRun {
    int firstIndex;
    std::string unshifted;
    std::string shifted;
};

const CharRun kCharRuns[] = {
    {2, "1234567890-=", "!\"\x9C$%^&*()_+"}, // digit row; the pound sign in code page 437
    {14, "\b\t", "\b\t"},                    // backspace, tab
    {16, "qwertyuiop[]", "QWERTYUIOP{}"},
    {30, "asdfghjkl;'`", "ASDFGHJKL:@~"},
    {43, "#zxcvbnm,./", "~ZXCVBNM<>?"},
    {55, "*", "*"}, // keypad asterisk
    {57, " ", " "},
    {74, "-", "-"}, // keypad minus
    {78, "+", "+"}, // keypad plus
    {86, "\\", "|"},
    {96, "/", "/"},
    {99, "()", "()"},
    {101, "/*", "/*"},
    {113, ".", "."},
};

TEST(KeyCharacterTables, EveryEntryMatchesTheUkLayout) {
    std::uint8_t unshifted[128] = {};
    std::uint8_t shifted[128] = {};
    int listed = 0;
    for (const CharRun& run : kCharRuns) {
        ASSERT_EQ(run.unshifted.size(), run.shifted.size()) << run.firstIndex;
        for (std::size_t i = 0; i < run.unshifted.size(); ++i) {
            const std::size_t index = run.firstIndex + i;
            ASSERT_LT(index, 128u);
            ASSERT_EQ(unshifted[index], 0) << "index " << index << " listed twice";
            unshifted[index] = static_cast<std::uint8_t>(run.unshifted[i]);
            shifted[index] = static_cast<std::uint8_t>(run.shifted[i]);
            ++listed;
        }
    }
    EXPECT_EQ(listed, 60);
    EXPECT_EQ(shifted[4], 0x9C);

    for (int index = 0; index < 128; ++index) {
        SCOPED_TRACE("key index " + std::to_string(index));
        EXPECT_EQ(int{keyCharsUnshifted[index]}, int{unshifted[index]});
        EXPECT_EQ(int{keyCharsShifted[index]}, int{shifted[index]});
    }
}

} // namespace
