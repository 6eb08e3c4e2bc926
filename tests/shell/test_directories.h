// Current directories for the error-log tests. On the host the Win32 layer is
// steered; under Wine real directories are made below the temporary
// directory, entered with SetCurrentDirectoryA and removed again afterwards.
// Either way a test names a place and learns its path without the drive.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TestDirectories {
public:
    TestDirectories();
    ~TestDirectories(); // back to the starting directory, created directories removed

    TestDirectories(const TestDirectories&) = delete;
    TestDirectories& operator=(const TestDirectories&) = delete;

    // Each makes a place current and returns its path without the drive, as
    // the platform spells it (no trailing backslash; empty for the root).
    std::string EnterDriveRoot();
    std::string Enter(const std::string& relative); // below the base; "" is the base
    std::string EnterOfLength(std::size_t length);  // below the base, `length` characters

    // The full path of the current place, drive included, as the platform
    // reports it.
    std::size_t CurrentFullLength() const { return currentFull_.size(); }

    const std::string& BaseNoDrive() const { return baseNoDrive_; }

    // Under Wine: no file of this name lies in any directory made here, nor
    // in the drive root unless one lay there already. On the host: the code
    // asked the platform for nothing but the current directory.
    bool LogFileAbsent(const std::string& name) const;

private:
    std::string MakeCurrent(const std::string& fullPath);

    std::string drive_; // "D:"
    std::string baseNoDrive_;
    std::string currentFull_;
    std::string startDirectory_;
    bool rootHadFile_ = false;
    std::vector<std::string> created_; // in the order made, removed deepest first
};
