#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace backend {

// One request as the handlers see it: read whole and checked against the server's limits
// before any handler runs.
struct Request {
    std::string method;  // as sent: "GET", "POST", ...
    std::string path;    // percent-decoded, without the query
    std::string query;   // as sent, after '?'
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string remoteAddr;  // the peer's address

    // The last value of the header (names compare without case); empty when absent.
    std::string Header(std::string_view name) const;
    // Every value of the header in order, joined with ", " as one list.
    std::string HeaderList(std::string_view name) const;
    // A member of the query, or of a form body (application/x-www-form-urlencoded); the first
    // one when repeated.
    bool HasParam(std::string_view name) const;
    std::string Param(std::string_view name) const;

    // Fills the parameters from the query and a form body; the server calls it once.
    void ParseParams();

private:
    std::vector<std::pair<std::string, std::string>> params_;
};

// %XX decoded; '+' is a space when `plusIsSpace` (forms and queries).
std::string UrlDecode(std::string_view text, bool plusIsSpace);

}  // namespace backend
