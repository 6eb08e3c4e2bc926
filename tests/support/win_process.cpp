#include "tests/support/win_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace testsupport {

std::string WindowsPath(const std::string& path) {
    std::string result = path;
    std::replace(result.begin(), result.end(), '/', '\\');
    if (!path.empty() && path[0] == '/') result = "Z:" + result;
    return result;
}

std::string BuildFile(const char* variable) {
    const char* value = std::getenv(variable);
    EXPECT_NE(value, nullptr) << "the test needs " << variable << " (set by CTest)";
    return value ? WindowsPath(value) : std::string();
}

ScratchDir::ScratchDir(const char* tag) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (unsigned n = GetCurrentProcessId() * 1000u;; ++n) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%s%s-%u", temp, tag, n);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create a scratch directory " << name;
            break;
        }
    }
}

ScratchDir::~ScratchDir() {
    if (path_.empty()) return;
    for (const std::string& name : Files()) DeleteFileA(File(name).c_str());
    RemoveDirectoryA(path_.c_str());
}

bool ScratchDir::Put(const std::string& source, const std::string& name) const {
    return CopyFileA(source.c_str(), File(name).c_str(), FALSE) != 0;
}

std::vector<std::string> ScratchDir::Files() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(File("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Sets variables for the life of the object, restoring the old values after.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Environment& environment) {
        for (const auto& [name, value] : environment) {
            char old[32768];
            DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
            saved_.push_back(
                {name, length ? std::string(old, length) : std::string(), length != 0});
            SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
        }
    }
    ~ScopedEnvironment() {
        for (const Saved& s : saved_)
            SetEnvironmentVariableA(s.name.c_str(), s.present ? s.value.c_str() : nullptr);
    }

private:
    struct Saved {
        std::string name, value;
        bool present;
    };
    std::vector<Saved> saved_;
};

} // namespace

ProcessResult RunProcess(const std::string& program, const std::string& commandLine,
                         const std::string& workingDirectory, const Environment& environment,
                         DWORD timeoutMs) {
    ScopedEnvironment scoped(environment);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ProcessResult result;
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                        &process)) {
        result.createError = GetLastError();
        return result;
    }
    result.started = true;
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << program << " did not end within " << timeoutMs << " ms";
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

std::string ReadWholeFile(const std::string& path, bool* exists) {
    std::string content;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (exists) *exists = file != nullptr;
    if (!file) return content;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) content.append(buffer, n);
    std::fclose(file);
    return content;
}

} // namespace testsupport
