// Base64 and the text conversions, with their round trips.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "utils/vl_base64.h"
#include "utils/vl_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vl::fuzz::QuietLog();
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    VL_FUZZ_CHECK(vl::FromBase64(vl::ToBase64(bytes)) == bytes);
    const std::string decoded = vl::FromBase64(bytes);
    VL_FUZZ_CHECK(decoded.size() <= bytes.size() / 4 * 3);

    // Any bytes become UTF-16 (malformed parts as U+FFFD), which goes to UTF-8 and back intact.
    const std::u16string wide = vl::ToUnicodeW(bytes);
    VL_FUZZ_CHECK(vl::Utf16Length(bytes) == wide.size());
    const std::string utf8 = vl::ToUtf8(wide);
    VL_FUZZ_CHECK(vl::ToUnicodeW(utf8) == wide);
    VL_FUZZ_CHECK(vl::ToUtf8(vl::ToUnicodeW(utf8)) == utf8);
    VL_FUZZ_CHECK(vl::ToWString(vl::ToString(wide)) == wide);

    // Bytes read as UTF-16 units: an unpaired surrogate becomes U+FFFD, once.
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    const std::string fromUnits = vl::ToUtf8(units);
    VL_FUZZ_CHECK(vl::ToUtf8(vl::ToUnicodeW(fromUnits)) == fromUnits);
    VL_FUZZ_CHECK(vl::Utf16Length(fromUnits) == vl::ToUnicodeW(fromUnits).size());

    const std::string encoded = vl::UrlEncode(bytes);
    VL_FUZZ_CHECK(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789-._+%") == std::string::npos);
    return 0;
}
