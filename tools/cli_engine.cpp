// What the "ocr" and "run" subcommands share: the image check, the program's own start of the
// configuration, and the line output.
#include <curl/curl.h>
#include <stb/stb_image.h>

#include <iostream>

#include "config/config_manager.h"
#include "logic/translator.h"
#include "tools/cli_common.h"
#include "utils/vl_file.h"

namespace cli {

bool ReadJpeg(const std::string& command, const std::string& path, std::string& bytes) {
    std::string error;
    switch (vl::ReadWholeFile(path, bytes, error)) {
        case vl::ReadFileResult::Missing:
            std::cerr << "velmora-cli " << command << ": cannot read \"" << path
                      << "\": no such file\n";
            return false;
        case vl::ReadFileResult::Failed:
            std::cerr << "velmora-cli " << command << ": cannot read \"" << path << "\": " << error
                      << "\n";
            return false;
        case vl::ReadFileResult::Ok:
            break;
    }
    if (bytes.size() < 3 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xD8 ||
        static_cast<unsigned char>(bytes[2]) != 0xFF) {
        std::cerr << "velmora-cli " << command << ": \"" << path
                  << "\" is not a JPEG image (it does not start with FF D8 FF)\n";
        return false;
    }
    return true;
}

bool DecodeJpeg(const std::string& command, const std::string& bytes, OcrCrop& crop) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* data =
        stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                              static_cast<int>(bytes.size()), &width, &height, &channels, 3);
    if (data == nullptr) {
        std::cerr << "velmora-cli " << command << ": the JPEG cannot be decoded, "
                  << stbi_failure_reason() << "\n";
        return false;
    }
    crop.rgb.assign(reinterpret_cast<const char*>(data), std::size_t(width) * height * 3);
    crop.width = width;
    crop.height = height;
    stbi_image_free(data);
    return true;
}

EngineSession::EngineSession(const std::string& command) {
    curlReady_ = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    // As the program starts: the settings file beside the executable, then the remote
    // configuration.
    if (!vl::Singleton<ConfigManager>::Instance()->Init()) {
        std::cerr << "velmora-cli " << command
                  << ": the settings could not be loaded, the defaults are used (-v shows why)\n";
    }
}

EngineSession::~EngineSession() {
    if (curlReady_) {
        curl_global_cleanup();
    }
}

void SettingsLanguage(const std::string& code, const char* what, unsigned& id) {
    id = vl::LangCodeToId(code);
    if (vl::LangIdToCode(id) != code) {
        std::cerr << "velmora-cli: the settings' " << what << " language \"" << code
                  << "\" is unknown, \"" << vl::LangIdToCode(id) << "\" is used\n";
    }
}

void PrintLine(const TranslateLine& line, const std::string* translation) {
    std::cout << line.rect[0] << ',' << line.rect[1] << ',' << line.rect[2] << ',' << line.rect[3]
              << '\t' << (line.vertical ? 'v' : 'h') << '\t' << line.text;
    if (translation != nullptr) {
        std::cout << '\t' << *translation;
    }
    std::cout << '\n';
}

}  // namespace cli
