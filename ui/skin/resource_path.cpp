#include "ui/skin/resource_path.h"

#include <mutex>

#include "utils/vl_env.h"
#include "utils/vl_string.h"

namespace skin {

namespace {

std::mutex g_mutex;
std::string g_path;  // empty: beside the executable

}  // namespace

std::string ResourcePath() {
    std::lock_guard lock(g_mutex);
    if (g_path.empty()) {
        return vl::ResourceDir();
    }
    return g_path;
}

void SetResourcePath(const std::string& path) {
    std::lock_guard lock(g_mutex);
    g_path = path;
    if (!g_path.empty() && g_path.back() != '/') {
        g_path += '/';
    }
}

std::string ResourceFile(const std::string& name) {
    if (!name.empty() && name.front() == '/') {
        return name;
    }
    return ResourcePath() + name;
}

}  // namespace skin
