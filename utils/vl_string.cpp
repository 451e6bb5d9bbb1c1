#include "utils/vl_string.h"

#include <cstdint>

namespace vl {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i] (i < n) following the WHATWG UTF-8 decoder: a malformed
// sequence yields U+FFFD and consumes its maximal valid prefix (at least one byte).
char32_t DecodeUtf8(const unsigned char* s, std::size_t n, std::size_t& i) {
    const unsigned char b0 = s[i++];
    if (b0 < 0x80) {
        return b0;
    }
    int needed;
    char32_t cp;
    unsigned char lower = 0x80;
    unsigned char upper = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        needed = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (b0 == 0xE0)
            lower = 0xA0;
        if (b0 == 0xED)
            upper = 0x9F;
        needed = 2;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (b0 == 0xF0)
            lower = 0x90;
        if (b0 == 0xF4)
            upper = 0x8F;
        needed = 3;
        cp = b0 & 0x07;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < needed; ++k) {
        if (i >= n || s[i] < lower || s[i] > upper) {
            return kReplacement;  // the offending byte is not consumed
        }
        cp = (cp << 6) | (s[i++] & 0x3F);
        lower = 0x80;
        upper = 0xBF;
    }
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::u16string Utf8ToUtf16(const std::string& in) {
    std::u16string out;
    out.reserve(in.size());
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        const char32_t cp = DecodeUtf8(s, n, i);
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            const char32_t v = cp - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (v & 0x3FF)));
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& in) {
    std::string out;
    out.reserve(in.size() * 3);
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = in[i];
        char32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (in[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

}  // namespace

// The local narrow encoding is UTF-8 here, so the "ANSI" conversions are the UTF-8 ones; going
// through UTF-16 still normalises malformed input the same way every other conversion does.
std::string ToString(const std::u16string& wide) {
    return wide.empty() ? std::string() : Utf16ToUtf8(wide);
}

std::u16string ToWString(const std::string& local) {
    return local.empty() ? std::u16string() : Utf8ToUtf16(local);
}

std::string ToUtf8(const std::string& local) {
    return local.empty() ? std::string() : Utf16ToUtf8(Utf8ToUtf16(local));
}

std::string ToUtf8(const std::u16string& wide) {
    return wide.empty() ? std::string() : Utf16ToUtf8(wide);
}

std::u16string ToUnicodeW(const std::string& utf8) {
    return utf8.empty() ? std::u16string() : Utf8ToUtf16(utf8);
}

std::string ToUnicode(const std::string& utf8) {
    return utf8.empty() ? std::string() : ToString(ToUnicodeW(utf8));
}

std::size_t Utf16Length(const std::string& utf8) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            ++i;
            ++units;
            continue;
        }
        units += DecodeUtf8(s, n, i) >= 0x10000 ? 2 : 1;
    }
    return units;
}

namespace {

// What UrlEncode does with each byte in one encoding: 0 copy, 1 escape, 2 write '+'.
struct UrlClasses {
    std::uint8_t v[256];
};

constexpr UrlClasses MakeUrlClasses(UrlEncoding encoding) {
    UrlClasses t{};
    for (int c = 0; c < 256; ++c) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                          (encoding != UrlEncoding::Form && c == '~') ||
                          (encoding == UrlEncoding::Path && c == '/');
        t.v[c] = keep ? 0 : (encoding == UrlEncoding::Form && c == ' ' ? 2 : 1);
    }
    return t;
}

}  // namespace

std::string UrlEncode(const std::string& bytes, UrlEncoding encoding) {
    static constexpr UrlClasses kForm = MakeUrlClasses(UrlEncoding::Form);
    static constexpr UrlClasses kRfc3986 = MakeUrlClasses(UrlEncoding::Rfc3986);
    static constexpr UrlClasses kPath = MakeUrlClasses(UrlEncoding::Path);
    static constexpr char kHex[] = "0123456789ABCDEF";
    const UrlClasses& classes = encoding == UrlEncoding::Form      ? kForm
                                : encoding == UrlEncoding::Rfc3986 ? kRfc3986
                                                                   : kPath;

    std::string out;
    out.resize(bytes.size() * 3);
    char* o = out.data();
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (classes.v[c]) {
            case 0:
                *o++ = static_cast<char>(c);
                break;
            case 2:
                *o++ = '+';
                break;
            default:
                o[0] = '%';
                o[1] = kHex[c >> 4];
                o[2] = kHex[c & 0x0F];
                o += 3;
                break;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

bool Split(const std::string& text, const std::string& sep, std::vector<std::string>& out) {
    if (text.empty()) {
        return true;
    }
    if (sep.empty()) {
        out.push_back(text);
        return true;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t pos = text.find(sep, start);
        if (pos == std::string::npos) {
            pos = text.size();
        }
        if (pos > start) {
            out.emplace_back(text, start, pos - start);
        }
        start = pos + sep.size();
    }
    return true;
}

}  // namespace vl
