#pragma once

#include <functional>
#include <string>

// The back-end's sign-out rule: an answer whose envelope code says the access token is no longer
// accepted. The account logic owns it; the HTTP client only hands it every 200 answer.
namespace account {

// A JSON object whose top-level "code" is the need-login code (a number or its text).
bool IsNeedLoginAnswer(const std::string& response);

// Installs the rule on vl::Http: `hook` runs on the thread that ran the request, before the
// request's completion, for each answer the rule matches ("need login, code 10505" is logged
// either way). An empty hook keeps only the log line.
using NeedLoginHook = std::function<void()>;
void SetNeedLoginHook(NeedLoginHook hook);

}  // namespace account
