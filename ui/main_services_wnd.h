#pragma once

#include <memory>
#include <string>
#include <thread>

#include "ui/page_window.h"
#include "utils/vl_services.h"

// The translation engine and the OCR choice, each engine's address, keys and model, the
// translation memory's switch and its clearing, and a test of the chosen engine.
class MainServicesWnd : public PageWindow {
public:
    MainServicesWnd();
    ~MainServicesWnd() override;
    const char* GetWindowClassName() const override { return "velmora_main_services_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;

    // The test's outcome (wParam 1 for a translation, lParam its owned text or error).
    static constexpr vl::UINT kTestMessage = vl::WM_USER + 310;

private:
    bool OnCreate() override;
    void OnDestroy() override;
    void OnNotify(const skin::Notification& msg) override;

    void Fill(const vl::ServiceConfig& config);
    // The configuration as the page shows it, over the process's one.
    vl::ServiceConfig FromPage();
    std::u16string Field(const char* name);
    void SetField(const char* name, const std::string& value);

    void RunTest();
    void OnTest(bool ok, std::unique_ptr<std::string> text);
    void Save();
    void ClearMemory();
    void ShowMemorySize();
    void ShowResult(const std::u16string& text);
    void JoinTester();

    std::thread tester_;  // the running test's request; joined before the next and on close
    bool testing_ = false;
};
