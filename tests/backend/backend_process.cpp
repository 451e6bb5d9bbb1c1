#include "tests/backend/backend_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "utils/vl_http.h"

namespace vl::test {

namespace {

constexpr auto kWaitStep = std::chrono::milliseconds(5);
constexpr int kWaitSteps = 2000;  // 10 s

// Waits for the process to end within `steps`; its exit status, or -1 (killed, or still running).
int Reap(pid_t pid, int steps) {
    for (int i = 0; i < steps; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(kWaitStep);
    }
    return -2;
}

Answer Read(std::int32_t httpCode, std::string response) {
    Answer a;
    a.httpCode = httpCode;
    a.body = std::move(response);
    a.json = nlohmann::json::parse(a.body, nullptr, false);
    return a;
}

}  // namespace

BackendProcess::BackendProcess(const TempDir& dir, const nlohmann::json& config) : dir_(dir) {
    nlohmann::json merged = {{"listen", {{"host", "127.0.0.1"}, {"port", 0}}},
                             {"database", "backend.db"},
                             {"sms", {{"resend_seconds", 0}}}};
    if (config.is_object()) {
        merged.merge_patch(config);
    }
    dir_.Write("backend.json", merged.dump());
    std::filesystem::remove(dir_.File("port"));
    const std::string log = dir_.File("backend.log");
    std::vector<std::string> args = {VELMORA_BACKEND_PATH, "--config", dir_.File("backend.json"),
                                     "--port-file", dir_.File("port")};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < kWaitSteps && url_.empty(); ++i) {
        std::ifstream in(dir_.File("port"));
        int port = 0;
        if (in >> port) {
            url_ = "http://127.0.0.1:" + std::to_string(port);
        } else if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(kWaitStep);
    }
}

BackendProcess::~BackendProcess() {
    if (pid_ <= 0) {
        return;
    }
    // Every run ends cleanly: no hang, no sanitizer report, exit status 0.
    const int status = Terminate();
    if (status != 0) {
        ADD_FAILURE() << "velmora-backend ended with " << status << "\n" << Log();
        Kill();
    }
}

int BackendProcess::Terminate() {
    if (pid_ <= 0) {
        return -1;
    }
    ::kill(pid_, SIGTERM);
    const int status = Reap(pid_, kWaitSteps);
    if (status != -2) {
        pid_ = -1;
    }
    return status;
}

void BackendProcess::Kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Reap(pid_, kWaitSteps);
        pid_ = -1;
    }
}

std::string BackendProcess::Log() const {
    return dir_.Read("backend.log");
}

std::string BackendProcess::CodeFor(const std::string& phone) const {
    const std::regex line("手机 " + phone + " 的验证码: ([0-9]{6})");
    for (int i = 0; i < kWaitSteps; ++i) {
        const std::string log = Log();
        std::string code;
        for (auto it = std::sregex_iterator(log.begin(), log.end(), line);
             it != std::sregex_iterator(); ++it) {
            code = (*it)[1];
        }
        if (!code.empty()) {
            return code;
        }
        std::this_thread::sleep_for(kWaitStep);
    }
    return "";
}

Answer Get(const std::string& url, const std::string& token) {
    std::string error, response;
    std::int32_t httpCode = 0;
    vl::Http::Instance()->GetSync(error, httpCode, response, url, {{"Access-Token", token}}, 0);
    return Read(httpCode, std::move(response));
}

Answer Post(const std::string& url, const std::string& body, const std::string& token,
            const std::string& contentType) {
    std::string error, response;
    std::int32_t httpCode = 0;
    vl::Http::Instance()->PostSync(error, httpCode, response, url,
                                   {{"Access-Token", token}, {"Content-Type", contentType}}, body,
                                   0, false);
    return Read(httpCode, std::move(response));
}

std::int64_t CountRows(const TempDir& dir, const char* table) {
    sqlite3* db = nullptr;
    std::int64_t n = -1;
    if (sqlite3_open_v2(dir.File("backend.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* q = nullptr;
        const std::string sql = std::string("SELECT COUNT(*) FROM ") + table;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK &&
            sqlite3_step(q) == SQLITE_ROW) {
            n = sqlite3_column_int64(q, 0);
        }
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return n;
}

std::string SignIn(const BackendProcess& backend, const std::string& phone) {
    // The code is in the log before the answer leaves the back-end.
    if (Post(backend.Url() + "/sms/send/code", nlohmann::json{{"phone", phone}}.dump()).Code() !=
        0) {
        return "";
    }
    const Answer a =
        Post(backend.Url() + "/login/sms",
             nlohmann::json{{"phone", phone}, {"code", backend.CodeFor(phone)}}.dump());
    return a.Code() == 0 ? a.Data().value("accessToken", "") : "";
}

std::string FormTokenIn(const std::string& page) {
    static const std::regex kToken(R"re(name="csrf" value="([0-9a-f]+)")re");
    std::smatch m;
    return std::regex_search(page, m, kToken) ? m[1].str() : std::string();
}

}  // namespace vl::test
