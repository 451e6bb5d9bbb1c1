#include "ui/main_engine_wnd.h"

#include "config/config_manager.h"

MainEngineWnd::MainEngineWnd()
    : ChoicePage("main/engine.xml", "create main engine window failed", "horizontal", "vertical") {}

std::string MainEngineWnd::Stored() const {
    return ConfigManager::Instance()->conf().engine();
}

void MainEngineWnd::Store(const std::string& value) {
    ConfigManager::Instance()->conf().engine(value);
}
