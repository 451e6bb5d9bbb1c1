#pragma once

#include <string>

// Base64 with the standard alphabet of RFC 4648, "=" padding, no line breaks.
namespace vl {

std::string ToBase64(const std::string& bytes);

// The decoded bytes, or an empty string (and the log line "base64_decode failed") when the text
// is not valid Base64: a character outside the alphabet, misplaced padding or a length that is
// not a multiple of four. Nothing is ever decoded partially.
std::string FromBase64(const std::string& text);

}  // namespace vl
