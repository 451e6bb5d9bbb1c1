#pragma once

#include <spdlog/sinks/base_sink.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vl::test {

// A sink on the process logger that keeps every message, so a test can assert what was logged.
class LogCapture final : public spdlog::sinks::base_sink<std::mutex> {
public:
    struct Entry {
        spdlog::level::level_enum level;
        std::string message;    // the text after the pattern's prefix
        std::string formatted;  // the whole line, line end included
    };

    // The capture installed on the process logger by the test main.
    static std::shared_ptr<LogCapture> Get();

    void Clear();
    std::vector<Entry> Entries();
    // True when some message contains `text`.
    bool Contains(const std::string& text);
    // True when some message equals `text` exactly.
    bool Has(const std::string& text);
    std::size_t Count(const std::string& text);
    // Messages in order, for failure output.
    std::string Dump();

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override {}

private:
    std::vector<Entry> entries_;
};

// Installs the process logger with the capture (and standard error when VELMORA_TEST_LOG is set).
void InstallTestLogger();

}  // namespace vl::test
