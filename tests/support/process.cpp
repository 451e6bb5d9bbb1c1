#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/temp_dir.h"

namespace vl::test {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& in, const std::string& out,
            const std::string& err) {
    std::vector<char*> cargs;
    for (const auto& a : argv)
        cargs.push_back(const_cast<char*>(a.c_str()));
    cargs.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {  // only async-signal-safe calls until exec
        const int fds[3] = {::open(in.c_str(), O_RDONLY),
                            ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600),
                            ::open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600)};
        for (int i = 0; i < 3; ++i)
            ::dup2(fds[i], i);
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    return pid;
}

int Reap(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (std::chrono::steady_clock::now() >= deadline)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutMs) {
    // The standard streams go through files: nothing to pump while the program runs.
    TempDir io;
    io.Write("in", input);
    const pid_t pid = Spawn(argv, io.File("in"), io.File("out"), io.File("err"));
    ProcessResult result;
    result.exitCode = Reap(pid, timeoutMs);
    if (result.exitCode == -2) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        result.exitCode = -1;
    }
    result.out = io.Read("out");
    result.err = io.Read("err");
    return result;
}

std::string CopyCli(const std::string& dir) {
    const std::string target = dir + "/velmora-cli";
    std::filesystem::copy_file(VELMORA_CLI_PATH, target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

}  // namespace vl::test
