#pragma once

#include <string>

namespace vl {

// SHA-256 of the bytes as 64 lower-case hexadecimal characters.
std::string Sha256Hex(const std::string& bytes);

// MD5 of the bytes as 32 lower-case hexadecimal characters (a vendor's request signature, not
// a protection).
std::string Md5Hex(const std::string& bytes);

// HMAC-SHA256 of `data` under `key` as 64 lower-case hexadecimal characters.
std::string HmacSha256Hex(const std::string& key, const std::string& data);

}  // namespace vl
