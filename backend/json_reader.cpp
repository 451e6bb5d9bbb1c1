#include "backend/json_reader.h"

#include <cmath>

namespace backend {

JsonReader::JsonReader(const nlohmann::json& object, std::string path, std::string& error)
    : object_(object), path_(std::move(path)), error_(error) {
    if (!object_.is_object() && error_.empty()) {
        error_ = (path_.empty() ? std::string("the document") : path_) + " must be a JSON object";
    }
}

std::string JsonReader::Path(const char* key) const {
    return path_.empty() ? std::string(key) : path_ + "." + key;
}

const nlohmann::json* JsonReader::Find(const char* key) {
    if (!error_.empty() || !object_.is_object()) {
        return nullptr;
    }
    read_.insert(key);
    const auto it = object_.find(key);
    return it == object_.end() ? nullptr : &*it;
}

bool JsonReader::Fail(const char* key, const std::string& what) {
    if (error_.empty()) {
        error_ = Path(key) + " " + what;
    }
    return false;
}

bool JsonReader::Int64(const char* key, std::int64_t& out, std::int64_t min, std::int64_t max) {
    const nlohmann::json* v = Find(key);
    if (v == nullptr) {
        return Ok();
    }
    const std::string range =
        "must be an integer from " + std::to_string(min) + " to " + std::to_string(max);
    // Unsigned values above the signed range and fractions are out of range, not rounded.
    if (v->is_number_unsigned()) {
        const auto u = v->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(max) || static_cast<std::int64_t>(u) < min) {
            return Fail(key, range);
        }
        out = static_cast<std::int64_t>(u);
        return true;
    }
    if (!v->is_number_integer()) {
        return Fail(key, range);
    }
    const auto i = v->get<std::int64_t>();
    if (i < min || i > max) {
        return Fail(key, range);
    }
    out = i;
    return true;
}

bool JsonReader::Int(const char* key, int& out, int min, int max) {
    std::int64_t v = out;
    if (!Int64(key, v, min, max)) {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

bool JsonReader::Number(const char* key, double& out, double min, double max) {
    const nlohmann::json* v = Find(key);
    if (v == nullptr) {
        return Ok();
    }
    if (!v->is_number() || !std::isfinite(v->get<double>()) || v->get<double>() < min ||
        v->get<double>() > max) {
        return Fail(key,
                    "must be a number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    out = v->get<double>();
    return true;
}

bool JsonReader::Bool(const char* key, bool& out) {
    const nlohmann::json* v = Find(key);
    if (v == nullptr) {
        return Ok();
    }
    if (!v->is_boolean()) {
        return Fail(key, "must be true or false");
    }
    out = v->get<bool>();
    return true;
}

bool JsonReader::String(const char* key, std::string& out, std::size_t maxBytes) {
    const nlohmann::json* v = Find(key);
    if (v == nullptr) {
        return Ok();
    }
    if (!v->is_string()) {
        return Fail(key, "must be a string");
    }
    if (v->get_ref<const std::string&>().size() > maxBytes) {
        return Fail(key, "is longer than " + std::to_string(maxBytes) + " bytes");
    }
    out = v->get<std::string>();
    return true;
}

const nlohmann::json* JsonReader::Object(const char* key) {
    const nlohmann::json* v = Find(key);
    if (v != nullptr && !v->is_object()) {
        Fail(key, "must be a JSON object");
        return nullptr;
    }
    return v;
}

const nlohmann::json* JsonReader::Any(const char* key) {
    return Find(key);
}

bool JsonReader::Require(const char* key) {
    if (!error_.empty()) {
        return false;
    }
    if (!object_.contains(key)) {
        return Fail(key, "is missing");
    }
    return true;
}

bool JsonReader::Finish() {
    if (!error_.empty() || !object_.is_object()) {
        return false;
    }
    for (const auto& [key, value] : object_.items()) {
        if (read_.count(key) == 0) {
            return Fail(key.c_str(), "is not a known member");
        }
    }
    return true;
}

}  // namespace backend
