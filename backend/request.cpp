#include "backend/request.h"

#include <strings.h>

namespace backend {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void AddPairs(std::string_view text, std::vector<std::pair<std::string, std::string>>& out) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('&', begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view pair = text.substr(begin, end - begin);
        if (!pair.empty()) {
            const std::size_t eq = pair.find('=');
            const std::string_view key = pair.substr(0, eq);
            const std::string_view value =
                eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
            out.emplace_back(UrlDecode(key, true), UrlDecode(value, true));
        }
        begin = end + 1;
    }
}

}  // namespace

std::string UrlDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int hi = HexDigit(text[i + 1]);
            const int lo = HexDigit(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += plusIsSpace && c == '+' ? ' ' : c;
    }
    return out;
}

std::string Request::Header(std::string_view name) const {
    for (auto it = headers.rbegin(); it != headers.rend(); ++it) {
        if (SameName(it->first, name)) {
            return it->second;
        }
    }
    return {};
}

std::string Request::HeaderList(std::string_view name) const {
    std::string out;
    for (const auto& [key, value] : headers) {
        if (SameName(key, name)) {
            out += out.empty() ? value : ", " + value;
        }
    }
    return out;
}

bool Request::HasParam(std::string_view name) const {
    for (const auto& [key, value] : params_) {
        if (key == name) {
            return true;
        }
    }
    return false;
}

std::string Request::Param(std::string_view name) const {
    for (const auto& [key, value] : params_) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

void Request::ParseParams() {
    params_.clear();
    AddPairs(query, params_);
    const std::string type = Header("Content-Type");
    constexpr std::string_view kForm = "application/x-www-form-urlencoded";
    if (type.size() >= kForm.size() &&
        SameName(std::string_view(type).substr(0, kForm.size()), kForm)) {
        AddPairs(body, params_);
    }
}

}  // namespace backend
