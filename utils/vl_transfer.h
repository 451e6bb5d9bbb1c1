#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "utils/vl_curl.h"

// The one HTTP transfer of the process: every client (back-end, OCR, translation engines) builds
// a Request and reads a Result; the answer cap, the header checks, the time-outs and the TLS
// verification are set here and nowhere else.
namespace vl::net {

enum class Verb { Get, Post };

struct Request {
    Verb verb = Verb::Get;
    std::string url{};
    // Sent as given; a name or value with a control character refuses the request. An empty
    // value is sent as an empty header ("Name;"), not dropped.
    std::map<std::string, std::string> headers{};
    std::string body{};  // Post only
    long connectTimeoutMs = 3000;
    long timeoutMs = 3000;
    // One byte more fails the transfer ("response is larger than N bytes").
    std::size_t maxAnswerBytes = curl::kMaxAnswerBytes;
    bool verbose = false;  // libcurl's own trace on standard error
};

// Where a failed transfer stopped.
enum class Failure {
    None,
    Prepare,   // the request could not be built: bad header, libcurl refused an option
    Transfer,  // connecting, sending or receiving failed
    TooLarge,  // the answer passed maxAnswerBytes
    Status,    // the answer came but its HTTP status could not be read
};

struct Result {
    bool ok = false;  // an answer arrived, whatever its HTTP status
    long httpCode = 0;
    std::string body;
    // Without `ok`: the failure's own text ("Couldn't connect to server", "response is larger
    // than 4194304 bytes", "header \"X\" has a control character", "generate request failed").
    std::string error;
    Failure failure = Failure::None;
    // libcurl's code of the failure: CURLE_BAD_FUNCTION_ARGUMENT for a refused header,
    // CURLE_FAILED_INIT for another request that could not be built.
    int curlCode = 0;
};

// Runs one request to its end on the calling thread. Logs the libcurl failures
// ("curl_easy_perform failed with N, text"); never throws.
Result Send(const Request& request);

}  // namespace vl::net
