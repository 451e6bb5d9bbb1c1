#include "logic/youdao_common.h"

#include <array>
#include <chrono>
#include <string_view>

#include "utils/vl_crypto.h"
#include "utils/vl_string.h"

namespace vl::youdao {

namespace {

constexpr std::array<std::string_view, kLanguageCount> kCodes = {
    "zh-CHS", "zh-CHT", "en", "ja", "ko", "pt", "es", "fr", "ru"};

bool IsAscii(const std::string& s) {
    unsigned char acc = 0;
    for (const char c : s) {
        acc |= static_cast<unsigned char>(c);
    }
    return acc < 0x80;
}

}  // namespace

bool LangCode(LanguageId id, std::string& code) {
    if (id >= kLanguageCount) {
        return false;
    }
    code = kCodes[id];
    return true;
}

LanguageId LangIdFromCode(const std::string& code) {
    for (LanguageId id = 0; id < kLanguageCount; ++id) {
        if (kCodes[id] == code) {
            return id;
        }
    }
    return 0;
}

std::string SignInput(const std::string& utf8) {
    if (IsAscii(utf8)) {  // one byte per code unit: slice without converting (image texts)
        const std::size_t n = utf8.size();
        if (n <= 20) {
            return utf8;
        }
        return utf8.substr(0, 10) + std::to_string(n) + utf8.substr(n - 10);
    }
    const std::u16string wide = ToUnicodeW(utf8);
    const std::size_t n = wide.size();
    if (n <= 20) {
        return utf8;
    }
    return ToUtf8(wide.substr(0, 10)) + std::to_string(n) + ToUtf8(wide.substr(n - 10));
}

std::string Sign(const std::string& appKey, const std::string& input, const std::string& salt,
                 const std::string& curtime, const std::string& secret) {
    std::string data;
    data.reserve(appKey.size() + input.size() + salt.size() + curtime.size() + secret.size());
    data.append(appKey).append(input).append(salt).append(curtime).append(secret);
    return Sha256Hex(data);
}

std::string CurrentTimeSeconds() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

}  // namespace vl::youdao
