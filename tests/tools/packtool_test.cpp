// packtool as a user meets it, failures first: for each case the exit code,
// a piece of the message, and the output path, which a failure leaves as it
// was (no temporary file is left beside it either).
#include "tests/tools/tool_run.h"
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tool_test;
using namespace unpack_test;
using tool_test::Bytes;

namespace {

// The reference block with another unpacked size U or chunk count.
Bytes Abc3With(std::uint32_t unpacked, std::uint8_t chunks = 1) {
    Bytes b = kAbc3Block;
    for (int i = 0; i < 4; ++i) b[4 + i] = std::uint8_t(unpacked >> (24 - 8 * i));
    b[17] = chunks;
    return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const ToolCase kToolCases[] = {
    // Unpacking: what the unpacker gives, and only that.
    {"a whole block: its bytes",
     {"unpack", "IN", "OUT"},
     [] { return kAbc3Block; },
     -1,
     0,
     "",
     Out::Expected,
     [] { return kAbc3Data; }},
    {"U = 0, one chunk: an empty file",
     {"unpack", "IN", "OUT"},
     [] { return Pack({}); },
     -1,
     0,
     "",
     Out::Expected,
     [] { return Bytes(); }},
    {"U = 0, no chunk (the old empty block): an empty file",
     {"unpack", "IN", "OUT"},
     [] {
         return Block({0, 0, 0, 0}, {});
     },
     -1,
     0,
     "",
     Out::Expected,
     [] { return Bytes(); }},
    {"chunks that end before U: refused with both numbers",
     {"unpack", "IN", "OUT"},
     [] { return Abc3With(100); },
     -1,
     1,
     "the block's chunks give 9 bytes, its header says 100",
     Out::Untouched,
     nullptr},
    {"--pad: U bytes, zeros after the ones written",
     {"unpack", "--pad", "IN", "OUT"},
     [] { return Abc3With(100); },
     -1,
     0,
     "",
     Out::Expected,
     [] { return Concat(kAbc3Data, Bytes(91, 0)); }},
    // Headers that do not fit their file are refused before anything is
    // allocated for the output.
    {"U = 0xFFFFFFFF over a 17-byte stream",
     {"unpack", "IN", "OUT"},
     [] { return Abc3With(0xFFFFFFFF); },
     -1,
     1,
     "unpacked size of 4294967295 bytes, more than its 17 stream bytes can unpack to",
     Out::Untouched,
     nullptr},
    {"U = 256 MiB over a 17-byte stream",
     {"unpack", "IN", "OUT"},
     [] { return Abc3With(0x10000000); },
     -1,
     1,
     "more than its 17 stream bytes can unpack to",
     Out::Untouched,
     nullptr},
    {"a file shorter than its P",
     {"unpack", "IN", "OUT"},
     [] { return Bytes(kAbc3Block.begin(), kAbc3Block.end() - 5); },
     -1,
     1,
     "the header gives a stream of 17 bytes, the file holds 12",
     Out::Untouched,
     nullptr},
    {"a damaged block: the unpacker's reason and the bytes written by then",
     {"unpack", "IN", "OUT"},
     [] { return Abc3With(8); },
     -1,
     1,
     "bad block: data longer than the unpacked size (after 3 of 8 bytes)",
     Out::Untouched,
     nullptr},
    {"not a packed block",
     {"unpack", "IN", "OUT"},
     [] { return kPrevious; },
     -1,
     1,
     "not a packed block",
     Out::Untouched,
     nullptr},
    {"unpacking past the file size limit",
     {"unpack", "IN", "OUT"},
     [] { return Pack(MakeData(Kind::Text, 100000)); },
     4096,
     1,
     "cannot write",
     Out::Untouched,
     nullptr},
    {"unpacking into a directory that does not exist",
     {"unpack", "IN", "OUT"},
     [] { return kAbc3Block; },
     -1,
     1,
     "cannot create a file beside",
     Out::Absent,
     nullptr},
    // Outputs that are links.
    {"unpacking through a symbolic link: its target replaced, the link kept",
     {"unpack", "IN", "OUT"},
     [] { return kAbc3Block; },
     -1,
     0,
     "",
     Out::ThroughLink,
     [] { return kAbc3Data; }},
    {"unpacking onto a file with a second name (a hard link): refused, both keep their contents",
     {"unpack", "IN", "OUT"},
     [] { return kAbc3Block; },
     -1,
     1,
     "the file has 2 names (hard links)",
     Out::HardLinked,
     nullptr},
    {"packing through a symbolic link to a missing file: refused, no file made",
     {"pack", "IN", "OUT"},
     [] { return MakeData(Kind::Text, 100); },
     -1,
     1,
     "a symbolic link to a file that does not exist",
     Out::DanglingLink,
     nullptr},
    // Packing.
    {"packing: the packer's block",
     {"pack", "-9", "IN", "OUT"},
     [] { return MakeData(Kind::Text, 5000); },
     -1,
     0,
     "",
     Out::Expected,
     [] { return Pack(MakeData(Kind::Text, 5000)); }},
    {"packing past the file size limit",
     {"pack", "IN", "OUT"},
     [] { return MakeData(Kind::Random, 100000); },
     4096,
     1,
     "cannot write",
     Out::Untouched,
     nullptr},
    {"packing a file that does not exist",
     {"pack", "IN", "OUT"},
     nullptr,
     -1,
     1,
     "cannot open",
     Out::Untouched,
     nullptr},
    {"a usage error",
     {"unpack", "IN"},
     [] { return kAbc3Block; },
     -1,
     2,
     "usage:",
     Out::Untouched,
     nullptr},
};

TEST(Packtool, FailuresLoseNothingAndInventNothing) {
    for (const ToolCase& c : kToolCases) CheckToolCase(PACKTOOL_PATH, c);
}

// Files larger than any block (sparse, so that they take no room): refused
// from their size, before anything is read.
struct HugeCase {
    const char* rule;
    const char* command;
    std::uint64_t size;
    const char* message;
};

const HugeCase kHugeCases[] = {
    {"packing more than 4 GiB", "pack", (std::uint64_t(1) << 32) + 1,
     "4294967297 bytes, more than a packed block holds (4294967295)"},
    {"unpacking a file longer than a header and the longest stream", "unpack",
     (std::uint64_t(1) << 32) + 18, "more than a packed block holds (4294967313)"},
};

TEST(Packtool, HugeFilesAreRefusedBeforeReading) {
    for (const HugeCase& c : kHugeCases) {
        SCOPED_TRACE(c.rule);
        ScratchDir dir;
        ASSERT_FALSE(dir.path().empty());
        const fs::path in = dir.path() / "in", out = dir.path() / "out";
        WriteBytes(in, kAbc3Block);
        std::error_code error;
        fs::resize_file(in, c.size, error);
        if (error) GTEST_SKIP() << "no sparse file of " << c.size << " bytes here";
        WriteBytes(out, kPrevious);
        const ToolRun run = RunProgram(PACKTOOL_PATH, {c.command, in.string(), out.string()}, -1);
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_EQ(ReadBytes(out), kPrevious);
    }
}

TEST(Packtool, OutputKeepsTheModeOfTheFileItReplaces) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const fs::path in = dir.path() / "in", out = dir.path() / "out";
    WriteBytes(in, kAbc3Block);
    WriteBytes(out, kPrevious);
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const ToolRun run = RunProgram(PACKTOOL_PATH, {"unpack", in.string(), out.string()}, -1);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadBytes(out), kAbc3Data);
    EXPECT_EQ(fs::status(out).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

} // namespace
