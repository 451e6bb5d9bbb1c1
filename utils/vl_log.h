#pragma once

#include <spdlog/spdlog.h>

#include <memory>
#include <string>
#include <vector>

namespace vl::log {

inline constexpr const char* kLoggerName = "velmora translator";
inline constexpr const char* kPattern = "[%L][%x %X.%e][%t][%5o][%s:%#][%!] %v";
inline constexpr const char* kEol = "\r\n";

// Builds the process logger over the given sinks: named "velmora translator", registered and made
// spdlog's default logger, level debug, flushed at info and above, with the system's pattern and
// "\r\n" line ends. Replaces an earlier process logger. Returns false when spdlog refuses.
bool CreateProcessLogger(std::vector<spdlog::sink_ptr> sinks);

// Flushes every sink of the default logger.
void FlushProcessLogger();

// "void vl::Http::ReqTh()" -> "vl::Http::ReqTh": the qualified name the log shows for a call site.
class FunctionName {
public:
    explicit FunctionName(const char* prettyFunction) noexcept;
    const char* c_str() const noexcept { return buf_; }

private:
    char buf_[192];
};

}  // namespace vl::log

// Logging macros: every line records its source file, line and function.
#define VL_LOG_AT(level, ...)                                                                      \
    do {                                                                                           \
        ::spdlog::logger* vl_logger_ = ::spdlog::default_logger_raw();                             \
        if (vl_logger_ != nullptr && vl_logger_->should_log(level)) {                              \
            ::vl::log::FunctionName vl_function_(__PRETTY_FUNCTION__);                             \
            vl_logger_->log(::spdlog::source_loc{__FILE__, __LINE__, vl_function_.c_str()}, level, \
                            __VA_ARGS__);                                                          \
        }                                                                                          \
    } while (0)

#define VL_DEBUG(...) VL_LOG_AT(::spdlog::level::debug, __VA_ARGS__)
#define VL_INFO(...) VL_LOG_AT(::spdlog::level::info, __VA_ARGS__)
#define VL_WARN(...) VL_LOG_AT(::spdlog::level::warn, __VA_ARGS__)
#define VL_ERROR(...) VL_LOG_AT(::spdlog::level::err, __VA_ARGS__)
#define VL_CRITICAL(...) VL_LOG_AT(::spdlog::level::critical, __VA_ARGS__)
