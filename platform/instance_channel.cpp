#include "platform/instance_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "utils/vl_env.h"
#include "utils/vl_log.h"

namespace vl::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClientIdleMs = 2000;  // a connection that sends no full line is dropped

// The display name as a file name part (":0" gives "_0").
std::string DisplayKey() {
    const char* d = std::getenv("DISPLAY");
    if (d == nullptr || d[0] == '\0')
        d = std::getenv("WAYLAND_DISPLAY");
    std::string key = d != nullptr && d[0] != '\0' ? d : "default";
    for (char& c : key) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-')
            c = '_';
    }
    return key.substr(0, 40);
}

int Remaining(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One connect attempt; the socket or -1 with `error`.
int Connect(const std::string& path, std::string& error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) {
        error = "socket path too long: " + path;
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket failed, ") + std::strerror(errno);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        error = "connect to " + path + " failed, " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const std::string& bytes, Clock::time_point deadline, std::string& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, Remaining(deadline)) <= 0) {
            error = "the running program does not take the command";
            return false;
        }
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::string("send failed, ") + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadLine(int fd, std::string& line, Clock::time_point deadline, std::string& error) {
    line.clear();
    char buf[512];
    while (line.size() <= InstanceServer::kMaxLine) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, Remaining(deadline)) <= 0) {
            error = "the running program does not answer";
            return false;
        }
        const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "the running program closed the connection without an answer";
            return false;
        }
        line.append(buf, static_cast<std::size_t>(n));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            line.resize(end);
            return true;
        }
    }
    error = "the answer is too long";
    return false;
}

}  // namespace

bool CurrentInstancePaths(InstancePaths& out, std::string& error) {
    const std::string dir = vl::RuntimeDir();
    if (dir.empty()) {
        error = "no private runtime folder";
        return false;
    }
    const std::string base = dir + "/instance-" + DisplayKey();
    out.lock = base + ".lock";
    out.socket = base + ".sock";
    return true;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);  // releases the lock; the file stays for the next start
}

InstanceLock::Result InstanceLock::Acquire(const std::string& path, std::string& error) {
    if (fd_ >= 0)
        return Result::Acquired;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "open " + path + " failed, " + std::strerror(errno);
        return Result::Failed;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK)
            return Result::HeldElsewhere;
        error = "lock " + path + " failed, " + std::strerror(e);
        return Result::Failed;
    }
    fd_ = fd;
    return Result::Acquired;
}

bool SendInstanceCommand(const std::string& socketPath, const std::string& command,
                         std::string& reply, std::string& error,
                         std::chrono::milliseconds timeout) {
    if (command.empty() || command.size() >= InstanceServer::kMaxLine ||
        command.find('\n') != std::string::npos) {
        error = "not a one-line command";
        return false;
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    int fd = -1;
    // The lock holder may still be starting: it listens once its windows exist.
    while ((fd = Connect(socketPath, error)) < 0 && Remaining(deadline) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (fd < 0)
        return false;
    const bool ok =
        WriteAll(fd, command + "\n", deadline, error) && ReadLine(fd, reply, deadline, error);
    ::close(fd);
    return ok;
}

InstanceServer::InstanceServer() : server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::Accept);
}

InstanceServer::~InstanceServer() {
    server_->close();
}

void InstanceServer::On(const std::string& command, Handler handler) {
    handlers_[command] = std::move(handler);
}

bool InstanceServer::Listen(const std::string& socketPath, std::string& error) {
    const QString name = QString::fromStdString(socketPath);
    QLocalServer::removeServer(name);
    if (!server_->listen(name)) {
        error = "listen on " + socketPath + " failed, " + server_->errorString().toStdString();
        return false;
    }
    return true;
}

void InstanceServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        QTimer::singleShot(kClientIdleMs, socket, [socket] { socket->abort(); });
        Read(socket);
    }
}

void InstanceServer::Read(QLocalSocket* socket) {
    if (socket->property("answered").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > static_cast<qint64>(kMaxLine)) {
            socket->setProperty("answered", true);
            socket->write("error command too long\n");
            socket->disconnectFromServer();
        }
        return;
    }
    const QByteArray raw = socket->readLine(static_cast<qint64>(kMaxLine) + 1);
    std::string line = raw.toStdString();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    socket->setProperty("answered", true);
    Answer(socket, line);
}

void InstanceServer::Answer(QLocalSocket* socket, const std::string& line) {
    const auto space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string argument =
        space == std::string::npos ? std::string() : line.substr(space + 1);
    std::string reply;
    const auto it = handlers_.find(command);
    if (it == handlers_.end()) {
        VL_WARN("instance command \"{}\" is unknown", command);
        reply = "error unknown command";
    } else {
        VL_INFO("instance command \"{}\" received", command);
        reply = it->second(argument);
    }
    socket->write(QByteArray::fromStdString(reply + "\n"));
    socket->disconnectFromServer();  // after the answer is written
}

}  // namespace vl::platform
