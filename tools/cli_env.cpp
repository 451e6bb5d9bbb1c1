#include <iostream>

#include "logic/local_ocr.h"
#include "tools/cli_common.h"
#include "utils/vl_backend.h"
#include "utils/vl_env.h"
#include "utils/vl_services.h"
#include "utils/vl_session.h"
#include "utils/vl_string.h"

namespace cli {

// What the program knows of its host, one "name: value" line each, for bug reports.
int Env(const Args& args) {
    if (!args.positional.empty()) {
        std::cerr << "velmora-cli env: takes no arguments\n";
        return kExitUsage;
    }
    std::cout << "version: " << vl::VersionString() << "\n"
              << "version_number: " << vl::VersionNumber() << "\n"
              << "device_id: " << vl::DeviceId() << "\n"
              << "dpi: " << vl::OSDpi() << "\n"
              << "hardware: " << vl::HardwareSummary() << "\n"
              << "os: " << vl::OsDescription() << "\n"
              << "session: " << vl::SessionKindName(vl::DetectSession()) << "\n"
              << "exe_dir: " << vl::ToString(vl::ExeDir()) << "\n"
              << "log_dir: " << vl::ToString(vl::LogDir()) << "\n"
              << "cache_dir: " << vl::ToString(vl::CacheDir()) << "\n"
              << "service_url: " << vl::ServiceUrl(vl::backend::kConfigGet.path) << "\n";
    const std::string dataDir = vl::Services().localOcr.dataDir;
    std::string languages;
    for (const std::string& model : LocalOcr::InstalledModels(dataDir)) {
        languages += (languages.empty() ? "" : " ") + model;
    }
    std::cout << "ocr_data_dir: " << dataDir << "\n"
              << "ocr_languages: " << (languages.empty() ? "none" : languages) << "\n";
    return kExitOk;
}

}  // namespace cli
