// velmora-backend: the product's own back-end. Starts with built-in defaults; a JSON
// configuration file and a few options override them. SIGTERM, SIGINT and SIGHUP end it after
// the requests in flight, with exit status 0.
#include <fcntl.h>
#include <signal.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "backend/app.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::string configFile;
    std::string host;
    std::string port;
    std::string database;
    std::string portFile;
    std::string logFile;
};

int Usage() {
    std::cerr << "usage: velmora-backend [--config FILE] [--host ADDRESS] [--port N] "
                 "[--database PATH|URL] [--port-file FILE] [--log-file FILE]\n"
                 "  --config FILE     JSON configuration (see the README); without it the\n"
                 "                    built-in defaults apply\n"
                 "  --host, --port    where to listen (default 127.0.0.1:8731; port 0: any free\n"
                 "                    port)\n"
                 "  --database PATH   the SQLite database file, or a postgresql:// URL\n"
                 "  --port-file FILE  write the port listened on to FILE once ready\n"
                 "  --log-file FILE   also append the log to FILE (it always goes to standard\n"
                 "                    error)\n"
                 "exit status 0 after SIGTERM/SIGINT, 1 when it cannot run, 2 for bad options\n";
    return kExitUsage;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* target = nullptr;
        if (arg == "--config") {
            target = &o.configFile;
        } else if (arg == "--host") {
            target = &o.host;
        } else if (arg == "--port") {
            target = &o.port;
        } else if (arg == "--database") {
            target = &o.database;
        } else if (arg == "--port-file") {
            target = &o.portFile;
        } else if (arg == "--log-file") {
            target = &o.logFile;
        }
        if (target == nullptr || i + 1 >= argc) {
            std::cerr << "velmora-backend: "
                      << (target == nullptr ? "unknown option " : "no value for ") << arg << "\n";
            return false;
        }
        *target = argv[++i];
    }
    return true;
}

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buf;
    buf << in.rdbuf();
    text = buf.str();
    return static_cast<bool>(in);
}

// Defaults, then the file, then the options. False with a message.
bool BuildConfig(const Options& o, backend::Config& c, std::string& error) {
    c.update.versionName = VELMORA_BACKEND_VERSION;
    c.update.versionCode = VELMORA_BACKEND_VERSION_NUMBER;
    std::error_code ec;
    c.baseDir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    if (!o.configFile.empty()) {
        std::string text;
        if (!ReadText(o.configFile, text)) {
            error = "cannot read " + o.configFile;
            return false;
        }
        if (!backend::ApplyConfig(text, c, error)) {
            error = o.configFile + ": " + error;
            return false;
        }
        c.baseDir = std::filesystem::absolute(o.configFile, ec).parent_path().string();
    }
    if (!o.host.empty()) {
        c.host = o.host;
    }
    if (!o.port.empty()) {
        char* end = nullptr;
        const long port = std::strtol(o.port.c_str(), &end, 10);
        if (*end != '\0' || port < 0 || port > 65535) {
            error = "--port must be a number from 0 to 65535";
            return false;
        }
        c.port = static_cast<int>(port);
    }
    if (!o.database.empty()) {
        c.database = backend::IsDatabaseUrl(o.database)
                         ? o.database
                         : std::filesystem::absolute(o.database, ec).string();
    }
    if (!o.logFile.empty()) {
        c.logFile = std::filesystem::absolute(o.logFile, ec).string();
    }
    if (!backend::ResolveTimeZone(c, error)) {
        return false;
    }
    // Every local time of this process (days, dates shown, the log) is in that one zone.
    ::setenv("TZ", c.timeZone.c_str(), 1);
    ::tzset();
    return true;
}

bool SetUpLog(const backend::Config& c, std::string& error) {
    std::vector<spdlog::sink_ptr> sinks{std::make_shared<spdlog::sinks::stderr_sink_mt>()};
    if (!c.logFile.empty()) {
        const std::string path = backend::ResolvePath(c, c.logFile);
        // Created private: the log names accounts, orders and (at debug) payment addresses.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
        }
        try {
            sinks.push_back(std::make_shared<spdlog::sinks::basic_file_sink_mt>(path));
        } catch (const spdlog::spdlog_ex& e) {
            error = "cannot open the log file " + path + ": " + e.what();
            return false;
        }
    }
    auto logger = std::make_shared<spdlog::logger>("velmora backend", sinks.begin(), sinks.end());
    logger->set_pattern("[%L][%Y-%m-%d %H:%M:%S.%e][%t] %v");
    logger->set_level(spdlog::level::from_str(c.logLevel));
    logger->flush_on(spdlog::level::info);
    spdlog::set_default_logger(logger);
    return true;
}

// The port, for scripts that started us with port 0: written whole or not at all.
bool WritePortFile(const std::string& path, int port) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << port << "\n";
        if (!out.flush()) {
            return false;
        }
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage();
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return Usage();
    }
    backend::Config config;
    std::string error;
    if (!BuildConfig(options, config, error)) {
        std::cerr << "velmora-backend: " << error << "\n";
        return kExitUsage;
    }
    if (!SetUpLog(config, error)) {
        std::cerr << "velmora-backend: " << error << "\n";
        return kExitFailed;
    }

    // Signals are taken by sigwait below; every thread started from here on blocks them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) {
        sigaddset(&signals, s);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    backend::App app;
    if (!app.Start(config, error)) {
        spdlog::critical("start failed: {}", error);
        return kExitFailed;
    }
    std::cout << "velmora-backend listening on " << config.host << ":" << app.Port()
              << ", pages at " << app.PublicUrl() << std::endl;
    if (!options.portFile.empty() && !WritePortFile(options.portFile, app.Port())) {
        spdlog::critical("cannot write the port file {}", options.portFile);
        return kExitFailed;
    }
    spdlog::info("listening on {}:{}", config.host, app.Port());

    bool served = true;
    // SIGUSR1 tells the main thread that serving ended by itself.
    std::thread serveThread([&app, &served] {
        served = app.Serve();
        ::kill(::getpid(), SIGUSR1);
    });
    int received = 0;
    sigwait(&signals, &received);
    if (received != SIGUSR1) {
        spdlog::info("signal {} received, stopping", received);
    }
    app.Stop();
    serveThread.join();
    if (!served) {
        spdlog::critical("serving failed");
        return kExitFailed;
    }
    spdlog::info("stopped");
    return 0;
}
