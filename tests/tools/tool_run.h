// Running a host tool as a user does, for the tools' tests: the program run
// with its arguments (and, when asked, a cap on the size of the files it
// writes), its exit code and everything it printed; scratch directories; and
// the table of failure cases both tools are held to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tool_test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct ToolRun {
    int exitCode = -1;  // 128 + the signal when one ended it
    std::string output; // stdout and stderr
};

// Runs the program at `path` with `args`; a `fileSizeLimit` of 0 or more caps
// the size of the files it writes, and `environment` ("NAME=value"), when
// given, is added to its environment.
ToolRun RunProgram(const char* path, const std::vector<std::string>& args, long fileSizeLimit = -1,
                   const char* environment = nullptr);

Bytes ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const Bytes& bytes);

// A fresh directory under the system's temporary one, removed with
// everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    std::vector<std::string> Names() const; // sorted

private:
    fs::path path_;
};

// What a run leaves at the output path.
enum class Out {
    Untouched,    // the previous content stays
    Absent,       // the output lies in a directory that does not exist
    Expected,     // the case's expected bytes
    ThroughLink,  // the output is a symbolic link to "target": the expected bytes land
                  // there, and the link stays
    HardLinked,   // the output and "other" are one file: both keep the previous content
    DanglingLink, // the output is a symbolic link to a missing "gone": it stays so
};

// The bytes at the output path before a run that may replace them.
extern const Bytes kPrevious;

struct ToolCase {
    const char* rule;
    std::vector<std::string> args; // "IN" and "OUT" stand for the input and the output
    Bytes (*input)();              // nullptr: no input file
    long fileSizeLimit;            // -1: none
    int exitCode;
    const char* message; // a piece of the output, "" for none
    Out out;
    Bytes (*expected)();
    const char* environment = nullptr; // "NAME=value" for the run, or none
};

// Runs one case in a scratch directory of its own: the exit code, the
// message (a success prints nothing), the output path, and no other file
// left beside it. `second`, when given, is written to a second input file
// that "IN2" in the arguments stands for.
void CheckToolCase(const char* toolPath, const ToolCase& c, const Bytes* second = nullptr);

} // namespace tool_test
