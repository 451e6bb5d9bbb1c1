#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Randomness and hashing for tokens, codes, states and order numbers (OpenSSL).
namespace backend::secrets {

// `bytes` random bytes as lower-case hex; empty when the generator fails.
std::string RandomHex(std::size_t bytes);
// `count` random decimal digits; empty when the generator fails.
std::string RandomDigits(std::size_t count);
// `count` random characters of A-Z and 0-9; empty when the generator fails.
std::string RandomAlnum(std::size_t count);
// SHA-256 of `text` as lower-case hex.
std::string Sha256Hex(std::string_view text);
std::string Base64(std::string_view bytes);
// HMAC-SHA-256 of `text` keyed with `key`, as lower-case hex.
std::string HmacHex(std::string_view key, std::string_view text);
// Equal contents, in a time that does not depend on where they differ.
bool Equal(std::string_view a, std::string_view b);

}  // namespace backend::secrets
