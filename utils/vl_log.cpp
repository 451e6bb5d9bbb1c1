#include "utils/vl_log.h"

#include <spdlog/pattern_formatter.h>

#include <cstring>

namespace vl::log {

bool CreateProcessLogger(std::vector<spdlog::sink_ptr> sinks) {
    try {
        spdlog::drop(kLoggerName);
        auto logger = std::make_shared<spdlog::logger>(kLoggerName, sinks.begin(), sinks.end());
        logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
            kPattern, spdlog::pattern_time_type::local, kEol));
        logger->set_level(spdlog::level::debug);
        logger->flush_on(spdlog::level::info);
        spdlog::register_logger(logger);
        spdlog::set_default_logger(logger);
        spdlog::set_level(spdlog::level::debug);
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "create logger failed, %s\n", e.what());
        return false;
    }
}

void FlushProcessLogger() {
    if (auto logger = spdlog::default_logger()) {
        logger->flush();
    }
}

namespace {

// Index of the '(' that opens the parameter list, skipping "operator()" and template arguments.
std::size_t ParameterListStart(const char* s, std::size_t n) {
    int angle = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = s[i];
        if (c == '<') {
            ++angle;
        } else if (c == '>' && angle > 0) {
            --angle;
        } else if (c == '(' && angle == 0) {
            if (i >= 8 && std::strncmp(s + i - 8, "operator", 8) == 0 && i + 1 < n &&
                s[i + 1] == ')') {
                ++i;
                continue;
            }
            return i;
        }
    }
    return n;
}

}  // namespace

FunctionName::FunctionName(const char* pretty) noexcept {
    const std::size_t n = std::strlen(pretty);
    const std::size_t end = ParameterListStart(pretty, n);
    // The name starts after the last space outside template arguments (the return type's end).
    std::size_t begin = 0;
    int angle = 0;
    for (std::size_t i = end; i-- > 0;) {
        const char c = pretty[i];
        if (c == '>') {
            ++angle;
        } else if (c == '<') {
            --angle;
        } else if (c == ' ' && angle == 0) {
            begin = i + 1;
            break;
        }
    }
    std::size_t len = end - begin;
    if (len >= sizeof(buf_)) {
        len = sizeof(buf_) - 1;
    }
    std::memcpy(buf_, pretty + begin, len);
    buf_[len] = '\0';
}

}  // namespace vl::log
