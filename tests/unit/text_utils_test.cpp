#include <gtest/gtest.h>

#include <set>

#include "tests/support/log_capture.h"
#include "utils/vl_base64.h"
#include "utils/vl_string.h"
#include "utils/vl_uuid.h"

using vl::test::LogCapture;

TEST(Utf, RoundTripsAcrossPlanes) {
    // ASCII, two-, three- and four-byte sequences (U+1F600 and U+20BB7 are outside the BMP).
    const std::string utf8 = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xF0\xA0\xAE\xB7z";
    const std::u16string wide = vl::ToUnicodeW(utf8);
    EXPECT_EQ(wide, (std::u16string{u'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00, 0xD842, 0xDFB7, u'z'}));
    EXPECT_EQ(vl::ToUtf8(wide), utf8);
    EXPECT_EQ(vl::ToString(vl::ToWString(utf8)), utf8);
    EXPECT_EQ(vl::ToUtf8(utf8), utf8);
    EXPECT_EQ(vl::ToUnicode(utf8), utf8);
    EXPECT_EQ(vl::Utf16Length(utf8), wide.size());
}

TEST(Utf, EmptyInputGivesEmptyOutput) {
    EXPECT_TRUE(vl::ToUnicodeW("").empty());
    EXPECT_TRUE(vl::ToUtf8(std::u16string()).empty());
    EXPECT_TRUE(vl::ToString(std::u16string()).empty());
    EXPECT_TRUE(vl::ToUnicode("").empty());
}

TEST(Utf, MalformedSequencesBecomeOneReplacementEach) {
    const char16_t R = 0xFFFD;
    // A lone continuation byte, a truncated three-byte sequence before an ASCII letter, an
    // overlong encoding of '/', an encoded surrogate, a byte that never starts a sequence, and a
    // code point above U+10FFFF.
    EXPECT_EQ(vl::ToUnicodeW("\x80"
                             "a"),
              (std::u16string{R, u'a'}));
    EXPECT_EQ(vl::ToUnicodeW("\xE4\xB8"
                             "a"),
              (std::u16string{R, u'a'}));
    EXPECT_EQ(vl::ToUnicodeW("\xC0\xAF"), (std::u16string{R, R}));
    EXPECT_EQ(vl::ToUnicodeW("\xED\xA0\x80"), (std::u16string{R, R, R}));
    EXPECT_EQ(vl::ToUnicodeW("\xFF"), (std::u16string{R}));
    EXPECT_EQ(vl::ToUnicodeW("\xF4\x90\x80\x80"), (std::u16string{R, R, R, R}));
    // A truncated four-byte sequence at the end of the text is one malformed subsequence.
    EXPECT_EQ(vl::ToUnicodeW("x\xF0\x9F\x98"), (std::u16string{u'x', R}));
    EXPECT_EQ(vl::Utf16Length("x\xF0\x9F\x98"), 2u);
}

TEST(Utf, UnpairedSurrogatesBecomeReplacement) {
    EXPECT_EQ(vl::ToUtf8(std::u16string{0xD83D, u'a'}),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(vl::ToUtf8(std::u16string{0xDE00}), "\xEF\xBF\xBD");
}

TEST(UrlEncode, EncodesFormBytes) {
    EXPECT_EQ(vl::UrlEncode("a b~c/\xC3\xA9"), "a+b%7Ec%2F%C3%A9");
    EXPECT_EQ(vl::UrlEncode("A-Z_0.9"), "A-Z_0.9");
    EXPECT_EQ(vl::UrlEncode(""), "");
    EXPECT_EQ(vl::UrlEncode(std::string("\0\n+=&", 5)), "%00%0A%2B%3D%26");
    EXPECT_EQ(vl::UrlEncode("\xFF"), "%FF");
}

TEST(Split, CutsAtEverySeparatorAndDropsEmptyPieces) {
    std::vector<std::string> out;
    vl::Split("1,2,,3,", ",", out);
    EXPECT_EQ(out, (std::vector<std::string>{"1", "2", "3"}));
    out.clear();
    vl::Split(",,", ",", out);
    EXPECT_TRUE(out.empty());
    vl::Split("abc", ",", out);
    EXPECT_EQ(out, (std::vector<std::string>{"abc"}));
    out.clear();
    vl::Split("", ",", out);
    EXPECT_TRUE(out.empty());
    vl::Split("a,b", "", out);
    EXPECT_EQ(out, (std::vector<std::string>{"a,b"}));
    // Appends to what is already there.
    vl::Split(",x", ",", out);
    EXPECT_EQ(out, (std::vector<std::string>{"a,b", "x"}));
}

TEST(Base64, Rfc4648Vectors) {
    const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(vl::ToBase64(plain), encoded) << plain;
        EXPECT_EQ(vl::FromBase64(encoded), plain) << encoded;
    }
    EXPECT_EQ(vl::ToBase64(std::string("\xFB\xFF", 2)), "+/8=");
}

TEST(Base64, AllByteValuesRoundTrip) {
    std::string bytes;
    for (int round = 0; round < 3; ++round) {
        for (int c = 0; c < 256; ++c)
            bytes.push_back(static_cast<char>(c));
        bytes.push_back('x');  // shift the alignment against the 3-byte groups
    }
    for (std::size_t n = 0; n <= bytes.size(); n += 7) {
        const std::string part = bytes.substr(0, n);
        const std::string text = vl::ToBase64(part);
        EXPECT_EQ(text.size(), (n + 2) / 3 * 4);
        EXPECT_EQ(vl::FromBase64(text), part);
    }
}

TEST(Base64, InvalidTextDecodesToNothingAndIsLogged) {
    const char* invalid[] = {
        "Zg",        // length not a multiple of four
        "Zg=",       // likewise
        "Zm9v\n",    // line break
        "Zm 9",      // space
        "Zm9-",      // URL-safe alphabet
        "Z===",      // too much padding
        "====",      // padding only
        "Zg==Zm9v",  // padding before the end
        "Zm=v",      // padding inside the last group
        "Zm9\xC3",   // non-ASCII byte
    };
    for (const char* text : invalid) {
        LogCapture::Get()->Clear();
        EXPECT_EQ(vl::FromBase64(text), "") << text;
        EXPECT_TRUE(LogCapture::Get()->Has("base64_decode failed")) << text;
    }
}

TEST(Uuid, WithoutDashIsVersion4Hex) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string id = "unchanged";
        ASSERT_TRUE(vl::UuidGenWithoutDash(id));
        ASSERT_EQ(id.size(), 32u);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
        EXPECT_EQ(id[12], '4') << id;
        EXPECT_NE(std::string("89ab").find(id[16]), std::string::npos) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}
