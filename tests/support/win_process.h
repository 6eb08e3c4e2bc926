// End-to-end test support (Win32 only): scratch directories, copying the
// programs under test into them, and starting a program with an exact
// command line through CreateProcessA, as a player's shortcut or another
// program would (Wine's own `wine prog args` re-quotes the arguments).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A path that CTest handed over in Unix form ("/work/x") in Wine's form
// ("Z:\work\x"); other paths are returned with '/' turned into '\'.
std::string WindowsPath(const std::string& path);

// The value of an environment variable that names a file of the build (set by
// CTest), in Windows form; fails the current test when it is missing.
std::string BuildFile(const char* variable);

// A fresh, empty directory under the temporary directory, removed with its
// files when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const char* tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }
    // Copies `source` into the directory under `name`; true on success.
    bool Put(const std::string& source, const std::string& name) const;
    // The names of the files in the directory, sorted.
    std::vector<std::string> Files() const;

private:
    std::string path_;
};

struct ProcessResult {
    bool started = false;  // CreateProcessA succeeded
    DWORD createError = 0; // GetLastError when it did not
    DWORD exitCode = 0;    // the process's exit code when it started
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Starts `program` with exactly `commandLine` in `workingDirectory`, with the
// variables of `environment` added to this process's own (an empty value
// removes the variable), waits for it to end and reports its exit code.
ProcessResult RunProcess(const std::string& program, const std::string& commandLine,
                         const std::string& workingDirectory, const Environment& environment = {},
                         DWORD timeoutMs = 60000);

// The whole content of a file; `exists` tells whether it could be opened.
std::string ReadWholeFile(const std::string& path, bool* exists = nullptr);

} // namespace testsupport
