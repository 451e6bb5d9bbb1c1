#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <set>
#include <string>

namespace backend {

// Reads the members of one JSON object strictly: each read names a member, checks its type and
// range, and Finish() refuses members nobody asked for. The first problem is kept as a message
// naming the member by its path ("sms.max_tries must be an integer from 1 to 100").
class JsonReader {
public:
    JsonReader(const nlohmann::json& object, std::string path, std::string& error);

    // Optional members: absent leaves `out` as it was.
    bool Int(const char* key, int& out, int min, int max);
    bool Int64(const char* key, std::int64_t& out, std::int64_t min, std::int64_t max);
    bool Number(const char* key, double& out, double min, double max);
    bool Bool(const char* key, bool& out);
    bool String(const char* key, std::string& out, std::size_t maxBytes = 4096);
    // The member's value when it is an object; null when absent.
    const nlohmann::json* Object(const char* key);
    // The member's value whatever its type; null when absent.
    const nlohmann::json* Any(const char* key);
    // Marks a member as required: false with a message when it is absent.
    bool Require(const char* key);
    // False when the object held members that were not read.
    bool Finish();

    bool Ok() const { return error_.empty(); }
    std::string Path(const char* key) const;

private:
    const nlohmann::json* Find(const char* key);
    bool Fail(const char* key, const std::string& what);

    const nlohmann::json& object_;
    std::string path_;
    std::string& error_;
    std::set<std::string> read_;
};

}  // namespace backend
