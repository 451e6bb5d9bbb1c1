#pragma once

#include <string>

// Facts about the host the program runs on.
namespace vl {

// The executable's directory without a trailing separator, or empty.
std::u16string ExeDir();

}  // namespace vl
