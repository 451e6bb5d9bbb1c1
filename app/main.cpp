// The program: start-up in order, the window message loop, and the shutdown that every path
// takes. The exit code is 0 on every path once a display is there.
#include <curl/curl.h>
#include <spdlog/sinks/null_sink.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "app/instance.h"
#include "app/main_utils.h"
#include "config/config_manager.h"
#include "logic/user_manager.h"
#include "platform/display.h"
#include "platform/quit_signals.h"
#include "ui/skin/qt_message_loop.h"
#include "utils/vl_http.h"
#include "utils/vl_log.h"

namespace {

// Without its file nothing may be logged anywhere else either.
void SilenceLog() {
    vl::log::CreateProcessLogger({std::make_shared<spdlog::sinks::null_sink_mt>()});
}

void RunProgram(int& argc, char** argv, QuitSignals& quitSignals,
                const vl::platform::InstancePaths& instance, const std::string& command) {
    bool curlInited = false;
    [&] {
        if (!InitLog()) {
            SilenceLog();
            return;
        }
        VL_INFO("log init ok");

        const CURLcode rc = curl_global_init(CURL_GLOBAL_ALL);
        if (rc != CURLE_OK) {
            VL_ERROR("curl_global_init failed with {}", static_cast<int>(rc));
            return;
        }
        curlInited = true;
        VL_INFO("curl init ok");

        if (!vl::Http::Instance()->Init()) {
            VL_WARN("http init failed");
            return;
        }
        if (!ConfigManager::Instance()->Init()) {
            VL_WARN("init config manager failed");
            return;
        }
        VL_INFO("config manager init ok");

        if (!InitDUI(argc, argv)) {
            VL_WARN("InitDUI failed");
            return;
        }
        VL_INFO("dui init ok");
        // Ended with this scope, before the windows and the application.
        const auto instanceServer = ServeInstance(instance);
        if (command != "show") {
            RunInstanceCommand(command);  // the first start does what it was asked too
        }
        quitSignals.Watch([](int sig) {
            VL_INFO("signal {} received, quitting", sig);
            skin::PostQuitMessage(0);
        });

        InitUserManager();
        VL_INFO("user manager init ok");
        NoticeSession();

        VL_INFO("msg loop begin");
        RunMessageLoop();
        VL_INFO("msg loop end");
    }();

    UserManager::Instance()->Close();
    VL_INFO("user manager uninit ok");
    UninitDUI();
    VL_INFO("dui uninit ok");
    ConfigManager::Instance()->Flush();
    vl::Http::Instance()->Uninit();
    if (curlInited) {
        curl_global_cleanup();
    }
    VL_INFO("cur uninit ok");
    VL_INFO("log uninit ok");
    vl::log::FlushProcessLogger();
}

}  // namespace

int main(int argc, char** argv) {
    // "--translate" and "--region" do what the hotkeys do, through the running program: desktops
    // whose global keys do not reach us bind them as shortcuts.
    std::string command = "show";
    if (argc == 2 &&
        (std::string_view(argv[1]) == "--translate" || std::string_view(argv[1]) == "--region")) {
        command = argv[1] + 2;
    } else if (argc > 1) {
        std::fprintf(stderr, "usage: velmora-translator [--translate | --region]\n");
        return 2;
    }
    std::string why;
    if (!vl::platform::DisplayAvailable(why)) {
        std::fprintf(stderr, "Velmora Translator needs a graphical desktop: %s.\n", why.c_str());
        return 1;
    }
    // A second start only brings the first one forward; it touches no file of the program.
    vl::platform::InstanceLock lock;
    vl::platform::InstancePaths instance;
    if (int code = 0; !ClaimInstance(lock, instance, command, code)) {
        return code;
    }
    QuitSignals quitSignals;
    // The program takes no options: Qt gets the program name only, so it honours none of its own.
    int qtArgc = 1;
    RunProgram(qtArgc, argv, quitSignals, instance, command);
    return 0;
}
