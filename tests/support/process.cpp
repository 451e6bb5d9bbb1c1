#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace vl::test {

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutMs) {
    ProcessResult result;
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        return result;
    }
    std::vector<std::string> args = argv;
    std::vector<char*> cargs;
    for (auto& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    std::size_t written = 0;
    if (input.empty()) {
        ::close(in[1]);
        in[1] = -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool outOpen = true, errOpen = true;
    char buf[4096];
    while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
        if (!outOpen)
            fds[0].fd = -1;
        if (!errOpen)
            fds[1].fd = -1;
        if (::poll(fds, 3, 50) <= 0)
            continue;
        if (fds[0].revents != 0) {
            const ssize_t n = ::read(out[0], buf, sizeof(buf));
            if (n <= 0)
                outOpen = false;
            else
                result.out.append(buf, static_cast<std::size_t>(n));
        }
        if (fds[1].revents != 0) {
            const ssize_t n = ::read(err[0], buf, sizeof(buf));
            if (n <= 0)
                errOpen = false;
            else
                result.err.append(buf, static_cast<std::size_t>(n));
        }
        if (in[1] >= 0 && fds[2].revents != 0) {
            const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
            if (n > 0)
                written += static_cast<std::size_t>(n);
            if (n <= 0 || written == input.size()) {
                ::close(in[1]);
                in[1] = -1;
            }
        }
    }
    if (in[1] >= 0)
        ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    if (outOpen || errOpen)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

std::string CopyCli(const std::string& dir) {
    const std::string target = dir + "/velmora-cli";
    std::filesystem::copy_file(VELMORA_CLI_PATH, target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

}  // namespace vl::test
