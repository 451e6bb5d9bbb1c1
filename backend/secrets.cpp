#include "backend/secrets.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <vector>

namespace backend::secrets {

namespace {

constexpr char kHex[] = "0123456789abcdef";

std::string Hex(const unsigned char* data, std::size_t size) {
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 0x0f];
    }
    return out;
}

// `count` characters drawn uniformly from `alphabet` (rejection sampling, no modulo bias).
std::string RandomFrom(std::string_view alphabet, std::size_t count) {
    const unsigned limit = 256 - 256 % alphabet.size();
    std::string out;
    unsigned char buf[64];
    while (out.size() < count) {
        if (RAND_bytes(buf, sizeof(buf)) != 1) {
            return {};
        }
        for (unsigned char b : buf) {
            if (b < limit && out.size() < count) {
                out += alphabet[b % alphabet.size()];
            }
        }
    }
    return out;
}

}  // namespace

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> buf(bytes);
    if (RAND_bytes(buf.data(), static_cast<int>(buf.size())) != 1) {
        return {};
    }
    return Hex(buf.data(), buf.size());
}

std::string RandomDigits(std::size_t count) {
    return RandomFrom("0123456789", count);
}

std::string RandomAlnum(std::size_t count) {
    return RandomFrom("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", count);
}

std::string Sha256Hex(std::string_view text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return Hex(digest, sizeof(digest));
}

std::string Base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string HmacHex(std::string_view key, std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest,
             &size) == nullptr) {
        return {};
    }
    return Hex(digest, size);
}

bool Equal(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace backend::secrets
