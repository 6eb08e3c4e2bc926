// The error-log settings and the two path helpers behind them. The settings
// are only recorded: nothing here creates, opens or writes a file.
#include "shell/shell.h"

#include <cstring>

ErrorLogSettings errorLogSettings;
std::int32_t errorLogReady;

namespace {

constexpr const char* ERROR_LOG_FILE_NAME = "ERROR.LOG";
constexpr const char* ERROR_LOG_PREFIX = "Error: ";
constexpr std::size_t ERROR_LOG_PATH_MAX = ERROR_LOG_PATH_SIZE - 1;
constexpr std::size_t ERROR_LOG_PREFIX_MAX = ERROR_LOG_PREFIX_SIZE - 1;
constexpr std::uint32_t SETUP_PATH_BUFFER_SIZE = 260;

} // namespace

std::int32_t SetupErrorLog(const char* directory, const char* fileName, std::int32_t modeFlag) {
    if (errorLogReady) return -1;
    if (!fileName) fileName = ERROR_LOG_FILE_NAME;

    char path[SETUP_PATH_BUFFER_SIZE] = {};
    if (BuildFilePath(1, directory, fileName, path, sizeof path) == -1) return -1;

    const std::uint32_t mode = modeFlag ? ERROR_LOG_MODE_DEFAULT : ERROR_LOG_MODE_OTHER;
    if (InitErrorLogSettings(&errorLogSettings, path, mode) != 1) return -1;
    SetErrorLogPrefix(&errorLogSettings, ERROR_LOG_PREFIX); // valid record, 7 characters

    errorLogReady = 1;
    return 1;
}

std::int32_t InitErrorLogSettings(ErrorLogSettings* record, const char* path, std::uint32_t mode) {
    *record = ErrorLogSettings{};
    const std::uint32_t access = mode & 3;
    if (access == 0 || access == 3) return -1;
    const std::size_t length = std::strlen(path);
    if (length > ERROR_LOG_PATH_MAX) return -1;

    std::memcpy(record->path, path, length + 1);
    record->mode = mode;
    record->valid = 1;
    return 1;
}

std::int32_t SetErrorLogPrefix(ErrorLogSettings* record, const char* text) {
    if (!record->valid) return -1;
    if (!text) {
        std::memset(record->prefix, 0, sizeof record->prefix);
        return 1;
    }
    const std::size_t length = std::strlen(text);
    if (length > ERROR_LOG_PREFIX_MAX) return -1;
    std::memcpy(record->prefix, text, length + 1);
    return 1;
}

// Every text is written at the running length, so the destination's earlier
// content never counts. Each check leaves room for what still follows and the
// terminator; the sums are taken in 64 bits so that no size can wrap them.
std::int32_t BuildFilePath(std::int32_t withCurrentDirectory, const char* directory,
                           const char* fileName, char* destination, std::uint32_t destinationSize) {
    std::uint64_t length = 0;

    if (withCurrentDirectory) {
        // Room for the directory with its terminator, and one backslash more.
        if (destinationSize < 2) return -1;
        if (GetCurrentDirectoryNoDrive(destination, destinationSize - 2) == -1) return -1;
        length = std::strlen(destination);
        destination[length++] = '\\';
        destination[length] = '\0';
    }

    // An empty directory text adds nothing, not even a backslash.
    if (directory && directory[0] != '\0') {
        const std::size_t directoryLength = std::strlen(directory);
        if (length + directoryLength + 2 >= destinationSize) return -1;
        std::memcpy(destination + length, directory, directoryLength + 1);
        length += directoryLength;
        if (directory[directoryLength - 1] != '\\') {
            destination[length++] = '\\';
            destination[length] = '\0';
        }
    }

    const std::size_t fileNameLength = std::strlen(fileName);
    if (length + fileNameLength >= destinationSize) return -1;
    std::memcpy(destination + length, fileName, fileNameLength + 1);
    return 1;
}

// A result of `size` or more is the room the directory needs, not its length:
// then nothing was written and the buffer's content is not the directory.
std::int32_t GetCurrentDirectoryNoDrive(char* destination, std::uint32_t size) {
    const DWORD length = GetCurrentDirectoryA(size, destination);
    if (length == 0 || length >= size) return -1;

    std::size_t end = length;
    if (end >= 2 && destination[1] == ':') {
        std::memmove(destination, destination + 2, end - 2 + 1);
        end -= 2;
    }
    if (end > 0 && destination[end - 1] == '\\') destination[--end] = '\0';
    return 1;
}
