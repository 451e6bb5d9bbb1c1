#include "logic/user_json.h"

namespace user_json {

Envelope ReadEnvelope(const nlohmann::json& root) {
    Envelope e;
    e.code = ToInt32(root.at("code"));
    e.msg = root.at("msg").get<std::string>();
    return e;
}

std::string Dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace user_json
