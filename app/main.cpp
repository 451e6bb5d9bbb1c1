// The program: start-up in order, the window message loop, and the shutdown that every path
// takes. The exit code is 0 on every path once a display is there.
#include <curl/curl.h>
#include <spdlog/sinks/null_sink.h>

#include <cstdio>
#include <string>

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

void RunProgram(int& argc, char** argv, QuitSignals& quitSignals) {
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

int main(int, char** argv) {
    std::string why;
    if (!vl::platform::DisplayAvailable(why)) {
        std::fprintf(stderr, "Velmora Translator needs a graphical desktop: %s.\n", why.c_str());
        return 1;
    }
    QuitSignals quitSignals;
    // The program takes no options: Qt gets the program name only, so it honours none of its own.
    int qtArgc = 1;
    RunProgram(qtArgc, argv, quitSignals);
    return 0;
}
