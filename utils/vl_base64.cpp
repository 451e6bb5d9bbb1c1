#include "utils/vl_base64.h"

#include <array>
#include <cstdint>

#include "utils/vl_log.h"

namespace vl {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t)
        v = kInvalid;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    return t;
}
constexpr auto kDecode = MakeDecodeTable();

// Decodes into out; false on any invalid input.
bool Decode(const std::string& in, std::string& out) {
    const std::size_t n = in.size();
    if (n % 4 != 0) {
        return false;
    }
    std::size_t pad = 0;
    if (in[n - 1] == '=')
        pad = (in[n - 2] == '=') ? 2 : 1;
    out.resize(n / 4 * 3 - pad);
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    const std::size_t full = (pad == 0) ? n : n - 4;
    for (std::size_t i = 0; i < full; i += 4) {
        const std::uint32_t a = kDecode[s[i]], b = kDecode[s[i + 1]], c = kDecode[s[i + 2]],
                            d = kDecode[s[i + 3]];
        if ((a | b | c | d) & 0x80) {
            return false;  // covers '=' before the last quantum and every foreign byte
        }
        const std::uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
        o[0] = static_cast<unsigned char>(v >> 16);
        o[1] = static_cast<unsigned char>(v >> 8);
        o[2] = static_cast<unsigned char>(v);
        o += 3;
    }
    if (pad != 0) {
        const std::size_t i = n - 4;
        const std::uint32_t a = kDecode[s[i]], b = kDecode[s[i + 1]];
        const std::uint32_t c = pad == 2 ? 0 : kDecode[s[i + 2]];
        if ((a | b | c) & 0x80) {
            return false;
        }
        const std::uint32_t v = (a << 18) | (b << 12) | (c << 6);
        o[0] = static_cast<unsigned char>(v >> 16);
        if (pad == 1)
            o[1] = static_cast<unsigned char>(v >> 8);
    }
    return true;
}

}  // namespace

std::string ToBase64(const std::string& bytes) {
    const std::size_t n = bytes.size();
    std::string out;
    out.resize((n + 2) / 3 * 4);
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    char* o = out.data();
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const std::uint32_t v =
            (std::uint32_t{s[i]} << 16) | (std::uint32_t{s[i + 1]} << 8) | s[i + 2];
        o[0] = kAlphabet[v >> 18];
        o[1] = kAlphabet[(v >> 12) & 0x3F];
        o[2] = kAlphabet[(v >> 6) & 0x3F];
        o[3] = kAlphabet[v & 0x3F];
        o += 4;
    }
    if (i < n) {
        std::uint32_t v = std::uint32_t{s[i]} << 16;
        if (i + 1 < n)
            v |= std::uint32_t{s[i + 1]} << 8;
        o[0] = kAlphabet[v >> 18];
        o[1] = kAlphabet[(v >> 12) & 0x3F];
        o[2] = (i + 1 < n) ? kAlphabet[(v >> 6) & 0x3F] : '=';
        o[3] = '=';
    }
    return out;
}

std::string FromBase64(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    std::string out;
    if (!Decode(text, out)) {
        VL_ERROR("base64_decode failed");
        return {};
    }
    return out;
}

}  // namespace vl
