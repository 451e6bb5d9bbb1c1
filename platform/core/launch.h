#pragma once

#include <string>
#include <vector>

namespace vl::platform {

// Starts `program` (looked up in PATH) with `args`, without a shell and detached from this
// process (it is not our child, so it never lingers as a zombie). True once the program has
// been executed; false with `error` when it could not be found or started.
bool LaunchDetached(const std::string& program, const std::vector<std::string>& args,
                    std::string& error);

}  // namespace vl::platform
