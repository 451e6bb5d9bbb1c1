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

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutMs) {
    // The standard streams go through files: nothing to pump while the program runs.
    TempDir io;
    io.Write("in", input);
    const std::string in = io.File("in"), out = io.File("out"), err = io.File("err");
    std::vector<std::string> args = argv;
    std::vector<char*> cargs;
    for (auto& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fds[3] = {::open(in.c_str(), O_RDONLY),
                            ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                            ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
        for (int i = 0; i < 3; ++i)
            ::dup2(fds[i], i);
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
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
