#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <map>
#include <string>

class QLocalServer;
class QLocalSocket;

// One running program per user and display. The first start holds a lock and listens on a local
// socket beside it; a later start finds the lock taken and hands its request to the first over
// the socket instead of running.
//
// The socket speaks one text line each way: "<command>[ <argument>]\n" in, "ok[ <text>]\n" or
// "error <text>\n" out, then the first side closes. Commands are registered by name ("show").
namespace vl::platform {

struct InstancePaths {
    std::string lock;
    std::string socket;
};

// The lock and socket of this user on this display (DISPLAY, else WAYLAND_DISPLAY), in
// vl::RuntimeDir(). False with `error` when there is no private folder for them.
bool CurrentInstancePaths(InstancePaths& out, std::string& error);

// The per-user lock: an advisory lock on a file, released by the system when the process ends,
// so a crashed start never blocks the next.
class InstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result Acquire(const std::string& path, std::string& error);

private:
    int fd_ = -1;
};

// Sends one command to the running program and reads its answer line (without "\n"). Waits up
// to `timeout` for the program to listen (it may still be starting). False with `error` when
// nothing answered.
bool SendInstanceCommand(const std::string& socketPath, const std::string& command,
                         std::string& reply, std::string& error,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The listening side, on the UI thread's event loop.
class InstanceServer : public QObject {
public:
    // Gets the argument (text after the first space, may be empty); returns the answer: "ok" or
    // "ok <text>" on success, "error <text>" otherwise.
    using Handler = std::function<std::string(const std::string& argument)>;

    static constexpr std::size_t kMaxLine = 4096;

    InstanceServer();
    ~InstanceServer() override;

    void On(const std::string& command, Handler handler);
    // Replaces a socket a dead program left behind; only call while holding the InstanceLock.
    bool Listen(const std::string& socketPath, std::string& error);

private:
    void Accept();
    void Read(QLocalSocket* socket);
    void Answer(QLocalSocket* socket, const std::string& line);

    QLocalServer* server_ = nullptr;
    std::map<std::string, Handler> handlers_;
};

}  // namespace vl::platform
