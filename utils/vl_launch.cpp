#include "utils/vl_launch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vl {

namespace {

std::string FindInPath(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + program;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

struct Report {
    static constexpr int kExecFailed = 1;
    static constexpr int kEnded = 2;
    int kind;
    int value;  // errno, or the wait status
};

enum class ReadResult { Got, Closed, Pending };

// Waits for one report until `wait` has passed.
ReadResult ReadReport(int fd, std::chrono::milliseconds wait, Report& report) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return ReadResult::Pending;
        }
        const ssize_t n = ::read(fd, &report, sizeof report);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n == static_cast<ssize_t>(sizeof report) ? ReadResult::Got : ReadResult::Closed;
    }
}

}  // namespace

bool Launch(const std::string& program, const std::vector<std::string>& args,
            std::chrono::milliseconds wait, std::string& error) {
    const std::string path = FindInPath(program);
    if (path.empty()) {
        error = program + " not found";
        return false;
    }
    // Everything the children touch is prepared here: between fork and exec only
    // async-signal-safe calls are made.
    std::vector<std::string> owned{path};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The report pipe: one Report from the program (exec failed) or from its watcher (how it
    // ended). It closes without a report only when the watcher could not start the program.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::string("pipe failed, ") + std::strerror(errno);
        return false;
    }
    // child: leaves at once so it is reaped here; watcher: orphaned (init reaps it), waits for
    // the program and reports; program: the grandchild of the watcher's fork.
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::string("fork failed, ") + std::strerror(errno);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t watcher = ::fork();
        if (watcher != 0) {
            ::_exit(watcher < 0 ? 1 : 0);
        }
        const pid_t run = ::fork();
        if (run == 0) {
            ::execv(argv[0], argv.data());
            const Report r{Report::kExecFailed, errno};
            (void)!::write(pipeFds[1], &r, sizeof r);
            ::_exit(127);
        }
        if (run < 0) {
            ::_exit(1);
        }
        int status = 0;
        while (::waitpid(run, &status, 0) < 0 && errno == EINTR) {
        }
        const Report r{Report::kEnded, status};
        (void)!::write(pipeFds[1], &r, sizeof r);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ::close(pipeFds[0]);
        error = "fork failed";
        return false;
    }
    Report report{};
    const ReadResult read = ReadReport(pipeFds[0], wait, report);
    ::close(pipeFds[0]);
    switch (read) {
        case ReadResult::Pending:
            return true;  // still running: a program that stays open
        case ReadResult::Closed:
            error = "fork failed";
            return false;
        case ReadResult::Got:
            break;
    }
    if (report.kind == Report::kExecFailed) {
        error = std::string("exec failed, ") + std::strerror(report.value);
        return false;
    }
    if (WIFEXITED(report.value) && WEXITSTATUS(report.value) == 0) {
        return true;
    }
    error = WIFEXITED(report.value)
                ? program + " exited with " + std::to_string(WEXITSTATUS(report.value))
                : program + " ended by signal " + std::to_string(WTERMSIG(report.value));
    return false;
}

}  // namespace vl
