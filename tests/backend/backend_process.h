#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/temp_dir.h"

namespace vl::test {

// velmora-backend started as a process on a free loopback port, with its configuration, database
// and log (its standard error) in `dir`. Stopped with SIGTERM when destroyed, which must end it
// with status 0 (a test fails otherwise).
class BackendProcess {
public:
    // `config` is merged over the test defaults; a second process on the same folder reopens
    // the same database.
    explicit BackendProcess(const TempDir& dir, const nlohmann::json& config = {});
    ~BackendProcess();
    BackendProcess(const BackendProcess&) = delete;
    BackendProcess& operator=(const BackendProcess&) = delete;

    const std::string& Url() const { return url_; }
    // SIGTERM and wait: the exit status, or -1 when it did not exit by itself.
    int Terminate();
    void Kill();
    // The latest sign-in code the log shows for `phone`; empty when none came within seconds.
    std::string CodeFor(const std::string& phone) const;
    std::string Log() const;

private:
    const TempDir& dir_;
    pid_t pid_ = -1;
    std::string url_;
};

// An answer of the back-end, through the program's HTTP client (libcurl).
struct Answer {
    int httpCode = 0;
    std::string body;
    nlohmann::json json;  // discarded when the body is not JSON
    int Code() const { return json.is_object() ? json.value("code", -1) : -1; }
    const nlohmann::json& Data() const { return json.at("data"); }
};

Answer Get(const std::string& url, const std::string& token = "");
Answer Post(const std::string& url, const std::string& body, const std::string& token = "",
            const std::string& contentType = "application/json");

// Rows of a table of the back-end's database in `dir` (-1 when it cannot be read).
std::int64_t CountRows(const TempDir& dir, const char* table);

// The anti-forgery token of the form on a stand-in page; empty when the page has none.
std::string FormTokenIn(const std::string& page);

// Signs `phone` in with the code the log shows; the access token.
std::string SignIn(const BackendProcess& backend, const std::string& phone);

}  // namespace vl::test
