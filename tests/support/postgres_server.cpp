#include "tests/support/postgres_server.h"

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "tests/support/process.h"

namespace vl::test {

namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";

// A port nobody listens on now (the server binds it a moment later).
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

}  // namespace

PostgresServer::PostgresServer() {
    namespace fs = std::filesystem;
    if (!fs::exists(kBin + "initdb")) {
        error_ = "PostgreSQL 15 is not installed (scripts/setup.sh test)";
        return;
    }
    data_ = dir_.File("cluster");
    fs::create_directory(data_);
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (pw == nullptr) {
            pw = ::getpwnam("nobody");
        }
        if (pw == nullptr || ::chown(data_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = "no unprivileged user to own the cluster";
            return;
        }
        user_ = pw->pw_name;
        fs::permissions(dir_.Path(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    fs::permissions(data_, fs::perms::owner_all);
    port_ = FreePort();
    if (!RunAsOwner({kBin + "initdb", "-D", data_, "-A", "trust", "-U", "postgres", "-E", "UTF8",
                     "--locale=C", "--no-sync"},
                    120000) ||
        !Start()) {
        return;
    }
    url_ = "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/postgres";
}

PostgresServer::~PostgresServer() {
    Stop();
}

bool PostgresServer::RunAsOwner(const std::vector<std::string>& args, int timeoutMs) {
    std::vector<std::string> argv = args;
    if (!user_.empty()) {
        argv.insert(argv.begin(), {"/usr/sbin/runuser", "-u", user_, "--"});
    }
    const ProcessResult r = RunProcess(argv, "", timeoutMs);
    if (r.exitCode != 0) {
        error_ = args[0] + " failed: " + r.err + r.out;
        return false;
    }
    return true;
}

bool PostgresServer::Start() {
    if (running_) {
        return true;
    }
    const std::string options = "-p " + std::to_string(port_) + " -k " + data_ +
                                " -c listen_addresses=127.0.0.1 -c max_connections=60";
    running_ = RunAsOwner({kBin + "pg_ctl", "-D", data_, "-w", "-t", "60", "-l",
                           data_ + "/server.log", "-o", options, "start"},
                          90000);
    return running_;
}

bool PostgresServer::Stop() {
    if (!running_) {
        return true;
    }
    running_ =
        !RunAsOwner({kBin + "pg_ctl", "-D", data_, "-w", "-t", "60", "-m", "fast", "stop"}, 90000);
    return !running_;
}

std::string PostgresServer::Query(const std::string& sql) {
    const ProcessResult r = RunProcess(
        {kBin + "psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", url_, "-c", sql}, "",
        30000);
    if (r.exitCode != 0) {
        error_ = "psql failed: " + r.err;
        return "";
    }
    std::string out = r.out;
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

}  // namespace vl::test
