#pragma once

#include <httplib.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "backend/json_reader.h"
#include "backend/store.h"

// What every answer shares: the envelope {"code", "msg", "data"}, the codes, request bodies and
// the access token.
namespace backend {

enum class ApiCode {
    Ok = 0,
    BadJson = 10400,        // the body is not a JSON object
    BadField = 10401,       // a member is missing, of the wrong type, out of range or unknown
    NotFound = 10404,       // no such path
    BadMethod = 10405,      // the path exists for another method
    TooLarge = 10413,       // the body is over the limit
    TooMany = 10429,        // a rate limit
    Internal = 10500,       // the back-end failed
    TokenRejected = 10505,  // the token is no longer accepted: the program signs out
    NoToken = 10506,        // the request needs a signed-in user
    CodeWrong = 10601,
    CodeGone = 10602,
    QrWaiting = 10603,
    QrGone = 10604,
    QuotaUsedUp = 10701,
    NoSuchGood = 10801,
    PayMethodRefused = 10802,
    GoodChanged = 10803,
    NoSuchOrder = 10804,
};

inline constexpr const char* kJsonType = "application/json; charset=utf-8";
inline constexpr const char* kHtmlType = "text/html; charset=utf-8";

struct Reply {
    int status = 200;
    std::string contentType = kJsonType;
    std::string body;
};

// Serialises without throwing: text that is not UTF-8 is replaced, never an exception.
std::string Dump(const nlohmann::json& value);

Reply Success(const nlohmann::json& data);
// `dataJson` is the serialised "data" member.
Reply SuccessRaw(const std::string& dataJson);
// A failure with the code's own message, or `msg` when given. Failures of the request itself
// (not JSON, wrong member) are HTTP 200 too, so the program shows their message.
Reply Fail(ApiCode code, const std::string& msg = "");
std::string DefaultMessage(ApiCode code);
Reply Html(int status, std::string page);

// The body as a JSON object whose members `read` takes (see JsonReader); false with the failure
// to answer when it is not JSON, a member is wrong or a member is unknown.
using BodyReader = std::function<void(JsonReader&)>;
bool ReadBody(const httplib::Request& req, const BodyReader& read, Reply& fail);

// The account of the "Access-Token" header: NoToken when it is empty, TokenRejected when it is
// not (or no longer) a valid token.
bool Authenticate(IStore& store, const httplib::Request& req, const Clock& clock,
                  AccountId& account, Reply& fail);
// The token of the request (empty when not sent).
std::string RequestToken(const httplib::Request& req);
std::string TokenHash(const std::string& token);

// The current time and calendar day (local time).
Clock Now();
// "YYYY-MM-DD HH:MM:SS" in local time, as the program reads dates; empty for 0.
std::string FormatTime(std::int64_t epochSeconds);
// The last second of the local day of `epochSeconds`, formatted as above.
std::string EndOfDay(std::int64_t epochSeconds);

// 11 digits starting with 1, as the program checks them.
bool IsPhoneNumber(const std::string& phone);
// "138****5678", for logs.
std::string MaskPhone(const std::string& phone);

}  // namespace backend
