#include "utils/vl_env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "utils/vl_file.h"
#include "utils/vl_folders.h"
#include "utils/vl_host_facts.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"
#include "utils/vl_uuid.h"

namespace vl {

namespace {

std::mutex g_dpiMutex;
std::function<std::uint32_t()> g_dpiSource;

std::string g_versionText;       // guarded by EnvLock
std::string g_deviceId;          // guarded by EnvLock
std::string g_commonQuery;       // guarded by EnvLock
const std::string g_userIdSlot;  // the user id is never sent

constexpr std::size_t kMaxDeviceIdLength = 127;

bool ValidDeviceId(const std::string& v) {
    if (v.empty() || v.size() > kMaxDeviceIdLength)
        return false;
    for (const char c : v) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

// The stored value, or empty when there is none or it cannot be used.
std::string ReadDeviceId(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        VL_WARN("read device id from \"{}\" failed, {}", path, std::strerror(errno));
        return {};
    }
    std::string value(kMaxDeviceIdLength + 3, '\0');
    in.read(value.data(), static_cast<std::streamsize>(value.size()));
    value.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        VL_WARN("read device id from \"{}\" failed", path);
        return {};
    }
    // One line end, as an editor leaves it, is not part of the value.
    if (!value.empty() && value.back() == '\n')
        value.pop_back();
    if (!value.empty() && value.back() == '\r')
        value.pop_back();
    if (!ValidDeviceId(value)) {
        VL_WARN("device id in \"{}\" is not usable, a new one replaces it", path);
        return {};
    }
    return value;
}

// Writes through a fresh temporary file so a crash never leaves half an identifier behind, and
// replaces a link at the path instead of writing where it points.
bool StoreDeviceId(const std::string& path, const std::string& id) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string error;
    if (!WriteFileAtomically(path, id, error, LinkPolicy::Replace)) {
        VL_ERROR("store device id to \"{}\" failed, {}", path, error);
        return false;
    }
    return true;
}

}  // namespace

std::recursive_mutex& EnvLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::uint32_t OSDpi() {
    std::function<std::uint32_t()> source;
    {
        std::lock_guard lock(g_dpiMutex);
        source = g_dpiSource;
    }
    const std::uint32_t dpi = source ? source() : 0;
    return dpi == 0 ? 96 : dpi;
}

void SetDpiSource(std::function<std::uint32_t()> source) {
    std::lock_guard lock(g_dpiMutex);
    g_dpiSource = std::move(source);
}

std::uint64_t VersionNumber() {
    return (std::uint64_t{VELMORA_VERSION_MAJOR} * 1000 + VELMORA_VERSION_MINOR) * 1000 +
           VELMORA_VERSION_PATCH;
}

std::string VersionString() {
    std::lock_guard lock(EnvLock());
    if (g_versionText.empty()) {
        const std::uint64_t n = VersionNumber();
        g_versionText = std::to_string(n / 1000000) + "." + std::to_string(n % 1000000 / 1000) +
                        "." + std::to_string(n % 1000);
    }
    return g_versionText;
}

std::string DeviceIdPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.config";
    } else {
        base = PrivateTmpFolder();
        if (base.empty()) {
            return {};
        }
    }
    return base + "/VelMora/device_id";
}

std::string FindOrCreateDeviceId(const std::string& path) {
    std::string id = path.empty() ? std::string() : ReadDeviceId(path);
    if (!id.empty()) {
        return id;
    }
    if (!UuidGenWithoutDash(id)) {
        VL_WARN("vl::UuidGenWithoutDash failed");
        return {};
    }
    if (!path.empty())
        StoreDeviceId(path, id);  // a failed store still gives this run its identifier
    return id;
}

std::string DeviceId() {
    std::lock_guard lock(EnvLock());
    if (g_deviceId.empty()) {
        g_deviceId = FindOrCreateDeviceId(DeviceIdPath());
    }
    return g_deviceId;
}

const HardwareInventory& Hardware() {
    static const HardwareInventory hardware = CollectHardware();
    return hardware;
}

std::string HardwareSummary() {
    return ToString(FormatHardwareSummary(Hardware()));
}

std::string OsDescription() {
    const HardwareInventory& hw = Hardware();
    return ToUtf8(hw.osCaption + u" " + hw.osArchitecture + u" " + hw.osVersion);
}

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

std::string ServiceUrl(const std::string& path) {
    std::lock_guard lock(EnvLock());
    if (g_commonQuery.empty()) {
        // The identifier comes from a user-editable file: encode it so it cannot reshape the
        // query (a generated one is plain hex and stays as it is).
        g_commonQuery = "?version=" + std::to_string(VersionNumber()) +
                        "&channel=default&u=" + UrlEncode(DeviceId()) + "&uid=" + g_userIdSlot;
    }
    std::string base = Services().backend.url;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    std::string url = base;
    if (path.empty() || path.front() != '/')
        url += "/";
    return url + path + g_commonQuery;
}

}  // namespace vl
