#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vl {

// Starts `program` (looked up in PATH) with `args`, without a shell and detached from this
// process (it is not our child, so it never lingers as a zombie), and waits at most `wait` for
// it to end. True when it ended with status 0, or is still running when the wait is over (a
// program that stays open); false with `error` when it could not be found or started, or ended
// with another status or a signal.
bool Launch(const std::string& program, const std::vector<std::string>& args,
            std::chrono::milliseconds wait, std::string& error);

}  // namespace vl
