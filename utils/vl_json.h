#pragma once

#include <nlohmann/json.hpp>

#include "utils/vl_log.h"

// The system's two log lines for a JSON answer that could not be used, written at the call site
// (so the line names the function that parsed): a syntax error with its byte position, error id
// and text, and any other error (a missing member, a wrong type).
#define VL_LOG_JSON_PARSE_ERROR(e, text)                                                        \
    VL_ERROR("parse json failed with exception, byte {}, id {}, {}, json is \r\n {}", (e).byte, \
             (e).id, (e).what(), (text))
#define VL_LOG_JSON_READ_ERROR(text) \
    VL_ERROR("parse json failed with exception, json is \r\n{}", (text))
