// The positions of the display object's operations are an interface: a
// program compiled elsewhere may supply the object. So the object here is not
// built from the shell's declaration at all: its table of virtual operations
// is an array of plain functions laid out by hand with the platform's
// member-call convention, and each slot logs its own number. The shell must
// land on 11 for Shutdown, 16 for SubmitBlock and 17 for SubmitRequest.
#include "shell/shell.h"
#include "tests/synthcheck/recording_display.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <typeinfo>
#include <vector>

#ifndef _WIN32
#include "hostwin/hostwin.h"
#endif

// How a member function receives its object: in ECX with the callee popping
// the arguments on 32-bit Windows, as a plain first argument elsewhere.
#if defined(_WIN32) && defined(__i386__)
#define MEMBER_CALL __attribute__((thiscall))
#else
#define MEMBER_CALL
#endif

namespace {

constexpr int SLOTS = 18;

struct SlotCall {
    int slot;
    std::vector<std::uintptr_t> args;
    bool operator==(const SlotCall&) const = default;
};
std::vector<SlotCall> slotCalls;

void PrintTo(const SlotCall& call, std::ostream* os) {
    *os << "slot " << call.slot << std::hex << " (";
    for (std::size_t i = 0; i < call.args.size(); ++i) *os << (i ? ", 0x" : "0x") << call.args[i];
    *os << ")" << std::dec;
}

struct HandBuiltObject {
    const void* const* table; // where the compiler puts its table pointer
};

template <int N> std::int32_t MEMBER_CALL NoArguments(HandBuiltObject*) {
    slotCalls.push_back({N, {}});
    return 0;
}

std::int32_t MEMBER_CALL OneBlock(HandBuiltObject*, void* block) {
    slotCalls.push_back({16, {reinterpret_cast<std::uintptr_t>(block)}});
    return 0;
}

std::int32_t MEMBER_CALL Request(HandBuiltObject*, void* block, std::uint32_t value1,
                                 std::uint32_t value2, std::uint32_t* area, std::uint32_t kind) {
    slotCalls.push_back({17,
                         {reinterpret_cast<std::uintptr_t>(block), value1, value2,
                          reinterpret_cast<std::uintptr_t>(area), kind}});
    return 0;
}

template <typename F> const void* Entry(F* function) {
    return reinterpret_cast<const void*>(function);
}

// Offset to the top and the type information come before the first slot, as
// the C++ ABI of both platforms lays a table out.
const void* const table[2 + SLOTS] = {
    nullptr,
    &typeid(ShellDisplay),
    Entry(NoArguments<0>),
    Entry(NoArguments<1>),
    Entry(NoArguments<2>),
    Entry(NoArguments<3>),
    Entry(NoArguments<4>),
    Entry(NoArguments<5>),
    Entry(NoArguments<6>),
    Entry(NoArguments<7>),
    Entry(NoArguments<8>),
    Entry(NoArguments<9>),
    Entry(NoArguments<10>),
    Entry(NoArguments<11>),
    Entry(NoArguments<12>),
    Entry(NoArguments<13>),
    Entry(NoArguments<14>),
    Entry(NoArguments<15>),
    Entry(OneBlock),
    Entry(Request),
};

HandBuiltObject handBuilt{&table[2]};

ShellDisplay* HandBuiltDisplay() {
    return reinterpret_cast<ShellDisplay*>(&handBuilt);
}

TEST(DisplaySlots, ShellMainCallsShutdownAtEleven) {
#ifndef _WIN32
    hostwin::Reset();
#endif
    slotCalls.clear();
    shelltest::ScopedDisplay scoped(HandBuiltDisplay());
    WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    EXPECT_EQ(slotCalls, (std::vector<SlotCall>{{11, {}}}));
}

TEST(DisplaySlots, FlushCallsSubmitRequestAtSeventeenAndSubmitBlockAtSixteen) {
    slotCalls.clear();
    shelltest::FreshService service;
    service->requestValue1 = 0x11111111;
    service->requestValue2 = 0x22222222;
    service->requestPending = 1;
    shelltest::ScopedDisplay scoped(HandBuiltDisplay());
    service->Flush();
    const auto at = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p); };
    EXPECT_EQ(
        slotCalls,
        (std::vector<SlotCall>{
            {17, {at(&service->blockB), 0x11111111, 0x22222222, at(service->requestArea), 26}},
            {16, {at(&service->blockA)}},
            {16, {at(&service->blockB)}},
        }));
}

} // namespace
