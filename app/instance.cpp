#include "app/instance.h"

#include <QTimer>
#include <cstdio>
#include <string>

#include "ui/main_wnd.h"
#include "utils/vl_log.h"

bool ClaimInstance(vl::platform::InstanceLock& lock, vl::platform::InstancePaths& paths,
                   const std::string& command, int& exitCode) {
    std::string error;
    if (!vl::platform::CurrentInstancePaths(paths, error)) {
        std::fprintf(stderr, "Velmora Translator: %s; a second start is not detected.\n",
                     error.c_str());
        return true;
    }
    switch (lock.Acquire(paths.lock, error)) {
        case vl::platform::InstanceLock::Result::Acquired:
            return true;
        case vl::platform::InstanceLock::Result::Failed:
            std::fprintf(stderr, "Velmora Translator: %s; a second start is not detected.\n",
                         error.c_str());
            paths = {};
            return true;
        case vl::platform::InstanceLock::Result::HeldElsewhere:
            break;
    }
    std::string reply;
    if (!vl::platform::SendInstanceCommand(paths.socket, command, reply, error)) {
        std::fprintf(stderr, "Velmora Translator is already running but does not answer: %s.\n",
                     error.c_str());
        exitCode = 1;
        return false;
    }
    if (reply.rfind("ok", 0) != 0) {
        std::fprintf(stderr, "Velmora Translator is already running and refused: %s.\n",
                     reply.c_str());
        exitCode = 1;
        return false;
    }
    if (command == "show") {
        std::printf("Velmora Translator is already running; its window was brought forward.\n");
    }
    exitCode = 0;
    return false;
}

void RunInstanceCommand(const std::string& command) {
    QTimer::singleShot(0, [command] { MainWnd::Instance()->RunCommand(command); });
}

std::unique_ptr<vl::platform::InstanceServer> ServeInstance(
    const vl::platform::InstancePaths& paths) {
    if (paths.socket.empty()) {
        return nullptr;
    }
    auto server = std::make_unique<vl::platform::InstanceServer>();
    for (const char* command : {"show", "translate", "region"}) {
        server->On(command, [command](const std::string&) {
            RunInstanceCommand(command);
            return std::string("ok");
        });
    }
    std::string error;
    if (!server->Listen(paths.socket, error)) {
        VL_ERROR("instance socket failed, {}", error);
        return nullptr;
    }
    VL_INFO("instance socket ok");
    return server;
}
