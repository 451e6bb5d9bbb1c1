#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "backend/json_reader.h"
#include "backend/request.h"
#include "backend/store.h"
#include "protocol/backend_protocol.h"

// What every answer shares: the envelope {"code", "msg", "data"}, the codes, request bodies and
// the access token.
namespace backend {

// The envelope's codes are the protocol's, shared with the program.
using ApiCode = velmora::protocol::Code;

inline constexpr const char* kJsonType = "application/json; charset=utf-8";
inline constexpr const char* kHtmlType = "text/html; charset=utf-8";

struct Reply {
    int status = 200;
    std::string contentType = kJsonType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // more header fields
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
// A page, never to be framed, with nothing but its own style sheet and inline images.
Reply Html(int status, std::string page);

// The body as a JSON object whose members `read` takes (see JsonReader); false with the failure
// to answer when it is not JSON, a member is wrong or a member is unknown.
using BodyReader = std::function<void(JsonReader&)>;
bool ReadBody(const Request& req, const BodyReader& read, Reply& fail);

// The account of the "Access-Token" header: NoToken when it is empty, TokenRejected when it is
// not (or no longer) a valid token.
bool Authenticate(IStore& store, const Request& req, const Clock& clock, AccountId& account,
                  Reply& fail);
// The token of the request (empty when not sent).
std::string RequestToken(const Request& req);
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
