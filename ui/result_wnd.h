#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "logic/translator.h"
#include "platform/portal.h"
#include "platform/screen_capture.h"
#include "ui/layout_window.h"
#include "ui/skin/rect.h"
#include "utils/vl_singleton.h"

namespace skin {
class Container;
class Control;
class Label;
}  // namespace skin

class ResultFloatWnd;
namespace capture {
struct LabelBox;
}  // namespace capture

// The full-screen result window, heart of a translation run. It registers Ctrl+Alt+T and
// Ctrl+Alt+R, owns the translator and the floating ball, captures the screen, shows it frozen,
// submits the region and paints each translation where its source line stood. A click, Enter,
// Escape or Space dismisses the result.
class ResultWnd : public TopLevelWindow,
                  public ITranslatorCallback,
                  public vl::Singleton<ResultWnd> {
public:
    const char* GetWindowClassName() const override { return "velmora_result_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;

    // Arms the hotkeys and shows the floating ball near the top-right corner of the screen.
    void Begin();
    // Closes and forgets the floating ball, releases both hotkeys and ends the run on screen (an
    // answer still on its way is dropped); nothing translates until the next Begin.
    void Disarm();
    // The account has no translations left: the run on screen says so.
    void OnQuotaUsedUp();
    // Region selection, modal.
    void Region();
    // One translation run of the region in the settings.
    void Translate();
    // Armed by Begin: the hotkeys act.
    bool Armed() const { return active_; }
    // What Ctrl+Alt+T (`translate`) or Ctrl+Alt+R does, for commands from elsewhere (tray menu,
    // another start of the program); ignored while region selection or a box is open.
    void RunHotKeyCommand(bool translate);

    // Task thread: hands the result to the UI thread.
    void OnTranslatorResult(std::uint32_t id, bool ok, TranslateTask task,
                            std::vector<TranslateLine> lines) override;

    // A finished task on its way to the UI thread.
    static constexpr vl::UINT kResultMessage = vl::WM_APP + 20;
    // A global shortcut of the desktop's portal: wParam 1 "translate", 0 "region".
    static constexpr vl::UINT kPortalShortcutMessage = vl::WM_APP + 21;

    // Wayland: whether the desktop's GlobalShortcuts portal took our two shortcuts.
    bool PortalShortcutsActive() const { return portalShortcuts_ != nullptr; }

protected:
    bool OnCreate() override;
    void OnDestroy() override;

private:
    friend class vl::Singleton<ResultWnd>;
    struct Finished;

    ResultWnd();
    ~ResultWnd();
    bool Init();
    bool RegisterHotKeys();
    // Wayland: the desktop's GlobalShortcuts portal, asked once; they act while armed.
    void StartPortalShortcuts();
    // False with the line to show when the screen could not be read.
    bool Capture(std::u16string* why);
    void ClipConfirmWithRect(const skin::Rect& clip);
    void OnResult(bool ok, std::unique_ptr<Finished> finished);
    void PlaceLabel(skin::Label* label, const capture::LabelBox& box);
    void ShowHorizontalText(const TranslateLine& line);
    void ShowVerticalText(const TranslateLine& line);
    int FontFor(int size);
    // Labels, frames and status line gone, the window hidden.
    void ClearResult();
    void Dismiss();
    // Ends the run whose answer is still on its way: that answer is dropped, not reported.
    void DropPendingRun();
    void ReleaseHotKeys();
    // All translations of the run on screen to the clipboard, one per line.
    void CopyTranslations();
    void CloseFloatWindow();
    void ShowFloatWindow();
    // One short line on the frozen screen next to the region: progress or why a run failed.
    void ShowStatus(const std::u16string& text);

    Translator translator_;
    vl::HWND self_ = nullptr;  // for the task thread: set before the translator starts
    skin::Control* resultImage_ = nullptr;
    skin::Control* resultClip_ = nullptr;
    skin::Control* resultMask_ = nullptr;
    skin::Control* resultMaskBorder_ = nullptr;
    skin::Control* result_ = nullptr;
    skin::Container* resultTranslation_ = nullptr;
    skin::Label* resultStatus_ = nullptr;

    bool active_ = false;
    // Wayland: the desktop's global shortcuts, when it offers them.
    std::unique_ptr<vl::platform::PortalShortcuts> portalShortcuts_;
    // Region selection or one of its message boxes is open, or a capture waits for the desktop's
    // portal (its wait runs the event loop): a second run must not start inside.
    bool modal_ = false;
    int translateHotKey_ = -1;
    int regionHotKey_ = -1;
    std::uint32_t dpi_ = 96;
    std::uint32_t captureId_ = 0;        // UI thread only
    bool runPending_ = false;            // the run of captureId_ waits for its answer
    bool uncover_ = false;               // labels of this run let the frozen screen show through
    std::vector<std::u16string> shown_;  // translations on screen, in line order
    skin::Rect region96_;
    skin::Rect desktop_;
    skin::Rect imageRect_;
    vl::platform::ScreenCapture screen_;
    std::set<int> fonts_;  // font ids added so far; kept for the window's life
    std::unique_ptr<ResultFloatWnd> float_;
};
