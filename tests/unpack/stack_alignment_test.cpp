// The decoder entered with the stack at 4, 8 and 12 bytes off 16-byte
// alignment, as Win32 may enter a window procedure, a hook, a thread entry or
// a timer callback: the system promises 4-byte alignment only. The entries
// are called through a small trampoline that sets the stack pointer, so the
// runtime's realignment of main's stack does not hide a fault. i686 only.
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace unpack_test;

extern "C" {
// Calls `function(context)` with the stack pointer `offset` bytes above a
// 16-byte boundary at the call (where a caller that keeps 16-byte alignment
// has it at 0), and records that stack pointer in stackAtCall.
std::uint32_t stackAtCall;
void CallWithStackOffset(void (*function)(void*), void* context, std::uint32_t offset);
}

asm(".text\n"
    ".globl _CallWithStackOffset\n"
    "_CallWithStackOffset:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    andl $-16, %esp\n"
    "    subl $64, %esp\n"
    "    addl 16(%ebp), %esp\n" // offset
    "    subl $12, %esp\n"
    "    pushl 12(%ebp)\n" // context: the stack pointer is now offset above a boundary
    "    movl %esp, _stackAtCall\n"
    "    call *8(%ebp)\n"
    "    movl %ebp, %esp\n"
    "    popl %ebp\n"
    "    ret\n");

namespace {

struct Call {
    bool sized;
    std::uint8_t out[16];
    UnpackResult result;
};

void UnpackAbc3(void* context) {
    Call& call = *static_cast<Call*>(context);
    call.result = call.sized ? UnpackBlockSized(kAbc3Block.data(), kAbc3Block.size(), call.out,
                                                sizeof call.out)
                             : UnpackBlock(kAbc3Block.data(), call.out);
}

struct VariantCase {
    const char* rule;
    UnpackVariant variant;
};

const VariantCase kVariants[] = {
    {"plain scan: processors without MMX", UNPACK_PLAIN},
    {"MMX decoder: processors with MMX, systems without SSE2", UNPACK_MMX},
    {"SSE2 decoder: where the system supports SSE2", UNPACK_SSE2},
};

TEST(UnpackStackAlignment, DecodesWithTheStackOffEveryWay) {
    const UnpackVariant chosen = UnpackCurrentVariant();
    for (const VariantCase& v : kVariants) {
        ASSERT_TRUE(UnpackUseVariant(v.variant)) << v.rule;
        for (const bool sized : {false, true}) {
            for (const std::uint32_t offset : {0u, 4u, 8u, 12u}) {
                SCOPED_TRACE(std::string(v.rule) + (sized ? ", sized entry" : ", plain entry") +
                             ", stack " + std::to_string(offset) + " bytes off");
                Call call{};
                call.sized = sized;
                CallWithStackOffset(UnpackAbc3, &call, offset);
                EXPECT_EQ(stackAtCall % 16, offset);
                EXPECT_EQ(call.result.status, UNPACK_OK);
                EXPECT_EQ(call.result.size, kAbc3Data.size());
                EXPECT_EQ(Hex(call.out, kAbc3Data.size()), Hex(kAbc3Data.data(), kAbc3Data.size()));
            }
        }
    }
    UnpackUseVariant(chosen);
}

} // namespace
