#include "ui/main_services_wnd.h"

#include <array>
#include <system_error>
#include <vector>

#include "config/config_manager.h"
#include "logic/translate_engine.h"
#include "logic/translation_memory.h"
#include "ui/skin/combo.h"
#include "ui/skin/option.h"
#include "utils/vl_string.h"

namespace {

// A short everyday sentence in each source language.
constexpr std::array<const char*, vl::kLanguageCount> kSamples = {"今天天气很好。",
                                                                  "今天天氣很好。",
                                                                  "The weather is nice today.",
                                                                  "今日はいい天気ですね。",
                                                                  "오늘은 날씨가 좋네요.",
                                                                  "O tempo está bom hoje.",
                                                                  "Hoy hace buen tiempo.",
                                                                  "Il fait beau aujourd'hui.",
                                                                  "Сегодня хорошая погода."};

// Closing the page waits for a running test: it stays short.
constexpr long kTestTimeoutMs = 10000;

// One line on the page, whatever the engine answered.
std::u16string OneLine(const std::string& text) {
    std::u16string line = vl::ToUnicodeW(text);
    for (char16_t& c : line) {
        if (c == u'\n' || c == u'\r' || c == u'\t') {
            c = u' ';
        }
    }
    constexpr std::size_t kMax = 160;
    if (line.size() > kMax) {
        line.resize(kMax);
        line += u"…";
    }
    return line;
}

// The combo's entry whose user data is `value` (the first one when none is).
void SelectByData(skin::Combo* combo, const std::string& value) {
    if (combo == nullptr) {
        return;
    }
    const std::u16string wanted = vl::ToUnicodeW(value);
    int index = 0;
    for (int i = 0; i < combo->GetCount(); ++i) {
        if (const auto item = combo->GetItemAt(i); item && item->userData == wanted) {
            index = i;
            break;
        }
    }
    combo->SelectItem(index, false, false);
}

std::string SelectedData(const skin::Combo* combo, const std::string& fallback) {
    if (combo == nullptr) {
        return fallback;
    }
    const auto item = combo->GetItemAt(combo->GetCurSel());
    return item ? vl::ToUtf8(item->userData) : fallback;
}

}  // namespace

MainServicesWnd::MainServicesWnd()
    : PageWindow("main/services.xml", "create main services window failed") {}

MainServicesWnd::~MainServicesWnd() {
    JoinTester();
}

void MainServicesWnd::JoinTester() {
    if (tester_.joinable()) {
        tester_.join();
    }
}

bool MainServicesWnd::OnCreate() {
    Fill(vl::Services());
    ShowMemorySize();
    return true;
}

void MainServicesWnd::OnDestroy() {
    // The request ends within its own time-out; its answer then finds no window and is freed.
    JoinTester();
}

vl::LRESULT MainServicesWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    if (msg == kTestMessage) {
        OnTest(wParam != 0, vl::TakePosted<std::string>(lParam));
        return 0;
    }
    return PageWindow::HandleMessage(msg, wParam, lParam);
}

void MainServicesWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    if (msg.senderName == "test" && !testing_) {
        RunTest();
    } else if (msg.senderName == "save") {
        Save();
    } else if (msg.senderName == "clear") {
        ClearMemory();
    }
}

std::u16string MainServicesWnd::Field(const char* name) {
    skin::Control* c = Manager().FindControl(name);
    if (c == nullptr) {
        VL_ERROR("no control {}", name);
        return std::u16string();
    }
    return c->GetText();
}

void MainServicesWnd::SetField(const char* name, const std::string& value) {
    if (skin::Control* c = Manager().FindControl(name)) {
        c->SetText(vl::ToUnicodeW(value));
    } else {
        VL_ERROR("no control {}", name);
    }
}

void MainServicesWnd::Fill(const vl::ServiceConfig& c) {
    SelectByData(Manager().FindControl<skin::Combo>("engine"), vl::engine::ConfiguredEngine(c));
    const auto& ocr = ConfigManager::Instance()->conf().ocr();
    SelectByData(Manager().FindControl<skin::Combo>("ocr"),
                 ocr ? std::string(*ocr) : ConfigManager::kOcrAuto);
    SetField("youdaoUrl", c.youdaoTranslate.url);
    SetField("youdaoKey", c.youdaoTranslate.appKey);
    SetField("youdaoSecret", c.youdaoTranslate.appSecret);
    SetField("openaiUrl", c.openaiTranslate.url);
    SetField("openaiKey", c.openaiTranslate.apiKey);
    SetField("openaiModel", c.openaiTranslate.model);
    SetField("deeplUrl", c.deeplTranslate.url);
    SetField("deeplKey", c.deeplTranslate.authKey);
    SetField("baiduUrl", c.baiduTranslate.url);
    SetField("baiduAppId", c.baiduTranslate.appId);
    SetField("baiduKey", c.baiduTranslate.secretKey);
    if (auto* memory = Manager().FindControl<skin::Option>("memory")) {
        memory->Selected(c.translate.memory, false);
    }
}

vl::ServiceConfig MainServicesWnd::FromPage() {
    vl::ServiceConfig c = vl::Services();
    auto text = [this](const char* name) {
        // Keys pasted from a web page often bring blanks along.
        std::string value = vl::ToUtf8(Field(name));
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    };
    skin::PaintManager& pm = Manager();
    c.translate.engine = SelectedData(pm.FindControl<skin::Combo>("engine"), vl::engine::kYoudao);
    if (const auto* memory = pm.FindControl<skin::Option>("memory")) {
        c.translate.memory = memory->IsSelected();
    }
    c.youdaoTranslate.url = text("youdaoUrl");
    c.youdaoTranslate.appKey = text("youdaoKey");
    c.youdaoTranslate.appSecret = text("youdaoSecret");
    c.openaiTranslate.url = text("openaiUrl");
    c.openaiTranslate.apiKey = text("openaiKey");
    c.openaiTranslate.model = text("openaiModel");
    c.deeplTranslate.url = text("deeplUrl");
    c.deeplTranslate.authKey = text("deeplKey");
    c.baiduTranslate.url = text("baiduUrl");
    c.baiduTranslate.appId = text("baiduAppId");
    c.baiduTranslate.secretKey = text("baiduKey");
    return c;
}

void MainServicesWnd::RunTest() {
    const vl::ServiceConfig config = FromPage();
    const auto& lang = ConfigManager::Instance()->conf().lang();
    const LanguageId src = vl::LangCodeToId(lang.src());
    const LanguageId dst = vl::LangCodeToId(lang.dst());
    JoinTester();  // the previous test has answered: its thread has ended or is ending
    const vl::HWND hwnd = GetHWND();
    try {
        tester_ = std::thread([hwnd, config, src, dst] {
            std::unique_ptr<vl::engine::ITranslateEngine> engine =
                vl::engine::MakeEngine(config.translate.engine, config, kTestTimeoutMs);
            std::vector<std::string> out;
            std::string error;
            const bool ok = engine != nullptr &&
                            engine->Translate(src, dst, {kSamples[src]}, out, error) &&
                            out.size() == 1;
            if (engine == nullptr) {
                error = "unknown engine " + config.translate.engine;
            }
            vl::PostOwned(hwnd, kTestMessage, ok,
                          std::make_unique<std::string>(ok ? out.front() : error));
        });
    } catch (const std::system_error& e) {
        VL_ERROR("create test thread failed with {}, {}", e.code().value(), e.what());
        ShowResult(u"测试失败：无法启动");
        return;
    }
    testing_ = true;
    if (skin::Control* button = Manager().FindControl("test")) {
        button->SetEnabled(false);
    }
    ShowResult(u"测试中…");
}

void MainServicesWnd::OnTest(bool ok, std::unique_ptr<std::string> text) {
    testing_ = false;
    if (skin::Control* button = Manager().FindControl("test")) {
        button->SetEnabled(true);
    }
    const std::string answer = text ? *text : std::string();
    VL_INFO("engine test {}: {}", ok ? "ok" : "failed", answer);
    ShowResult((ok ? u"测试成功：" : u"测试失败：") + OneLine(answer));
}

void MainServicesWnd::Save() {
    const vl::ServiceConfig config = FromPage();
    std::string error;
    if (!vl::SaveTranslateConfig(vl::ServiceConfigPath(), config, error)) {
        VL_ERROR("save services failed, {}", error);
        ShowResult(u"保存失败：" + OneLine(error));
        return;
    }
    vl::SetServices(config);
    ConfigManager* settings = ConfigManager::Instance();
    settings->conf().ocr(
        SelectedData(Manager().FindControl<skin::Combo>("ocr"), ConfigManager::kOcrAuto));
    settings->Flush();
    VL_INFO("services saved, translate engine {}", config.translate.engine);
    ShowResult(u"已保存");
}

void MainServicesWnd::ClearMemory() {
    std::string error;
    if (!TranslationMemory::Process().Clear(error)) {
        ShowResult(u"清空失败：" + OneLine(error));
        return;
    }
    ShowMemorySize();
    ShowResult(u"翻译记忆已清空");
}

void MainServicesWnd::ShowMemorySize() {
    if (skin::Control* size = Manager().FindControl("memorySize")) {
        size->SetText(u"共 " + vl::ToUnicodeW(std::to_string(TranslationMemory::Process().Size())) +
                      u" 条");
    }
}

void MainServicesWnd::ShowResult(const std::u16string& text) {
    if (skin::Control* result = Manager().FindControl("result")) {
        result->SetText(text);
    } else {
        VL_ERROR("no control result");
    }
}
