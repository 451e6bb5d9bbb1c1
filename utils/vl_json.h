#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "utils/vl_log.h"

// Reading JSON that comes from outside the process (services, the back-end, files).
namespace vl::json {

// Deeper answers are refused before they are parsed: every reader and printer of a document is
// then safe from running out of stack.
inline constexpr std::size_t kMaxDepth = 64;

// True when no array or object in `text` nests deeper than `limit` (brackets inside strings do
// not count; the text need not be valid JSON).
bool DepthWithin(std::string_view text, std::size_t limit = kMaxDepth);

// `text` as it can go into a log line: whole when short, else its head and its length.
std::string Excerpt(std::string_view text);

// Thrown by Parse for a text nested deeper than kMaxDepth.
class TooDeep : public std::runtime_error {
public:
    TooDeep() : std::runtime_error("json nests deeper than " + std::to_string(kMaxDepth)) {}
};

// nlohmann::json::parse with the depth bound. Throws parse_error for a syntax error, and
// another std::exception (TooDeep, out_of_range for a number no double holds) otherwise.
nlohmann::json Parse(const std::string& text);

// A JSON number as int32, clamped to its range (NaN reads 0), so a huge or fractional value is
// never undefined behaviour; throws type_error for anything but a number.
std::int32_t ToInt32(const nlohmann::json& value);

}  // namespace vl::json

// The system's two log lines for a JSON answer that could not be used, written at the call site
// (so the line names the function that parsed): a syntax error with its byte position, error id
// and text, and any other error (a missing member, a wrong type, too deep).
#define VL_LOG_JSON_PARSE_ERROR(e, text)                                                        \
    VL_ERROR("parse json failed with exception, byte {}, id {}, {}, json is \r\n {}", (e).byte, \
             (e).id, (e).what(), ::vl::json::Excerpt(text))
#define VL_LOG_JSON_READ_ERROR(text) \
    VL_ERROR("parse json failed with exception, json is \r\n{}", ::vl::json::Excerpt(text))
