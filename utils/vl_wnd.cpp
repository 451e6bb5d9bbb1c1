#include "utils/vl_wnd.h"

#include <algorithm>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "utils/vl_log.h"

namespace vl {

namespace {

// One synchronous delivery from another thread, shared by the sender and the loop that runs it.
struct PendingSend {
    enum class State { Pending, Running, Done, Abandoned };

    HWND hwnd = nullptr;
    IMessageLoop* loop = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;

    std::mutex mutex;
    std::condition_variable cv;
    State state = State::Pending;
    LRESULT result = 0;
};

struct WindowEntry {
    IMessageHandler* handler = nullptr;
    IMessageLoop* loop = nullptr;
    bool destroying = false;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, WindowEntry> windows;
    std::uintptr_t next = 1;
    std::set<IMessageLoop*> endedLoops;
    std::vector<std::shared_ptr<PendingSend>> pending;

    // Abandons the deliveries that have not started; a running one is left to finish.
    template <class Pred>
    void AbandonLocked(Pred pred) {
        for (const auto& p : pending) {
            if (!pred(*p))
                continue;
            std::lock_guard lock(p->mutex);
            if (p->state == PendingSend::State::Pending) {
                p->state = PendingSend::State::Abandoned;
                p->cv.notify_all();
            }
        }
    }

    void RemovePending(const std::shared_ptr<PendingSend>& p) {
        std::lock_guard lock(mutex);
        pending.erase(std::remove(pending.begin(), pending.end(), p), pending.end());
    }
};

// Never destroyed: windows and threads may still deliver while static objects go away.
Registry& Reg() {
    static Registry* registry = new Registry;
    return *registry;
}

std::uintptr_t Key(HWND hwnd) {
    return reinterpret_cast<std::uintptr_t>(hwnd);
}

// The entry of a window that may receive messages, or null. Registry lock held.
const WindowEntry* LiveEntryLocked(Registry& r, HWND hwnd) {
    const auto it = r.windows.find(Key(hwnd));
    if (it == r.windows.end() || it->second.destroying ||
        r.endedLoops.count(it->second.loop) != 0) {
        return nullptr;
    }
    return &it->second;
}

IMessageHandler* LiveHandler(HWND hwnd) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    const WindowEntry* e = LiveEntryLocked(r, hwnd);
    return e != nullptr ? e->handler : nullptr;
}

// Runs on the window's loop thread.
void RunPendingSend(const std::shared_ptr<PendingSend>& call) {
    IMessageHandler* handler = LiveHandler(call->hwnd);
    {
        std::lock_guard lock(call->mutex);
        if (call->state != PendingSend::State::Pending) {
            return;
        }
        if (handler == nullptr) {
            call->state = PendingSend::State::Abandoned;
            call->cv.notify_all();
            return;
        }
        call->state = PendingSend::State::Running;
    }
    const LRESULT result = handler->HandleMessage(call->msg, call->wParam, call->lParam);
    std::lock_guard lock(call->mutex);
    call->result = result;
    call->state = PendingSend::State::Done;
    call->cv.notify_all();
}

}  // namespace

HWND RegisterWindow(IMessageHandler* handler, IMessageLoop* loop) {
    if (handler == nullptr || loop == nullptr) {
        return nullptr;
    }
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    const std::uintptr_t key = r.next++;
    r.windows[key] = WindowEntry{handler, loop, false};
    return reinterpret_cast<HWND>(key);
}

void BeginDestroyWindow(HWND hwnd) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    const auto it = r.windows.find(Key(hwnd));
    if (it == r.windows.end()) {
        return;
    }
    it->second.destroying = true;
    r.AbandonLocked([hwnd](const PendingSend& p) { return p.hwnd == hwnd; });
}

void UnregisterWindow(HWND hwnd) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    r.windows.erase(Key(hwnd));
    r.AbandonLocked([hwnd](const PendingSend& p) { return p.hwnd == hwnd; });
}

bool IsWindow(HWND hwnd) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    return r.windows.count(Key(hwnd)) != 0;
}

void SetLoopEnded(IMessageLoop* loop, bool ended) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    if (!ended) {
        r.endedLoops.erase(loop);
        return;
    }
    r.endedLoops.insert(loop);
    r.AbandonLocked([loop](const PendingSend& p) { return p.loop == loop; });
}

bool SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    Registry& r = Reg();
    auto call = std::make_shared<PendingSend>();
    IMessageHandler* direct = nullptr;
    {
        std::lock_guard lock(r.mutex);
        const WindowEntry* e = LiveEntryLocked(r, hwnd);
        if (e == nullptr) {
            return false;
        }
        if (e->loop->IsLoopThread()) {
            direct = e->handler;
        } else {
            call->hwnd = hwnd;
            call->loop = e->loop;
            call->msg = msg;
            call->wParam = wParam;
            call->lParam = lParam;
            r.pending.push_back(call);
        }
    }
    if (direct != nullptr) {
        const LRESULT rc = direct->HandleMessage(msg, wParam, lParam);
        if (result != nullptr)
            *result = rc;
        return true;
    }
    if (!call->loop->Dispatch([call] { RunPendingSend(call); })) {
        r.RemovePending(call);
        return false;
    }
    bool done;
    {
        std::unique_lock lock(call->mutex);
        call->cv.wait(lock, [&] {
            return call->state == PendingSend::State::Done ||
                   call->state == PendingSend::State::Abandoned;
        });
        done = call->state == PendingSend::State::Done;
        if (done && result != nullptr)
            *result = call->result;
    }
    r.RemovePending(call);
    return done;
}

namespace {

// Queues `deliver` for the window's loop; it runs there only if the window still takes messages.
// Whatever `deliver` owns goes with it, delivered or not.
template <class Deliver>
bool PostToWindow(HWND hwnd, Deliver deliver) {
    IMessageLoop* loop = nullptr;
    {
        Registry& r = Reg();
        std::lock_guard lock(r.mutex);
        const WindowEntry* e = LiveEntryLocked(r, hwnd);
        if (e == nullptr) {
            return false;
        }
        loop = e->loop;
    }
    return loop->Dispatch([hwnd, deliver = std::move(deliver)] {
        if (IMessageHandler* handler = LiveHandler(hwnd)) {
            deliver(*handler);
        }
    });
}

}  // namespace

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostToWindow(hwnd, [msg, wParam, lParam](IMessageHandler& handler) {
        handler.HandleMessage(msg, wParam, lParam);
    });
}

PostedPayload::~PostedPayload() {
    if (object_ != nullptr) {
        free_(object_);
    }
}

void* PostedPayload::TakeAs(const std::type_info& type) {
    if (object_ != nullptr && type != *type_) {
        VL_ERROR("posted payload of type {} taken as {}", type_->name(), type.name());
        return nullptr;
    }
    return std::exchange(object_, nullptr);
}

bool PostPayload(HWND hwnd, UINT msg, WPARAM wParam, std::shared_ptr<PostedPayload> payload) {
    return PostToWindow(
        hwnd, [msg, wParam, payload = std::move(payload)](IMessageHandler& handler) {
            handler.HandleMessage(msg, wParam, reinterpret_cast<LPARAM>(payload.get()));
        });
}

void WndSetIcon(HWND hwnd, HICON icon) {
    if (hwnd == nullptr) {
        VL_WARN("wnd is invalid");
        return;
    }
    const auto lp = reinterpret_cast<LPARAM>(icon);
    SendMessage(hwnd, WM_SETICON, ICON_BIG, lp);
    SendMessage(hwnd, WM_SETICON, ICON_SMALL, lp);
    SendMessage(hwnd, WM_SETICON, ICON_SMALL2, lp);
}

MessageQueueLoop::MessageQueueLoop() : owner_(std::this_thread::get_id()) {}

MessageQueueLoop::~MessageQueueLoop() {
    End();
    SetLoopEnded(this, false);  // the address may be reused by another loop
}

bool MessageQueueLoop::IsLoopThread() const {
    return std::this_thread::get_id() == owner_;
}

bool MessageQueueLoop::Dispatch(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (ended_) {
        return false;
    }
    queue_.push_back(std::move(work));
    cv_.notify_all();
    return true;
}

bool MessageQueueLoop::RunOne(std::unique_lock<std::mutex>& lock) {
    if (queue_.empty()) {
        return false;
    }
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    work();
    lock.lock();
    return true;
}

void MessageQueueLoop::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_) {
            quit_ = false;
            return;
        }
        RunOne(lock);
    }
}

void MessageQueueLoop::RunFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!cv_.wait_until(lock, deadline, [this] { return quit_ || !queue_.empty(); })) {
            return;
        }
        if (quit_) {
            quit_ = false;
            return;
        }
        RunOne(lock);
    }
}

std::size_t MessageQueueLoop::RunPending() {
    std::unique_lock lock(mutex_);
    std::size_t n = queue_.size();
    std::size_t ran = 0;
    while (n-- > 0 && RunOne(lock)) {
        ++ran;
    }
    return ran;
}

void MessageQueueLoop::Quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    cv_.notify_all();
}

void MessageQueueLoop::End() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        queue_.clear();
        cv_.notify_all();
    }
    SetLoopEnded(this, true);
}

}  // namespace vl
