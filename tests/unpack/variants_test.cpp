// The decoder variants against each other: every variant this build carries
// unpacks packer output and damaged blocks to the same status, count and
// bytes; and on i686 the SSE2 scan is chosen only where the system says it
// supports SSE2.
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
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

// The variants each build carries: the plain scan everywhere, the SSE2 scan
// on i686 and x86-64, the read-ahead decoder on x86-64.
struct CarriedCase {
    const char* rule;
    UnpackVariant variant;
    bool carried;
};

const CarriedCase kCarried[] = {
    {"plain scan: every build", UNPACK_PLAIN, true},
    {"SSE2 scan: i686 and x86-64", UNPACK_SSE2, true},
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
int __stdcall AnswersNo(unsigned long) {
    return 0;
}
int __stdcall AnswersYes(unsigned long) {
    return 1;
}
int __stdcall AnswersYesExceptSse2(unsigned long feature) {
    return feature != PF_XMMI64_INSTRUCTIONS_AVAILABLE;
}
int __stdcall AnswersYesForSse2Only(unsigned long feature) {
    return feature == PF_XMMI64_INSTRUCTIONS_AVAILABLE;
}

struct ChoiceCase {
    const char* rule;
    ProcessorFeatureQuery query;
    UnpackVariant want;
};

const ChoiceCase kChoices[] = {
    {"no IsProcessorFeaturePresent (Windows 95): plain", nullptr, UNPACK_PLAIN},
    {"the system says no (NT 4.0, whatever the processor): plain", AnswersNo, UNPACK_PLAIN},
    {"the system says yes to every feature: SSE2", AnswersYes, UNPACK_SSE2},
    {"yes to every feature but SSE2: plain", AnswersYesExceptSse2, UNPACK_PLAIN},
    {"yes to SSE2 alone: SSE2", AnswersYesForSse2Only, UNPACK_SSE2},
};

TEST(UnpackVariants, SystemChoosesSse2OnlyWhereItSupportsIt) {
    for (const ChoiceCase& c : kChoices) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(UnpackChooseVariant(c.query), c.want);
    }
    // This system's own answer, asked the way the unpacker asks it.
    const auto query = reinterpret_cast<ProcessorFeatureQuery>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsProcessorFeaturePresent")));
    ASSERT_NE(query, nullptr) << "Wine's kernel32 has IsProcessorFeaturePresent";
    EXPECT_EQ(UnpackChooseVariant(query),
              IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) ? UNPACK_SSE2
                                                                          : UNPACK_PLAIN);
}
#endif

} // namespace
