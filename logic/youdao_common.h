#pragma once

#include <cstdint>
#include <string>

#include "logic/translate_types.h"

// What the two Youdao clients (OCR and text translation) share: the language codes and the "v3"
// request signature.
namespace vl::youdao {

// Id -> Youdao code ("zh-CHS", …, "ru"); false for an id outside the table.
bool LangCode(LanguageId id, std::string& code);

// Youdao code -> id; 0 when no code matches exactly.
LanguageId LangIdFromCode(const std::string& code);

// The signature input of a text: the text itself when it has at most 20 UTF-16 code units,
// otherwise its first 10 units, the unit count in decimal and its last 10 units (as UTF-8).
std::string SignInput(const std::string& utf8);

// SHA-256 over appKey + input + salt + curtime + secret, lower-case hex.
std::string Sign(const std::string& appKey, const std::string& input, const std::string& salt,
                 const std::string& curtime, const std::string& secret);

// Current wall-clock time in whole seconds since the epoch, decimal.
std::string CurrentTimeSeconds();

}  // namespace vl::youdao
