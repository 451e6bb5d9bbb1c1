#pragma once

#include <string>
#include <vector>

// Text conversions between the encodings the system meets: UTF-8 on the wire, UTF-16 ("wide",
// std::u16string) in the user interface, and the local narrow encoding (the process locale's,
// which is UTF-8 on this platform). Malformed UTF-8 becomes U+FFFD per maximal malformed
// subsequence; an unpaired surrogate becomes U+FFFD. Empty input gives empty output.
namespace vl {

std::string ToString(const std::u16string& wide);    // wide -> local narrow
std::u16string ToWString(const std::string& local);  // local narrow -> wide
std::string ToUtf8(const std::string& local);        // local narrow -> UTF-8
std::string ToUtf8(const std::u16string& wide);      // wide -> UTF-8
std::u16string ToUnicodeW(const std::string& utf8);  // UTF-8 -> wide
std::string ToUnicode(const std::string& utf8);      // UTF-8 -> local narrow

enum class UrlEncoding {
    Form,     // application/x-www-form-urlencoded: space -> '+', A-Z a-z 0-9 - . _ kept
    Rfc3986,  // unreserved characters A-Z a-z 0-9 - . _ ~ kept
    Path,     // as Rfc3986, and '/' kept
};

// Raw bytes in `encoding`; every byte not kept becomes %XX (upper-case hex).
std::string UrlEncode(const std::string& bytes, UrlEncoding encoding = UrlEncoding::Form);

// Appends every non-empty piece of `text` cut at `sep` to `out`; an empty separator appends the
// whole text. Always returns true.
bool Split(const std::string& text, const std::string& sep, std::vector<std::string>& out);

// Number of UTF-16 code units the UTF-8 text converts to (without converting it).
std::size_t Utf16Length(const std::string& utf8);

}  // namespace vl
