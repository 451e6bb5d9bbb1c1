#include "tests/e2e/desktop_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <utility>

#include "tests/support/process.h"

namespace vl::test {

namespace {

using namespace std::chrono_literals;

bool CanConnect(const std::string& display) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    const bool ok = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    return ok;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::vector<std::string>& unset, const std::string& cwd,
            const std::string& stderrFile, const std::string& stdoutFile = "") {
    std::vector<std::string> args = argv;
    std::vector<char*> cargs;
    for (auto& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        for (const auto& [k, v] : env)
            ::setenv(k.c_str(), v.c_str(), 1);
        for (const auto& k : unset)
            ::unsetenv(k.c_str());
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(stdoutFile.empty() ? devnull
                                  : ::open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
               1);
        const int err = stderrFile.empty()
                            ? devnull
                            : ::open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        ::execvp(cargs[0], cargs.data());
        ::_exit(127);
    }
    return pid;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Calls `done` every few milliseconds until it holds or `timeout` passes; whether it held.
template <class Done>
bool PollFor(std::chrono::milliseconds timeout, Done done) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !done();
         std::this_thread::sleep_for(5ms)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return true;
}

// Waits for `pid` to end, killing its process group after `timeout`; its exit code, or -1.
int WaitChild(pid_t pid, std::chrono::milliseconds timeout, int* status) {
    if (!PollFor(timeout, [&] { return ::waitpid(pid, status, WNOHANG) == pid; })) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, status, 0);
        return -1;
    }
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

}  // namespace

XServer::XServer(const std::string& screen, bool windowManager, bool trayHost,
                 const std::vector<std::string>& without) {
    for (int n = 90; n < 190 && pid_ < 0; ++n) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
        if (std::filesystem::exists(lock) || std::filesystem::exists(sock))
            continue;
        number_ = n;
        // -noreset: the server must survive its last client leaving between steps.
        std::vector<std::string> argv{"Xvfb", Display(), "-noreset", "-nolisten",
                                      "tcp",  "-screen", "0",        screen};
        for (const std::string& extension : without)
            argv.insert(argv.end(), {"-extension", extension});
        pid_ = Spawn(argv, {}, {}, "", "");
    }
    for (int i = 0; i < 500 && pid_ > 0; ++i) {
        if (CanConnect(Display())) {
            ready_ = true;
            break;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // it could not start (display taken meanwhile, not installed)
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    if (ready_ && windowManager) {
        windowManager_ = Spawn({"openbox"}, {{"DISPLAY", Display()}}, {}, "", "");
        // It manages the screen once it announces itself on the root window.
        PollFor(5s, [this] {
            return RunProcess({"/usr/bin/env", "DISPLAY=" + Display(), "xprop", "-root",
                               "_NET_SUPPORTING_WM_CHECK"})
                       .out.find("window id") != std::string::npos;
        });
    }
    if (ready_ && trayHost) {
        trayHost_ = Spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                           "--height", "24"},
                          {{"DISPLAY", Display()}}, {}, "", "");
        PollFor(5s, [this] {
            return !RunProcess({"/usr/bin/env", "DISPLAY=" + Display(), "xdotool", "search",
                                "--class", "trayer"})
                        .out.empty();
        });
    }
}

XServer::~XServer() {
    int status = 0;
    for (pid_t pid : {trayHost_, windowManager_, pid_}) {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            WaitChild(pid, 5s, &status);
        }
    }
}

ProgramRun::ProgramRun(std::string executable) : executable_(std::move(executable)) {}

ProgramRun::ProgramRun() : executable_(dir_.File("velmora-translator")) {
    std::filesystem::copy_file(VELMORA_PROGRAM_PATH, executable_);
    std::filesystem::copy(VELMORA_RESOURCE_DIR, dir_.File("resource"),
                          std::filesystem::copy_options::recursive);
}

ProgramRun::~ProgramRun() {
    if (pid_ > 0 && status_ < 0) {
        ::kill(-pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

void ProgramRun::UseUnreachableBackend() {
    // Port 9 (discard) is closed on loopback: every request is refused at once.
    dir_.Write("velmora-services.json", R"({"backend":{"url":"http://127.0.0.1:9"}})");
}

bool ProgramRun::Start(const std::string& display,
                       const std::map<std::string, std::string>& extraEnv,
                       const std::vector<std::string>& args) {
    std::map<std::string, std::string> env = extraEnv;
    env["QT_QPA_PLATFORM"] = "xcb";
    std::vector<std::string> unset;
    if (display.empty()) {
        unset.push_back("DISPLAY");
    } else {
        env["DISPLAY"] = display;
    }
    std::vector<std::string> argv{executable_};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = Spawn(argv, env, unset, dir_.Path().string(), dir_.File("stderr.txt"));
    return pid_ > 0;
}

void ProgramRun::Signal(int sig) {
    if (pid_ > 0)
        ::kill(pid_, sig);
}

int ProgramRun::WaitExit(std::chrono::milliseconds timeout) {
    return WaitChild(pid_, timeout, &status_);
}

std::vector<std::string> ProgramRun::LogMessages() const {
    std::vector<std::string> out;
    std::error_code ec;
    // [L][date time][thread][ms][file:line][function] message
    static const std::regex line(R"(^\[.\]\[[^\]]*\]\[\d+\]\[ *\d+\]\[[^\]]*\]\[[^\]]*\] (.*)$)");
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Path() / "log", ec))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::istringstream in(ReadAll(f.string()));
        std::string text;
        while (std::getline(in, text)) {
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            std::smatch m;
            if (std::regex_match(text, m, line))
                out.push_back(m[1]);
        }
    }
    return out;
}

bool ProgramRun::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) {
    return PollFor(timeout, [&] {
        const auto log = LogMessages();
        return std::find(log.begin(), log.end(), text) != log.end();
    });
}

std::string ProgramRun::Stderr() const {
    return ReadAll(dir_.File("stderr.txt"));
}

ProbeRun::ProbeRun(const std::string& display, const std::string& mode,
                   const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> all = env;
    all["DISPLAY"] = display;
    all["QT_QPA_PLATFORM"] = "xcb";
    pid_ = Spawn({VELMORA_PROBE_PATH, mode}, all, {}, "", "", dir_.File("out.txt"));
}

ProbeRun::~ProbeRun() {
    WaitExit(0ms);
}

std::string ProbeRun::Output() const {
    return ReadAll(dir_.File("out.txt"));
}

std::string ProbeRun::WaitForLine(const std::string& prefix,
                                  std::chrono::milliseconds timeout) const {
    std::string found;
    PollFor(timeout, [&] {
        std::istringstream in(Output());
        for (std::string line; std::getline(in, line) && found.empty();)
            found = line.rfind(prefix, 0) == 0 ? line : "";
        return !found.empty();
    });
    return found;
}

int ProbeRun::WaitExit(std::chrono::milliseconds timeout) {
    int status = 0;
    return pid_ > 0 ? WaitChild(std::exchange(pid_, -1), timeout, &status) : -1;
}

bool InOrder(const std::vector<std::string>& messages, const std::vector<std::string>& expected,
             std::string* missing) {
    std::size_t at = 0;
    for (const std::string& want : expected) {
        while (at < messages.size() && messages[at] != want)
            ++at;
        if (at == messages.size()) {
            if (missing != nullptr)
                *missing = want;
            return false;
        }
        ++at;
    }
    return true;
}

std::string XdoTool(const std::string& display, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/env", "DISPLAY=" + display, "xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, "", 15000).out;
}

}  // namespace vl::test
