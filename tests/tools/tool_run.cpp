#include "tests/tools/tool_run.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tool_test {

const Bytes kPrevious = {'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', '\n'};

ToolRun RunProgram(const char* path, const std::vector<std::string>& args, long fileSizeLimit,
                   const char* environment) {
    ToolRun run;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        if (environment) ::putenv(const_cast<char*>(environment));
        if (fileSizeLimit >= 0) {
            const rlimit limit = {rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv = {const_cast<char*>(path)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(path, argv.data());
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

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "tool-test-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

void CheckToolCase(const char* toolPath, const ToolCase& c, const Bytes* second) {
    SCOPED_TRACE(c.rule);
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const fs::path in = dir.path() / "in";
    const fs::path out = c.out == Out::Absent ? dir.path() / "missing" / "out" : dir.path() / "out";
    const fs::path in2 = dir.path() / "in2";
    const fs::path target = dir.path() / "target", other = dir.path() / "other";
    if (c.input) WriteBytes(in, c.input());
    if (second) WriteBytes(in2, *second);
    switch (c.out) {
    case Out::Absent: break;
    case Out::ThroughLink:
        WriteBytes(target, kPrevious);
        fs::create_symlink("target", out);
        break;
    case Out::HardLinked:
        WriteBytes(out, kPrevious);
        fs::create_hard_link(out, other);
        break;
    case Out::DanglingLink: fs::create_symlink("gone", out); break;
    default: WriteBytes(out, kPrevious); break;
    }
    const std::vector<std::string> before = dir.Names();

    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(a == "IN"    ? in.string()
                       : a == "IN2" ? in2.string()
                       : a == "OUT" ? out.string()
                                    : a);
    const ToolRun run = RunProgram(toolPath, args, c.fileSizeLimit, c.environment);

    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    if (c.exitCode == 0) {
        EXPECT_EQ(run.output, "") << "a success says nothing";
    }
    std::error_code error;
    switch (c.out) {
    case Out::Untouched: EXPECT_EQ(ReadBytes(out), kPrevious); break;
    case Out::Absent: EXPECT_FALSE(fs::exists(out.parent_path())); break;
    case Out::Expected:
    case Out::ThroughLink: {
        const Bytes got = ReadBytes(c.out == Out::Expected ? out : target);
        const Bytes want = c.expected();
        EXPECT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want) << "content differs";
        if (c.out == Out::ThroughLink) {
            EXPECT_EQ(fs::read_symlink(out, error), "target") << "the link is gone";
        }
        break;
    }
    case Out::HardLinked:
        EXPECT_EQ(ReadBytes(out), kPrevious);
        EXPECT_EQ(ReadBytes(other), kPrevious);
        EXPECT_TRUE(fs::equivalent(out, other, error)) << "the two names are no longer one file";
        break;
    case Out::DanglingLink:
        EXPECT_EQ(fs::read_symlink(out, error), "gone");
        EXPECT_FALSE(fs::exists(dir.path() / "gone"));
        break;
    }
    EXPECT_EQ(dir.Names(), before) << "files left beside the output";
}

} // namespace tool_test
