#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vl::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Starts `argv` with standard input from the file `in` and both outputs appended to `out` and
// `err`. The child's id.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& in, const std::string& out,
            const std::string& err);

// Waits at most `timeoutMs` for `pid` to end: its exit status, -1 when killed by a signal, -2
// when it is still running.
int Reap(pid_t pid, int timeoutMs);

// Runs a program to its end with `input` on its standard input, collecting both outputs. Gives
// up (killing it) after `timeoutMs`.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         int timeoutMs = 30000);

// Copies the built velmora-cli into `dir`, so that files beside it (velmora-services.json,
// velmora.xml) belong to the test. Returns the copy's path.
std::string CopyCli(const std::string& dir);

}  // namespace vl::test
