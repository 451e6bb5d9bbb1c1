#include "config/config_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>

#include "config/settings_document.h"
#include "utils/vl_backend.h"
#include "utils/vl_env.h"
#include "utils/vl_file.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

constexpr const char* kConfigKeys =
    "&key=qq_kefu,kefu_url,qq_group,privacy_url,agreement_url,help_url,open_vip_tips,"
    "first_buy_gift_time,enable_reward_video,trans_config,offline_config,ocr_engine_list,"
    "home_vip_card";

std::string SettingsPathIn(const std::string& dir) {
    if (dir.empty()) {
        return {};
    }
    return dir.back() == '/' ? dir + ConfigManager::kFileName
                             : dir + "/" + ConfigManager::kFileName;
}

std::string ExeDirPath() {
    const std::string dir = vl::ToString(vl::ExeDir());
    if (dir.empty()) {
        VL_ERROR("GetModuleFileNameW failed, last error {}", errno);
    }
    return dir;
}

enum class Load { Parsed, Missing, Unreadable };

// Reads and parses the settings file into `out`.
Load LoadDocument(const std::string& path, std::unique_ptr<Velmora>& out) {
    std::string bytes;
    std::string error;
    switch (vl::ReadWholeFile(path, bytes, error)) {
        case vl::ReadFileResult::Missing:
            VL_ERROR("open file \"{}\" failed, write {}", path, false);
            return Load::Missing;
        case vl::ReadFileResult::Failed:
            VL_ERROR("open file \"{}\" failed, write {}", path, false);
            VL_ERROR("{}", error);
            return Load::Unreadable;
        case vl::ReadFileResult::Ok:
            break;
    }
    std::istringstream in(bytes);
    try {
        out = settings::Read(in);
        return Load::Parsed;
    } catch (const xml_schema::exception& e) {
        VL_ERROR("deserialize xml failed with xml_schema::Exception, {}", e.what());
        std::ostringstream detail;
        detail << e;
        VL_ERROR("settings file \"{}\": {}", path, detail.str());
    } catch (...) {
        VL_ERROR("deserialize xml failed with unknown exception");
    }
    return Load::Unreadable;
}

}  // namespace

ConfigManager::ConfigManager() : ConfigManager(ExeDirPath()) {}

ConfigManager::ConfigManager(std::string settingsDir)
    : Velmora(settings::Defaults()), path_(SettingsPathIn(settingsDir)) {}

bool ConfigManager::Init() {
    if (loaded_) {
        VL_INFO("already inited");
        return true;
    }
    if (path_.empty()) {
        VL_WARN("OpenXML failed");
        return false;
    }

    std::unique_ptr<Velmora> document;
    Load load = LoadDocument(path_, document);
    if (load == Load::Missing) {
        // First start: write the defaults, then read them back like any other start.
        VL_WARN("OpenXML failed");
        if (!Save()) {
            VL_WARN("OpenXML for write failed");
            return false;
        }
        load = LoadDocument(path_, document);
        if (load == Load::Missing) {
            VL_WARN("OpenXML for read failed");
            return false;
        }
    }

    if (load == Load::Parsed) {
        user(document->user());
        conf(document->conf());
        PublishDirection();
        loaded_ = true;
        GetConfig();
        return true;
    }

    VL_WARN("deserialize config failed, generate default");
    if (!KeepUnreadableFile()) {
        return false;
    }
    if (!Save()) {
        VL_WARN("OpenXML for write failed");
        return false;
    }
    std::string bytes;
    std::string error;
    if (vl::ReadWholeFile(path_, bytes, error) != vl::ReadFileResult::Ok) {
        VL_ERROR("open file \"{}\" failed, write {}", path_, false);
        VL_WARN("OpenXML for read failed");
        return false;
    }
    loaded_ = true;
    return true;
}

bool ConfigManager::KeepUnreadableFile() {
    // Through a link: the file it leads to is the one kept, and the link stays for the new file.
    const std::string file = vl::ResolveLinks(path_);
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // A folder or anything else that is not a file is not ours to move or replace.
        VL_ERROR("settings path \"{}\" is not a file, left as it is", path_);
        return false;
    }
    // Earlier backups may hold a token or region the user wants back: each unreadable file takes
    // the first free name, and only the last name is ever reused.
    for (int i = 0; i < kMaxBackups; ++i) {
        const std::string bad =
            file + kBadSuffix + (i == 0 ? std::string() : "." + std::to_string(i));
        int rc = 0;
        if (i == kMaxBackups - 1) {
            rc = std::rename(file.c_str(), bad.c_str());
        } else {
            rc = ::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, bad.c_str(), RENAME_NOREPLACE);
            if (rc != 0 && errno == EINVAL) {  // a file system without RENAME_NOREPLACE
                if (::access(bad.c_str(), F_OK) == 0) {
                    errno = EEXIST;
                } else {
                    rc = std::rename(file.c_str(), bad.c_str());
                }
            }
        }
        if (rc == 0) {
            VL_WARN("unreadable settings file kept as \"{}\"", bad);
            return true;
        }
        if (errno != EEXIST) {
            // Without a copy of it the user's file must not be overwritten.
            VL_ERROR("keep unreadable settings as \"{}\" failed, {}; \"{}\" left as it is", bad,
                     std::strerror(errno), path_);
            return false;
        }
    }
    return false;
}

bool ConfigManager::Save() {
    std::string text;
    try {
        text = settings::Write(*this);
    } catch (const xml_schema::exception& e) {
        VL_ERROR("serialize xml failed with xml_schema::Exception, {}", e.what());
        return false;
    } catch (...) {
        VL_ERROR("serialize xml failed with unknown exception");
        return false;
    }
    std::string error;
    if (!vl::WriteFileAtomically(path_, text, error)) {
        VL_ERROR("open file \"{}\" failed, write {}", path_, true);
        VL_ERROR("{}", error);
        return false;
    }
    return true;
}

bool ConfigManager::Flush() {
    PublishDirection();
    if (!loaded_) {
        VL_WARN("settings were never loaded, \"{}\" is not written", path_);
        return false;
    }
    if (!Save()) {
        VL_WARN("OpenXML for write failed");
        return false;
    }
    return true;
}

void ConfigManager::GetConfig() {
    const std::string url = vl::ServiceUrl(vl::backend::kConfigGet.path) + kConfigKeys;
    const vl::Http::Headers headers = {{"Content-Type", "application/json"}, {"Access-Token", ""}};
    std::string error;
    std::int32_t httpCode = 0;
    std::string response;
    if (!vl::Singleton<vl::Http>::Instance()->GetSync(error, httpCode, response, url, headers,
                                                      vl::Http::kDefaultTimeoutMs)) {
        VL_WARN("request config failed, msg {}, code {}, resp {}", error, httpCode,
                vl::json::Excerpt(response));
        return;
    }
    ParseConfig(response);
}

void ConfigManager::ParseConfig(const std::string& response) {
    if (response.empty()) {
        VL_WARN("request config failed, resp is empty");
        return;
    }
    std::lock_guard lock(mutex_);
    try {
        const nlohmann::json root = vl::json::Parse(response);
        const std::int32_t code = vl::json::ToInt32(root.at("code"));
        const std::string msg = root.at("msg").get<std::string>();
        if (code != 0) {
            VL_WARN("request config failed, code {}, msg {}", code, msg);
            return;
        }
        const nlohmann::json& config = root.at("data").at("config");
        customerServiceQq_ = config.at("qq_kefu").get<std::string>();
        // trans_config is a JSON text inside the string.
        const nlohmann::json trans = vl::json::Parse(config.at("trans_config").get<std::string>());
        if (trans.is_object() && trans.contains("precise_ocr")) {
            preciseOcrEngine_ = trans.at("precise_ocr").get<std::string>();
        } else if (trans.is_object() && trans.contains("precise_orc")) {
            preciseOcrEngine_ = trans.at("precise_orc").get<std::string>();
        }
        verticalOcrEngine_ = trans.at("vertical_ocr").get<std::string>();
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, response);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(response);
    }
}

std::string ConfigManager::GetOcrEngine() {
    std::lock_guard lock(mutex_);
    return direction_ == "vertical" ? verticalOcrEngine_ : preciseOcrEngine_;
}

ConfigManager::OcrSetup ConfigManager::GetOcrSetup() {
    std::lock_guard lock(mutex_);
    const bool vertical = direction_ == "vertical";
    return {ocrChoice_, vertical ? verticalOcrEngine_ : preciseOcrEngine_, vertical};
}

void ConfigManager::PublishDirection() {
    std::string choice = kOcrAuto;
    if (conf().ocr()) {
        const std::string& stored = *conf().ocr();
        if (stored == kOcrOnline || stored == kOcrLocal || stored == kOcrAuto) {
            choice = stored;
        } else {
            VL_WARN("unknown ocr choice \"{}\" in the settings, using auto", stored);
        }
    }
    std::lock_guard lock(mutex_);
    direction_ = conf().engine();
    ocrChoice_ = std::move(choice);
}

std::string ConfigManager::CustomerServiceQq() {
    std::lock_guard lock(mutex_);
    return customerServiceQq_;
}
