#include "ui/main_effect_wnd.h"

#include "config/config_manager.h"

MainEffectWnd::MainEffectWnd()
    : ChoicePage("main/effect.xml", "create main effect window failed", "cover", "uncover") {}

std::string MainEffectWnd::Stored() const {
    return ConfigManager::Instance()->conf().effect();
}

void MainEffectWnd::Store(const std::string& value) {
    ConfigManager::Instance()->conf().effect(value);
}
