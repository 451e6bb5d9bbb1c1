#pragma once

#include <string>

namespace vl::platform {

// True when the program can open its windows: an X display answers (or Qt was told to use
// another platform). Otherwise false with the reason.
bool DisplayAvailable(std::string& why);

}  // namespace vl::platform
