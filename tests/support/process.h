#pragma once

#include <string>
#include <vector>

namespace vl::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program to its end with `input` on its standard input, collecting both outputs. Gives
// up (killing it) after `timeoutMs`.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         int timeoutMs = 30000);

// Copies the built velmora-cli into `dir`, so that files beside it (velmora-services.json,
// velmora.xml) belong to the test. Returns the copy's path.
std::string CopyCli(const std::string& dir);

}  // namespace vl::test
