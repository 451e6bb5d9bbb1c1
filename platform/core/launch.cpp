#include "platform/core/launch.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vl::platform {

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

}  // namespace

bool LaunchDetached(const std::string& program, const std::vector<std::string>& args,
                    std::string& error) {
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

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::string("pipe failed, ") + std::strerror(errno);
        return false;
    }
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
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::execv(argv[0], argv.data());
            const int err = errno;
            (void)!::write(pipeFds[1], &err, sizeof(err));
            ::_exit(127);
        }
        ::_exit(grandchild < 0 ? 1 : 0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The write end closes when the grandchild executes the program (close-on-exec) or exits.
    int execErrno = 0;
    ssize_t n;
    while ((n = ::read(pipeFds[0], &execErrno, sizeof(execErrno))) < 0 && errno == EINTR) {
    }
    ::close(pipeFds[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "fork failed";
        return false;
    }
    if (n == static_cast<ssize_t>(sizeof(execErrno))) {
        error = std::string("exec failed, ") + std::strerror(execErrno);
        return false;
    }
    return true;
}

}  // namespace vl::platform
