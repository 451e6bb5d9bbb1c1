#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <typeinfo>

// Window handles and window messages. The core reaches windows only through these handles and
// message numbers; a message loop (the UI layer's Qt loop, or MessageQueueLoop below) owns the
// windows and runs their handlers on its thread.
namespace vl {

struct HWND__;
using HWND = HWND__*;
struct HICON__;
using HICON = HICON__*;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Message numbers, as the system has always numbered them.
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_CONTEXTMENU = 0x007B;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_NCHITTEST = 0x0084;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_HOTKEY = 0x0312;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;
inline constexpr WPARAM ICON_SMALL2 = 2;

inline constexpr WPARAM VK_RETURN = 0x0D;
inline constexpr WPARAM VK_ESCAPE = 0x1B;
inline constexpr WPARAM VK_SPACE = 0x20;

inline constexpr LRESULT HTCLIENT = 1;
inline constexpr LRESULT HTCAPTION = 2;
inline constexpr LRESULT HTLEFT = 10;
inline constexpr LRESULT HTRIGHT = 11;
inline constexpr LRESULT HTTOP = 12;
inline constexpr LRESULT HTTOPLEFT = 13;
inline constexpr LRESULT HTTOPRIGHT = 14;
inline constexpr LRESULT HTBOTTOM = 15;
inline constexpr LRESULT HTBOTTOMLEFT = 16;
inline constexpr LRESULT HTBOTTOMRIGHT = 17;

// Mouse coordinates travel in lParam as two 16-bit values, x in the low word.
constexpr LPARAM MakeLParam(int x, int y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(x & 0xFFFF));
}
constexpr int GetXLParam(LPARAM lp) {
    return static_cast<std::int16_t>(lp & 0xFFFF);
}
constexpr int GetYLParam(LPARAM lp) {
    return static_cast<std::int16_t>((lp >> 16) & 0xFFFF);
}

// What handles the messages of one window.
class IMessageHandler {
public:
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~IMessageHandler() = default;
};

// The loop that owns windows: runs dispatched work, in order, on its own thread.
class IMessageLoop {
public:
    virtual bool IsLoopThread() const = 0;
    // Queues `work` for the loop thread; false when the loop no longer runs work.
    virtual bool Dispatch(std::function<void()> work) = 0;

protected:
    ~IMessageLoop() = default;
};

// Registers a window; the handler is called on `loop`'s thread. Destroy and release a handle on
// that thread too.
HWND RegisterWindow(IMessageHandler* handler, IMessageLoop* loop);
// The window is being destroyed: sends still waiting for it give up, new ones are refused.
void BeginDestroyWindow(HWND hwnd);
// Forgets the window; its handle is never valid again.
void UnregisterWindow(HWND hwnd);
bool IsWindow(HWND hwnd);

// Marks a loop as ended (its queued work will not run) or running again. Sends waiting for a
// window of an ended loop give up; new ones are refused.
void SetLoopEnded(IMessageLoop* loop, bool ended);

// Synchronous delivery. On the window's own thread the handler runs at once; from another thread
// the call blocks until the window's loop has run it. Gives up (false) when the window is unknown
// or being destroyed, or its loop has ended; a handler already running is always waited for, so
// the message's payload outlives it.
bool SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr);

// Asynchronous delivery on the window's loop; false when it cannot be queued.
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// A heap object travelling with a posted message (see PostOwned).
class PostedPayload {
public:
    template <class T>
    explicit PostedPayload(std::unique_ptr<T> object)
        : object_(object.release()),
          type_(&typeid(T)),
          free_([](void* p) { delete static_cast<T*>(p); }) {}
    ~PostedPayload();
    PostedPayload(const PostedPayload&) = delete;
    PostedPayload& operator=(const PostedPayload&) = delete;

    // The object, now the caller's; null when taken already or when it is not a T (logged).
    template <class T>
    std::unique_ptr<T> Take() {
        return std::unique_ptr<T>(static_cast<T*>(TakeAs(typeid(T))));
    }

private:
    void* TakeAs(const std::type_info& type);

    void* object_;
    const std::type_info* type_;
    void (*free_)(void*);
};

bool PostPayload(HWND hwnd, UINT msg, WPARAM wParam, std::shared_ptr<PostedPayload> payload);

// Posts `msg` with a heap payload that the message owns. The window's handler receives lParam
// pointing at it and takes the object with TakePosted<T>(lParam); whatever it does not take is
// freed once the message has been handled, and so is a payload whose message is never handled
// (the window closed first, the loop ended, or the post was refused). The usual shape of a
// completion on another thread, which captures the window's handle and never `this`:
//
//     http.Async({.url = url}, [hwnd](const vl::Http::Result& r) {
//         vl::PostOwned(hwnd, WM_MY_ANSWER, r.ok, std::make_unique<std::string>(r.response));
//     });
//     ...
//     case WM_MY_ANSWER: OnAnswer(wParam != 0, vl::TakePosted<std::string>(lParam)); break;
template <class T>
bool PostOwned(HWND hwnd, UINT msg, WPARAM wParam, std::unique_ptr<T> payload) {
    return PostPayload(hwnd, msg, wParam, std::make_shared<PostedPayload>(std::move(payload)));
}

// The payload of a message posted with PostOwned, taken over by the handler; null when there is
// none, it was taken already, or it is not a T.
template <class T>
std::unique_ptr<T> TakePosted(LPARAM lParam) {
    auto* payload = reinterpret_cast<PostedPayload*>(lParam);
    return payload != nullptr ? payload->Take<T>() : nullptr;
}

// Gives a top-level window its icon: WM_SETICON for ICON_BIG, ICON_SMALL and ICON_SMALL2.
void WndSetIcon(HWND hwnd, HICON icon);

// A message loop of the core's own, owned by the thread that creates it: work runs when that
// thread calls Run, RunFor or RunPending. Tools and tests use it where no Qt loop exists.
class MessageQueueLoop final : public IMessageLoop {
public:
    MessageQueueLoop();
    ~MessageQueueLoop();
    MessageQueueLoop(const MessageQueueLoop&) = delete;
    MessageQueueLoop& operator=(const MessageQueueLoop&) = delete;

    bool IsLoopThread() const override;
    bool Dispatch(std::function<void()> work) override;

    // Runs work until Quit is called (from any thread).
    void Run();
    // Runs work as it arrives until `duration` has passed or Quit is called.
    void RunFor(std::chrono::milliseconds duration);
    // Runs what is queued now; the number of items run.
    std::size_t RunPending();
    void Quit();
    // Ends the loop for good: queued work is dropped and waiting senders give up.
    void End();

private:
    bool RunOne(std::unique_lock<std::mutex>& lock);

    const std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    bool quit_ = false;
    bool ended_ = false;
};

}  // namespace vl
