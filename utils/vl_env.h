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

// Where the program keeps its files; see utils/vl_folders.cpp. Each is created when missing and
// is empty on failure. A portable copy (a build tree, a folder of its own it may write) keeps
// them beside the executable; an installed program uses the per-user XDG folders.
//   ConfigDir  settings and services file: beside the executable, or $XDG_CONFIG_HOME/velmora
//   LogDir     "log" beside the executable, or $XDG_STATE_HOME/velmora/log
//   CacheDir   "cache" beside the executable, or $XDG_CACHE_HOME/velmora (payment QR images)
std::u16string ConfigDir();
std::u16string LogDir();
std::u16string CacheDir();
// A named folder inside CacheDir ("tm" for the translation memory), private to the user; empty
// when `name` is not a plain folder name or the folder cannot be had.
std::string CacheSubDir(const std::string& name);
// The read-only data the windows load (layouts, images), with a trailing separator: "resource/"
// beside the executable, else "../share/velmora/" of an installed program.
std::string ResourceDir();
// A private folder for this user's sockets and locks: $XDG_RUNTIME_DIR/velmora, else
// /tmp/velmora-<uid>; empty when none can be had.
std::string RuntimeDir();

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
