#include "utils/vl_env.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "utils/vl_string.h"

namespace vl {

std::u16string ExeDir() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) {
        // May run before logging exists: standard error stands in for the debugger output.
        std::fprintf(stderr, "GetModuleFileNameA failed with %zd, last error %d\n", n, errno);
        return {};
    }
    path.resize(static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        std::fprintf(stderr, "PathRemoveFileSpec(\"%s\") failed\n", path.c_str());
        return {};
    }
    path.resize(slash == 0 ? 1 : slash);
    return ToWString(path);
}

}  // namespace vl
