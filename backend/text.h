#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace backend {

// 1 to `maxBytes` characters of A-Z, a-z, 0-9 and "_.@-".
bool IsPlainId(std::string_view text, std::size_t maxBytes);
// Well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);
// 1 to `maxBytes` bytes of UTF-8 without control characters.
bool IsDisplayText(std::string_view text, std::size_t maxBytes);
// Text safe inside HTML elements and quoted attributes.
std::string HtmlEscape(std::string_view text);

}  // namespace backend
