#include "logic/translate_types.h"

#include <array>
#include <string_view>

namespace vl {

namespace {

constexpr std::array<std::string_view, kLanguageCount> kSettingsCodes = {
    "chs", "cht", "eng", "jap", "kor", "por", "spa", "fre", "rus"};

}  // namespace

LanguageId LangCodeToId(const std::string& code) {
    for (LanguageId id = 0; id < kLanguageCount; ++id) {
        if (kSettingsCodes[id] == code) {
            return id;
        }
    }
    return 0;
}

std::string LangIdToCode(LanguageId id) {
    return id < kLanguageCount ? std::string(kSettingsCodes[id]) : std::string();
}

}  // namespace vl
