#include "tests/support/log_capture.h"

#include <spdlog/sinks/stdout_sinks.h>

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
    for (const Entry& e : entries_) {
        if (e.message.find(text) != std::string::npos)
            return true;
    }
    return false;
}

bool LogCapture::Has(const std::string& text) {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
        if (e.message == text)
            return true;
    }
    return false;
}

std::size_t LogCapture::Count(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const Entry& e : entries_) {
        n += (e.message == text) ? 1 : 0;
    }
    return n;
}

std::string LogCapture::Dump() {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const Entry& e : entries_) {
        out += e.formatted;
    }
    return out;
}

void LogCapture::sink_it_(const spdlog::details::log_msg& msg) {
    spdlog::memory_buf_t buf;
    formatter_->format(msg, buf);
    Entry e;
    e.level = msg.level;
    e.message.assign(msg.payload.data(), msg.payload.size());
    e.formatted.assign(buf.data(), buf.size());
    e.function = msg.source.funcname != nullptr ? msg.source.funcname : "";
    entries_.push_back(std::move(e));
}

void InstallTestLogger() {
    std::vector<spdlog::sink_ptr> sinks{LogCapture::Get()};
    if (std::getenv("VELMORA_TEST_LOG") != nullptr) {
        sinks.push_back(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    }
    vl::log::CreateProcessLogger(sinks);
}

}  // namespace vl::test
