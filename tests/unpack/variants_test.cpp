// The decoder variants against each other: every variant this build carries
// unpacks packer output and damaged blocks to the same status, count and
// bytes; and on i686 the choice follows the system's answer for SSE2 and
// then the processor's for MMX.
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <cpuid.h>
#include <windows.h>
#endif

using namespace unpack_test;

namespace {

struct Outcome {
    UnpackResult result;
    Bytes out;
};

// Unpacks `block` with `variant`, from tables that the packer's block for
// "abcabcabc" left, so that every variant starts alike.
Outcome UnpackWith(UnpackVariant variant, const Bytes& block, std::size_t capacity) {
    EXPECT_TRUE(UnpackUseVariant(variant));
    Bytes reset(9);
    EXPECT_FALSE(UnpackBlock(kAbc3Block.data(), reset.data()).Failed());
    Outcome o{{}, Bytes(capacity, 0xEE)};
    o.result = UnpackBlockSized(block.data(), block.size(), o.out.data(), o.out.size());
    return o;
}

// The variants each build carries: the plain scan everywhere, the SSE2 and
// MMX decoders on i686 and x86-64, the read-ahead decoder on x86-64.
struct CarriedCase {
    const char* rule;
    UnpackVariant variant;
    bool carried;
};

const CarriedCase kCarried[] = {
    {"plain scan: every build", UNPACK_PLAIN, true},
    {"SSE2 decoder: i686 and x86-64", UNPACK_SSE2, true},
    {"MMX decoder: i686 and x86-64", UNPACK_MMX, true},
#if defined(__x86_64__)
    {"read-ahead decoder: x86-64", UNPACK_READ_AHEAD, true},
#else
    {"read-ahead decoder: x86-64 only", UNPACK_READ_AHEAD, false},
#endif
};

// The blocks: packer output of each kind, then the same cut short and with
// bits flipped, so that failures are compared too.
std::vector<std::pair<std::string, Bytes>> Blocks() {
    std::vector<std::pair<std::string, Bytes>> blocks;
    for (const Kind kind :
         {Kind::Text, Kind::Binary, Kind::Image, Kind::Runs, Kind::Random, Kind::Pattern}) {
        const Bytes block = Pack(MakeData(kind, 5000, 7), 9);
        const std::string name = KindName(kind);
        blocks.push_back({name, block});
        blocks.push_back(
            {name + " cut to half", Bytes(block.begin(), block.begin() + block.size() / 2)});
        for (std::size_t bit = 19 * 8; bit < block.size() * 8; bit += block.size() * 8 / 5) {
            Bytes flipped = block;
            flipped[bit / 8] ^= std::uint8_t(1u << (bit % 8));
            blocks.push_back({name + " bit " + std::to_string(bit) + " flipped", flipped});
        }
    }
    return blocks;
}

TEST(UnpackVariants, EveryVariantDecodesAlike) {
    const UnpackVariant chosen = UnpackCurrentVariant();
    std::vector<UnpackVariant> carried;
    for (const CarriedCase& c : kCarried) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(UnpackUseVariant(c.variant), c.carried);
        if (c.carried) carried.push_back(c.variant);
    }
    EXPECT_TRUE(UnpackUseVariant(chosen));

    for (const auto& [name, block] : Blocks()) {
        SCOPED_TRACE(name);
        std::uint32_t u = 0;
        ReadPackHeader(block.data(), block.size(), &u, nullptr, nullptr);
        const Outcome first = UnpackWith(carried[0], block, u);
        for (std::size_t i = 1; i < carried.size(); ++i) {
            SCOPED_TRACE("variant " + std::to_string(carried[i]) + " against variant " +
                         std::to_string(carried[0]));
            const Outcome o = UnpackWith(carried[i], block, u);
            EXPECT_EQ(o.result.status, first.result.status);
            EXPECT_EQ(o.result.size, first.result.size);
            EXPECT_EQ(o.result.produced, first.result.produced);
            EXPECT_EQ(Hex(o.out.data(), o.out.size()), Hex(first.out.data(), first.out.size()));
        }
    }
    UnpackUseVariant(chosen);
}

#if defined(_WIN32)
// Stand-ins for the system: kernel32's IsProcessorFeaturePresent answering
// for SSE2 (PF_XMMI64_INSTRUCTIONS_AVAILABLE) and other features.
int __stdcall SystemSaysNo(unsigned long) {
    return 0;
}
int __stdcall SystemSaysYes(unsigned long) {
    return 1;
}
int __stdcall SystemSaysYesExceptSse2(unsigned long feature) {
    return feature != PF_XMMI64_INSTRUCTIONS_AVAILABLE;
}
int __stdcall SystemSaysYesForSse2Only(unsigned long feature) {
    return feature == PF_XMMI64_INSTRUCTIONS_AVAILABLE;
}

// Stand-ins for the processor's CPUID. Leaf 1's EDX has MMX in bit 23; the
// other bits set are features the choice must not take for it (bit 25 SSE,
// bit 26 SSE2, bit 15 CMOV).
constexpr std::uint32_t EDX_MMX = 1u << 23;
constexpr std::uint32_t EDX_OTHERS = 1u << 25 | 1u << 26 | 1u << 15;
std::uint32_t leafsAsked = 0;
bool Answer(std::uint32_t leaf, std::uint32_t registers[4], std::uint32_t maxLeaf,
            std::uint32_t edx) {
    leafsAsked |= 1u << leaf;
    if (leaf > maxLeaf) return false;
    registers[0] = maxLeaf;
    registers[1] = registers[2] = 0;
    registers[3] = leaf == 1 ? edx : 0;
    return true;
}
bool NoCpuid(std::uint32_t leaf, std::uint32_t*) { // a 486 without the ID flag
    leafsAsked |= 1u << leaf;
    return false;
}
bool OnlyLeaf0(std::uint32_t leaf, std::uint32_t* r) {
    return Answer(leaf, r, 0, 0);
}
bool PentiumPro(std::uint32_t leaf, std::uint32_t* r) {
    return Answer(leaf, r, 2, 1u << 15);
}
bool PentiumII(std::uint32_t leaf, std::uint32_t* r) {
    return Answer(leaf, r, 2, EDX_MMX | 1u << 15);
}
bool MmxAlone(std::uint32_t leaf, std::uint32_t* r) {
    return Answer(leaf, r, 1, EDX_MMX);
}
bool PentiumIII(std::uint32_t leaf, std::uint32_t* r) {
    return Answer(leaf, r, 3, EDX_MMX | 1u << 25 | 1u << 15);
}
bool AllButMmx(std::uint32_t leaf, std::uint32_t* r) {
    return Answer(leaf, r, 13, EDX_OTHERS);
}
bool Modern(std::uint32_t leaf, std::uint32_t* r) {
    return Answer(leaf, r, 13, EDX_MMX | EDX_OTHERS);
}

struct ChoiceCase {
    const char* rule;
    ProcessorIdQuery processor;
    ProcessorFeatureQuery system;
    UnpackVariant want;
};

const ChoiceCase kChoices[] = {
    // The system's word on SSE2 comes first: only it knows whether the SSE
    // registers are saved on a task switch.
    {"SSE2 said yes to, MMX processor: SSE2", Modern, SystemSaysYesForSse2Only, UNPACK_SSE2},
    {"every feature said yes to: SSE2", Modern, SystemSaysYes, UNPACK_SSE2},
    {"SSE2 said yes to, the processor not asked: SSE2", nullptr, SystemSaysYes, UNPACK_SSE2},
    // Without it, MMX where the processor has it, whatever the system says.
    {"NT 4.0 on a processor with SSE2 (the system says no): MMX", Modern, SystemSaysNo, UNPACK_MMX},
    {"yes to every feature but SSE2: MMX", Modern, SystemSaysYesExceptSse2, UNPACK_MMX},
    {"Windows 95 (no IsProcessorFeaturePresent) on a Pentium II: MMX", PentiumII, nullptr,
     UNPACK_MMX},
    {"CPUID to leaf 1 with MMX its one feature: MMX", MmxAlone, SystemSaysNo, UNPACK_MMX},
    {"Windows 98 on a Pentium III (SSE, no SSE2): MMX", PentiumIII, SystemSaysNo, UNPACK_MMX},
    // Else the plain scan.
    {"Pentium Pro (no MMX): plain", PentiumPro, SystemSaysNo, UNPACK_PLAIN},
    {"a processor with every other feature but MMX: plain", AllButMmx, SystemSaysNo, UNPACK_PLAIN},
    {"CPUID without leaf 1: plain", OnlyLeaf0, nullptr, UNPACK_PLAIN},
    {"no CPUID at all: plain", NoCpuid, nullptr, UNPACK_PLAIN},
    {"neither answer there: plain", nullptr, nullptr, UNPACK_PLAIN},
};

TEST(UnpackVariants, ChoiceFollowsTheSystemForSse2ThenTheProcessorForMmx) {
    for (const ChoiceCase& c : kChoices) {
        SCOPED_TRACE(c.rule);
        leafsAsked = 0;
        EXPECT_EQ(UnpackChooseVariant(c.processor, c.system), c.want);
        // MMX is read from leaf 1, and only where the system did not choose.
        if (c.processor != nullptr && c.want != UNPACK_SSE2) {
            EXPECT_EQ(leafsAsked, 1u << 1);
        }
    }
}

// This processor's and this system's own answers, asked the way the
// unpacker asks them, give the variant that the first unpack chose.
bool ThisProcessor(std::uint32_t leaf, std::uint32_t registers[4]) {
    return __get_cpuid(leaf, &registers[0], &registers[1], &registers[2], &registers[3]) != 0;
}

TEST(UnpackVariants, FirstUnpackChoosesWithThisSystemsAnswers) {
    const auto query = reinterpret_cast<ProcessorFeatureQuery>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsProcessorFeaturePresent")));
    ASSERT_NE(query, nullptr) << "Wine's kernel32 has IsProcessorFeaturePresent";
    EXPECT_EQ(UnpackCurrentVariant(), UnpackChooseVariant(ThisProcessor, query));
}
#endif

} // namespace
