// packtool as a user meets it, failures first: for each case the exit code,
// a piece of the message, and the output path, which a failure leaves as it
// was (no temporary file is left beside it either).
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace unpack_test;

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;  // 128 + the signal when one ended it
    std::string output; // stdout and stderr
};

// Runs packtool with `args`; a `fileSizeLimit` of 0 or more caps the size of
// the files it writes.
ToolRun RunPacktool(const std::vector<std::string>& args, long fileSizeLimit) {
    ToolRun run;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        if (fileSizeLimit >= 0) {
            const rlimit limit = {rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv = {const_cast<char*>(PACKTOOL_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(PACKTOOL_PATH, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

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

const Bytes kPrevious = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', '\n'};

enum class Out {
    Untouched, // the previous content stays
    Absent,    // the output lies in a directory that does not exist
    Expected,  // the case's expected bytes
};

struct ToolCase {
    const char* rule;
    std::vector<std::string> args; // "IN" and "OUT" stand for the two paths
    Bytes (*input)();              // nullptr: no input file
    long fileSizeLimit;            // -1: none
    int exitCode;
    const char* message; // a piece of the output, "" for none
    Out out;
    Bytes (*expected)();
};

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

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "packtool-test-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

TEST(Packtool, FailuresLoseNothingAndInventNothing) {
    for (const ToolCase& c : kToolCases) {
        SCOPED_TRACE(c.rule);
        ScratchDir dir;
        ASSERT_FALSE(dir.path().empty());
        const fs::path in = dir.path() / "in";
        const fs::path out =
            c.out == Out::Absent ? dir.path() / "missing" / "out" : dir.path() / "out";
        if (c.input) WriteBytes(in, c.input());
        if (c.out != Out::Absent) WriteBytes(out, kPrevious);
        const std::vector<std::string> before = dir.Names();

        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(a == "IN" ? in.string() : a == "OUT" ? out.string() : a);
        const ToolRun run = RunPacktool(args, c.fileSizeLimit);

        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        if (c.exitCode == 0) {
            EXPECT_EQ(run.output, "") << "a success says nothing";
        }
        switch (c.out) {
        case Out::Untouched: EXPECT_EQ(ReadBytes(out), kPrevious); break;
        case Out::Absent: EXPECT_FALSE(fs::exists(out.parent_path())); break;
        case Out::Expected: {
            const Bytes got = ReadBytes(out);
            const Bytes want = c.expected();
            EXPECT_EQ(got.size(), want.size());
            EXPECT_TRUE(got == want) << "content differs";
            break;
        }
        }
        EXPECT_EQ(dir.Names(), before) << "files left beside the output";
    }
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
        const ToolRun run = RunPacktool({c.command, in.string(), out.string()}, -1);
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
    const ToolRun run = RunPacktool({"unpack", in.string(), out.string()}, -1);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadBytes(out), kAbc3Data);
    EXPECT_EQ(fs::status(out).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

} // namespace
