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

}  // namespace backend::secrets
