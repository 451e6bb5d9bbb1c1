#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "utils/vl_json.h"

// JSON pieces shared by the account code: reading the back-end's answer envelope and numbers,
// and writing request bodies. The readers throw nlohmann's exceptions; every caller catches them
// where it parses.
namespace user_json {

// Back-end code meaning the access token is no longer accepted.
inline constexpr std::int32_t kNeedLoginCode = 10505;
// "/trans/save-nums": the account has no translations left; this one was not counted.
inline constexpr std::int32_t kQuotaUsedUpCode = 10701;

struct Envelope {
    std::int32_t code = 0;
    std::string msg;
};

// "code" (a number) and "msg" (a string) of an answer; throws when either is missing or of
// another type.
Envelope ReadEnvelope(const nlohmann::json& root);

// A JSON number as int32, clamped to its range; throws for anything but a number.
using vl::json::ToInt32;

// Compact text, non-ASCII characters written as UTF-8; bytes that are not UTF-8 become U+FFFD
// instead of failing.
std::string Dump(const nlohmann::json& value);

}  // namespace user_json
