#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vl::test {

// The key=value pairs of a form body in the order sent, values form-decoded ('+' is a space).
std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& body);

// Lower-case hex SHA-256 computed with OpenSSL's EVP interface, independently of the code under
// test.
std::string Sha256HexEvp(const std::string& data);

// Lower-case hex HMAC-SHA256 computed with OpenSSL's one-shot HMAC.
std::string HmacSha256HexEvp(const std::string& key, const std::string& data);

}  // namespace vl::test
