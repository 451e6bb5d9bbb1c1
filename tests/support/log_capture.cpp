#include "tests/support/log_capture.h"

#include <spdlog/sinks/stdout_sinks.h>

#include <algorithm>
#include <cstdlib>

#include "utils/vl_log.h"

namespace vl::test {

std::shared_ptr<LogCapture> LogCapture::Get() {
    static const auto capture = std::make_shared<LogCapture>();
    return capture;
}

void LogCapture::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::vector<LogCapture::Entry> LogCapture::Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
}

bool LogCapture::Contains(const std::string& text) {
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return e.message.find(text) != std::string::npos; });
}

bool LogCapture::Has(const std::string& text) {
    return Count(text) > 0;
}

std::size_t LogCapture::Count(const std::string& text) {
    std::lock_guard lock(mutex_);
    return std::count_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return e.message == text; });
}

std::string LogCapture::Dump() {
    std::string out;
    for (const Entry& e : Entries())
        out += e.formatted;
    return out;
}

void LogCapture::sink_it_(const spdlog::details::log_msg& msg) {
    spdlog::memory_buf_t buf;
    formatter_->format(msg, buf);
    entries_.push_back({msg.level, std::string(msg.payload.data(), msg.payload.size()),
                        std::string(buf.data(), buf.size())});
}

void InstallTestLogger() {
    std::vector<spdlog::sink_ptr> sinks{LogCapture::Get()};
    if (std::getenv("VELMORA_TEST_LOG") != nullptr)
        sinks.push_back(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    vl::log::CreateProcessLogger(sinks);
}

}  // namespace vl::test
