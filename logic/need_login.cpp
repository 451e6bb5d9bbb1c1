#include "logic/need_login.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "protocol/backend_protocol.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"

namespace account {

namespace {

using velmora::protocol::kNeedLoginCode;

// Only the envelope's top-level "code" matters to the need-login rule: larger or deeper answers
// are not examined at all.
constexpr std::size_t kMaxCheckedBody = 1 << 20;
constexpr std::size_t kMaxCheckedDepth = vl::json::kMaxDepth;
constexpr std::uint64_t kMaxExactInteger = std::uint64_t{1} << 53;

// Reads the top-level "code" of a JSON text without building the document.
class EnvelopeCodeReader : public nlohmann::json_sax<nlohmann::json> {
public:
    enum class Kind { None, Number, Text, Other };

    explicit EnvelopeCodeReader(const std::string& body) : body_(body) {}

    Kind kind = Kind::None;
    std::int64_t number = 0;
    std::string text;
    bool rootIsObject = false;
    bool failed = false;
    bool tooDeep = false;

    bool null() override { return Value(Kind::Other); }
    bool boolean(bool) override { return Value(Kind::Other); }
    bool number_integer(number_integer_t v) override { return Number(v); }
    bool number_unsigned(number_unsigned_t v) override {
        return v <= kMaxExactInteger ? Number(static_cast<std::int64_t>(v)) : Value(Kind::Other);
    }
    // Only a whole number in range is a code; 10505.5 or 1e300 matches nothing.
    bool number_float(number_float_t v, const string_t&) override {
        if (!(v >= -static_cast<double>(kMaxExactInteger) &&
              v <= static_cast<double>(kMaxExactInteger)) ||
            v != std::trunc(v)) {
            return Value(Kind::Other);
        }
        return Number(static_cast<std::int64_t>(v));
    }
    bool string(string_t& v) override {
        if (AtCode()) {
            kind = Kind::Text;
            text = v;
        }
        codeNext_ = false;
        return true;
    }
    bool binary(binary_t&) override { return Value(Kind::Other); }
    bool start_object(std::size_t) override { return Open(true); }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(false); }
    bool end_array() override { return Close(); }
    bool key(string_t& k) override {
        codeNext_ = depth_ == 1 && k == "code";
        return true;
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& e) override {
        failed = true;
        VL_ERROR("parse json failed with exception, byte {}, id {}, {}, json is \r\n {}", position,
                 e.id, e.what(), vl::json::Excerpt(body_));
        return false;
    }

private:
    bool AtCode() const { return codeNext_ && depth_ == 1; }
    bool Value(Kind k) {
        if (AtCode())
            kind = k;
        codeNext_ = false;
        return true;
    }
    bool Number(std::int64_t v) {
        if (AtCode()) {
            kind = Kind::Number;
            number = v;
        }
        codeNext_ = false;
        return true;
    }
    bool Open(bool object) {
        if (depth_ == 0)
            rootIsObject = object;
        Value(Kind::Other);
        if (++depth_ > kMaxCheckedDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    }
    bool Close() {
        --depth_;
        return true;
    }

    const std::string& body_;
    std::size_t depth_ = 0;
    bool codeNext_ = false;
};

// atoi's reading of a code sent as text (leading blanks, a sign, digits), without its undefined
// behaviour: a number that does not fit matches nothing.
bool LeadingNumberIs(const std::string& text, std::int64_t wanted) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    std::int64_t value = 0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), value);
    return r.ec == std::errc() && value == wanted;
}

}  // namespace

bool IsNeedLoginAnswer(const std::string& response) {
    if (response.empty()) {
        return false;
    }
    if (response.size() > kMaxCheckedBody) {
        VL_WARN("response of {} bytes is not checked for need login", response.size());
        return false;
    }
    EnvelopeCodeReader reader(response);
    try {
        if (!nlohmann::json::sax_parse(response, &reader)) {
            if (reader.tooDeep) {
                VL_WARN("response nests deeper than {} levels, not checked for need login",
                        kMaxCheckedDepth);
            }
            return false;
        }
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(response);
        return false;
    }
    if (!reader.rootIsObject) {
        return false;
    }
    switch (reader.kind) {
        case EnvelopeCodeReader::Kind::Number:
            return reader.number == kNeedLoginCode;
        case EnvelopeCodeReader::Kind::Text:
            return LeadingNumberIs(reader.text, kNeedLoginCode);
        default:
            return false;
    }
}

void SetNeedLoginHook(NeedLoginHook hook) {
    vl::Http::SetAnswerCheck([hook = std::move(hook)](const std::string& response) {
        if (!IsNeedLoginAnswer(response)) {
            return;
        }
        VL_WARN("need login, code {}", kNeedLoginCode);
        if (hook) {
            hook();
        }
    });
}

}  // namespace account
