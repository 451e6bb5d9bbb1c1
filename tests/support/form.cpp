#include "tests/support/form.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace vl::test {

namespace {

std::string Decode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out.push_back(' ');
        } else if (s[i] == '%' && i + 2 < s.size()) {
            out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string Hex(const unsigned char* d, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out += {kDigits[d[i] >> 4], kDigits[d[i] & 15]};
    return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& body) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string pair = body.substr(start, end - start);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            out.emplace_back(Decode(pair.substr(0, eq)),
                             eq == std::string::npos ? std::string() : Decode(pair.substr(eq + 1)));
        }
        start = end + 1;
    }
    return out;
}

std::string Sha256HexEvp(const std::string& data) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), md, &n, EVP_sha256(), nullptr);
    return Hex(md, n);
}

std::string HmacSha256HexEvp(const std::string& key, const std::string& data) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), md, &n);
    return Hex(md, n);
}

}  // namespace vl::test
