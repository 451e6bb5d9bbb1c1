#include "logic/init_log.h"

#include <fcntl.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <utility>
#include <vector>

#include "utils/vl_env.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

const std::string kLogPrefix = "velmora-translator-";
constexpr std::size_t kKeptLogs = 10;

}  // namespace

std::string LogFileName(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    return kLogPrefix + std::to_string(local.tm_year + 1900) + std::to_string(local.tm_mon + 1) +
           std::to_string(local.tm_mday) + "-" + std::to_string(local.tm_hour) +
           std::to_string(local.tm_min) + std::to_string(local.tm_sec) + "." + std::to_string(ms) +
           ".log";
}

void PruneLogs(const std::string& dir, std::size_t keep) {
    namespace fs = std::filesystem;
    std::vector<std::pair<fs::file_time_type, fs::path>> logs;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kLogPrefix, 0) != 0 || name.size() < 4 ||
            name.compare(name.size() - 4, 4, ".log") != 0 || !it->is_regular_file(ec))
            continue;
        logs.emplace_back(it->last_write_time(ec), it->path());
    }
    if (logs.size() <= keep)
        return;
    std::sort(logs.begin(), logs.end(), [](const auto& a, const auto& b) { return a > b; });
    for (std::size_t i = keep; i < logs.size(); ++i) {
        if (!fs::remove(logs[i].second, ec) && ec)
            VL_WARN("remove old log \"{}\" failed, {}", logs[i].second.string(), ec.message());
    }
}

bool InitLog() {
    const std::string dir = vl::ToString(vl::LogDir());
    if (dir.empty()) {
        // Without its folder the file would land in the file system's root.
        std::fputs("InitLog failed\n", stderr);
        return false;
    }
    const std::string path = dir + "/" + LogFileName(std::chrono::system_clock::now());
    try {
        // Thread-safe sink: the HTTP, task and command threads all log. Opened for appending, and
        // closed on exec so no launched program (a browser) holds the log open.
        spdlog::file_event_handlers events;
        events.after_open = [](const spdlog::filename_t&, std::FILE* file) {
            ::fcntl(::fileno(file), F_SETFD, FD_CLOEXEC);
        };
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, false, events);
        if (!vl::log::CreateProcessLogger({sink})) {
            std::fputs("InitLog failed\n", stderr);
            return false;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "InitLog failed\n%s\n", e.what());
        return false;
    }
    PruneLogs(dir, kKeptLogs);
    return true;
}
