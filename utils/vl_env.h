#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Facts about the host the program runs on.
namespace vl {

// The system DPI. The UI layer installs its source; 96 until then or when the source fails.
std::uint32_t OSDpi();
void SetDpiSource(std::function<std::uint32_t()> source);

// The product version as (major × 1000 + minor) × 1000 + build, and as "major.minor.build".
std::uint64_t VersionNumber();
std::string VersionString();

// The per-user device identifier (32 hexadecimal characters when created here), or empty.
std::string DeviceId();

struct HardwareInventory {
    struct VideoController {
        std::u16string name;
        std::u16string driverVersion;
        std::uint32_t adapterRam = 0;
        std::uint32_t horizontalResolution = 0;
        std::uint32_t verticalResolution = 0;
        std::uint32_t refreshRate = 0;
    };
    std::u16string boardManufacturer, boardProduct, boardVersion, boardSerial;
    std::u16string processorId, processorManufacturer, processorName;
    std::uint32_t cores = 0;
    std::uint32_t logicalProcessors = 0;
    std::vector<VideoController> videoControllers;
    std::u16string computerName;
    std::u16string osCaption, osVersion, osArchitecture, osSerial;
};

// Gathered once, on first use.
const HardwareInventory& Hardware();
// Processor name + " + " + board product, then " + " + name(driver version) per graphics adapter.
std::string HardwareSummary();
// Operating-system caption, architecture and version joined with single spaces (UTF-8).
std::string OsDescription();

// The executable's directory without a trailing separator, or empty.
std::u16string ExeDir();
// The "log" and "cache" folders beside the executable, created when missing; empty on failure.
std::u16string LogDir();
std::u16string CacheDir();

// The environment lock: guards the cached version text, device identifier and common query.
std::recursive_mutex& EnvLock();

// The back-end URL of `path`: base URL, "/" when the path lacks it, the path, then the common
// query (version, channel, device identifier, user id slot), built once per process.
std::string ServiceUrl(const std::string& path);

// Where the device identifier is kept: $XDG_CONFIG_HOME/VelMora/device_id (~/.config when unset;
// without a home, /tmp/velmora-<uid> made private to the user). Empty when there is no safe place.
std::string DeviceIdPath();

// Find-or-create on one file: a stored value (1 to 127 bytes, no control characters, one line
// end allowed) is returned unchanged; anything else is replaced by a fresh identifier, which is
// returned even when it cannot be stored (or `path` is empty). Empty only when no identifier
// could be generated.
std::string FindOrCreateDeviceId(const std::string& path);

}  // namespace vl
