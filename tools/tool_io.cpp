#include "tools/tool_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

const char* toolName = "tool";

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::min<std::size_t>(size, 1u << 30));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool WriteFailed(const char* path, int error) {
    ToolMessage("cannot write %s: %s", path, std::strerror(error));
    return false;
}

} // namespace

void ToolMessage(const char* format, ...) {
    std::fprintf(stderr, "%s: ", toolName);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& data, std::uint64_t limit,
                   const char* most) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        ToolMessage("cannot open %s: %s", path, std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(::fileno(f), &info) == 0 && S_ISREG(info.st_mode) &&
        std::uint64_t(info.st_size) > limit) {
        ToolMessage("%s: %llu bytes, more than %s (%llu)", path, (unsigned long long)info.st_size,
                    most, (unsigned long long)limit);
        std::fclose(f);
        return false;
    }
    data.clear();
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && data.size() <= limit)
        data.insert(data.end(), buffer, buffer + n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) ToolMessage("cannot read %s", path);
    if (!failed && data.size() > limit)
        ToolMessage("%s: more than %s (%llu bytes)", path, most, (unsigned long long)limit);
    return !failed && data.size() <= limit;
}

bool WriteWholeFile(const char* path, const std::uint8_t* data, std::size_t size) {
    // A symbolic link is written through: its target is replaced, and the
    // link keeps pointing at it.
    std::string target = path;
    struct stat link {};
    if (::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(path, nullptr);
        if (!resolved) {
            if (errno == ENOENT) {
                ToolMessage("cannot write %s: a symbolic link to a file that does not exist "
                            "(the link is written through, to its target)",
                            path);
                return false;
            }
            return WriteFailed(path, errno);
        }
        target = resolved;
        std::free(resolved);
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    int error = 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC);
        if (fd < 0) return WriteFailed(path, errno);
        if (!WriteAll(fd, data, size)) error = errno;
        if (::close(fd) != 0 && error == 0) error = errno;
        return error == 0 || WriteFailed(path, error);
    }
    // Renaming a new file into place would leave the file's other names
    // with the old contents, and writing over it in place would lose it
    // on a failure: a file with hard links is left alone.
    if (exists && existing.st_nlink > 1) {
        ToolMessage("cannot write %s: the file has %llu names (hard links), and replacing it "
                    "would leave the others with the old contents; write to another path",
                    path, (unsigned long long)existing.st_nlink);
        return false;
    }

    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        ToolMessage("cannot create a file beside %s: %s", target.c_str(), std::strerror(errno));
        return false;
    }
    // The mode the output has, or the one a new file gets.
    mode_t mode = existing.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, data, size) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error == 0) return true;
    ::unlink(temporary.c_str());
    return WriteFailed(path, error);
}

int RunTool(const char* name, int (*run)(int argc, char** argv), int argc, char** argv) {
    toolName = name;
    // A file size limit makes write() fail with EFBIG instead of ending the
    // program with the output half written.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        ToolMessage("not enough memory");
        return 1;
    }
}
