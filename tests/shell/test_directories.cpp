#include "tests/shell/test_directories.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

#ifndef _WIN32
#include "hostwin/hostwin.h"
#endif

namespace {

#ifdef _WIN32
bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Makes every missing directory along `fullPath` (below the drive) and notes
// each one made in `created`.
void MakeDirectories(const std::string& fullPath, std::vector<std::string>& created) {
    for (std::size_t at = fullPath.find('\\', 3);; at = fullPath.find('\\', at + 1)) {
        const std::string part = fullPath.substr(0, at);
        if (GetFileAttributesA(part.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ASSERT_TRUE(CreateDirectoryA(part.c_str(), nullptr)) << part;
            created.push_back(part);
        }
        if (at == std::string::npos) break;
    }
}
#endif

} // namespace

TestDirectories::TestDirectories() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    startDirectory_.assign(buffer, length);
    length = GetTempPathA(sizeof buffer, buffer);
    std::string base(buffer, length);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    base += "\\shelltest-" + std::to_string(GetCurrentProcessId());
    drive_ = base.substr(0, 2);
    baseNoDrive_ = base.substr(2);
    rootHadFile_ = FileExists(drive_ + "\\ERROR.LOG");
#else
    hostwin::Reset();
    drive_ = "D:";
    baseNoDrive_ = "\\WORK";
#endif
}

TestDirectories::~TestDirectories() {
#ifdef _WIN32
    SetCurrentDirectoryA(startDirectory_.c_str());
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
        EXPECT_TRUE(RemoveDirectoryA(it->c_str())) << *it;
    }
#endif
}

std::string TestDirectories::MakeCurrent(const std::string& fullPath) {
#ifdef _WIN32
    if (fullPath.size() > 3) MakeDirectories(fullPath, created_);
    EXPECT_TRUE(SetCurrentDirectoryA(fullPath.c_str())) << fullPath;
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, sizeof buffer);
    currentFull_.assign(buffer, length);
    EXPECT_EQ(currentFull_, fullPath);
#else
    hostwin::world().currentDirectory = fullPath;
    currentFull_ = fullPath;
#endif
    return currentFull_;
}

std::string TestDirectories::EnterDriveRoot() {
    MakeCurrent(drive_ + "\\");
    return "";
}

std::string TestDirectories::Enter(const std::string& relative) {
    const std::string noDrive = relative.empty() ? baseNoDrive_ : baseNoDrive_ + "\\" + relative;
    MakeCurrent(drive_ + noDrive);
    return noDrive;
}

std::string TestDirectories::EnterOfLength(std::size_t length) {
    // Parts of up to 100 characters, each after its backslash; no part empty.
    EXPECT_GE(length, baseNoDrive_.size() + 2);
    std::string noDrive = baseNoDrive_;
    char letter = 'a';
    while (noDrive.size() < length) {
        std::size_t room = length - noDrive.size(); // for the backslash and the name
        std::size_t take = std::min<std::size_t>(room, 101);
        if (room - take == 1) --take;
        noDrive += '\\';
        noDrive.append(take - 1, letter++);
    }
    MakeCurrent(drive_ + noDrive);
    return noDrive;
}

bool TestDirectories::LogFileAbsent(const std::string& name) const {
#ifdef _WIN32
    for (const std::string& directory : created_) {
        if (FileExists(directory + "\\" + name)) return false;
    }
    return rootHadFile_ || !FileExists(drive_ + "\\" + name);
#else
    // The host layer has no file calls; what counts here is that the code
    // asked the platform for nothing but the current directory.
    (void)name;
    for (const hostwin::Call& call : hostwin::world().calls) {
        if (call.function != "GetCurrentDirectoryA") return false;
    }
    return true;
#endif
}
