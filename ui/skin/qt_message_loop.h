#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "utils/vl_wnd.h"

namespace skin {

// The window message loop on the Qt event loop of the UI thread. Work dispatched from any thread
// runs in order as queued invocations on the UI thread, also inside modal loops. Windows register
// with the current loop; destroy them before their loop.
class QtMessageLoop final : public vl::IMessageLoop {
public:
    // Create on the UI thread once the QApplication exists; the new loop becomes the current one
    // until it is destroyed.
    QtMessageLoop();
    ~QtMessageLoop();
    QtMessageLoop(const QtMessageLoop&) = delete;
    QtMessageLoop& operator=(const QtMessageLoop&) = delete;

    // The loop new windows register with, or null.
    static QtMessageLoop* Current();

    bool IsLoopThread() const override;
    bool Dispatch(std::function<void()> work) override;

    // Runs the main event loop until a quit request, then ends this loop for good (senders give
    // up). Returns the quit code.
    int Run();
    // Asks the main loop to end with `code` (the thread's quit message). Before Run, Run returns
    // at once; modal loops running now end too.
    void Quit(int code);
    bool QuitRequested() const;
    // Ends the loop for good: queued work is dropped, waiting senders give up, new ones are
    // refused.
    void End();
    bool Ended() const;

private:
    const std::thread::id owner_;
    QtMessageLoop* const previous_;
    mutable std::mutex mutex_;
    std::unique_ptr<QObject> receiver_;  // queued work is posted to it
    std::atomic<bool> ended_{false};
    std::atomic<bool> quitRequested_{false};
    std::atomic<int> quitCode_{0};
};

// The thread's quit message: ends the current loop's main loop with `code`.
void PostQuitMessage(int code);

}  // namespace skin
