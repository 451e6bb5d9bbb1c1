#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace vl::test {

// A PostgreSQL 15 server of one test: a cluster made by initdb in a temporary folder, owned by an
// unprivileged user when the test runs as root (the server refuses root), listening on a free
// loopback port. Stopped and removed when destroyed.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Empty, with Error() saying why, when the server could not be made or started.
    const std::string& Url() const { return url_; }
    const std::string& Error() const { return error_; }

    // Stops the server (fast: open connections are cut) and starts it again on the same port.
    bool Stop();
    bool Start();

    // The rows of `sql` run through psql, one per line, columns separated by '|'; empty with
    // Error() set when psql failed.
    std::string Query(const std::string& sql);

private:
    // Runs a server program as the cluster's owner.
    bool RunAsOwner(const std::vector<std::string>& args, int timeoutMs);

    TempDir dir_;
    std::string user_;  // empty: this user
    std::string data_;
    int port_ = 0;
    bool running_ = false;
    std::string url_;
    std::string error_;
};

}  // namespace vl::test
