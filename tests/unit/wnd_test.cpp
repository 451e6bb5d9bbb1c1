#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "utils/vl_wnd.h"

namespace {

// A test window that records what it receives.
class RecordingWindow : public vl::IMessageHandler {
public:
    struct Message {
        vl::UINT msg;
        vl::WPARAM wParam;
        vl::LPARAM lParam;
    };
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override {
        std::lock_guard lock(mutex);
        received.push_back({msg, wParam, lParam});
        if (onMessage)
            onMessage(received.back());
        return static_cast<vl::LRESULT>(msg) + 1;
    }
    std::vector<Message> Received() {
        std::lock_guard lock(mutex);
        return received;
    }
    std::function<void(const Message&)> onMessage;
    std::mutex mutex;
    std::vector<Message> received;
};

// A window living on a loop thread of its own.
// A MessageQueueLoop that counts the work queued on it, so a test can wait until a send is queued.
class CountingLoop : public vl::IMessageLoop {
public:
    explicit CountingLoop(vl::MessageQueueLoop& inner) : inner_(inner) {}
    ~CountingLoop() { vl::SetLoopEnded(this, false); }  // the address may be reused
    bool IsLoopThread() const override { return inner_.IsLoopThread(); }
    bool Dispatch(std::function<void()> work) override {
        const bool queued = inner_.Dispatch(std::move(work));
        ++dispatched;
        return queued;
    }
    void End() {
        inner_.End();
        vl::SetLoopEnded(this, true);
    }
    std::atomic<int> dispatched{0};

private:
    vl::MessageQueueLoop& inner_;
};

struct LoopThread {
    LoopThread() {
        std::promise<void> ready;
        thread = std::thread([this, &ready] {
            vl::MessageQueueLoop own;
            loop = &own;
            hwnd = vl::RegisterWindow(&window, &own);
            ready.set_value();
            own.Run();
            vl::UnregisterWindow(hwnd);
        });
        ready.get_future().wait();
    }
    ~LoopThread() {
        loop->Quit();
        thread.join();
    }
    RecordingWindow window;
    vl::MessageQueueLoop* loop = nullptr;
    vl::HWND hwnd = nullptr;
    std::thread thread;
};

}  // namespace

TEST(Wnd, SendOnOwnThreadRunsAtOnce) {
    vl::MessageQueueLoop loop;
    RecordingWindow w;
    const vl::HWND h = vl::RegisterWindow(&w, &loop);
    vl::LRESULT rc = 0;
    EXPECT_TRUE(vl::SendMessage(h, vl::WM_USER + 5, 7, 9, &rc));
    EXPECT_EQ(rc, vl::WM_USER + 6);
    ASSERT_EQ(w.Received().size(), 1u);
    EXPECT_EQ(w.Received()[0].wParam, 7u);
    vl::UnregisterWindow(h);
    EXPECT_FALSE(vl::IsWindow(h));
}

TEST(Wnd, SendFromAnotherThreadWaitsForTheHandler) {
    LoopThread t;
    std::string payload = "kept alive until handled";
    std::atomic<bool> sendReturned{false};
    std::atomic<bool> senderWaited{false};
    t.window.onMessage = [&](const RecordingWindow::Message&) {
        senderWaited = !sendReturned && payload == "kept alive until handled";
    };
    vl::LRESULT rc = 0;
    EXPECT_TRUE(vl::SendMessage(t.hwnd, 1124, 1, reinterpret_cast<vl::LPARAM>(&payload), &rc));
    sendReturned = true;
    // The handler's own result came back, so the call returned after it.
    EXPECT_EQ(rc, 1125);
    EXPECT_TRUE(senderWaited);
}

TEST(Wnd, PostedMessagesArriveInOrder) {
    LoopThread t;
    for (vl::WPARAM i = 0; i < 50; ++i) {
        ASSERT_TRUE(vl::PostMessage(t.hwnd, vl::WM_USER, i, 0));
    }
    vl::SendMessage(t.hwnd, vl::WM_APP, 0, 0);  // after the posts in the same queue
    const auto got = t.window.Received();
    ASSERT_EQ(got.size(), 51u);
    for (vl::WPARAM i = 0; i < 50; ++i)
        EXPECT_EQ(got[i].wParam, i);
}

// Counts live payloads: one that is never freed shows here, and to the leak checker.
struct Payload {
    explicit Payload(std::string t) : text(std::move(t)) { ++live; }
    ~Payload() { --live; }
    std::string text;
    static inline int live = 0;
};

TEST(Wnd, PostedPayloadIsTakenByTheHandlerOrFreed) {
    vl::MessageQueueLoop loop;
    RecordingWindow w;
    const vl::HWND h = vl::RegisterWindow(&w, &loop);
    std::unique_ptr<Payload> taken;
    w.onMessage = [&](const RecordingWindow::Message& m) {
        if (m.wParam == 1) {
            taken = vl::TakePosted<Payload>(m.lParam);
        } else if (m.wParam == 2) {
            EXPECT_EQ(vl::TakePosted<std::string>(m.lParam), nullptr);  // not what was posted
        }
    };
    for (vl::WPARAM kind : {1, 2, 3})  // taken, taken as the wrong type, left alone
        ASSERT_TRUE(vl::PostOwned(h, vl::WM_USER, kind, std::make_unique<Payload>("answer")));
    EXPECT_EQ(Payload::live, 3);
    loop.RunPending();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->text, "answer");
    EXPECT_EQ(Payload::live, 1);
    taken.reset();

    // The window closes before its message is handled; then posts to it are refused.
    ASSERT_TRUE(vl::PostOwned(h, vl::WM_USER, 1, std::make_unique<Payload>("late")));
    vl::UnregisterWindow(h);
    loop.RunPending();
    EXPECT_FALSE(vl::PostOwned(h, vl::WM_USER, 1, std::make_unique<Payload>("refused")));
    EXPECT_EQ(w.Received().size(), 3u);
    EXPECT_EQ(Payload::live, 0);
}

TEST(Wnd, DestroyingWindowOrEndedLoopReleasesSenders) {
    for (int variant = 0; variant < 2; ++variant) {
        vl::MessageQueueLoop inner;
        CountingLoop loop(inner);
        RecordingWindow w;
        const vl::HWND h = vl::RegisterWindow(&w, &loop);
        auto result =
            std::async(std::launch::async, [h] { return vl::SendMessage(h, vl::WM_USER, 0, 0); });
        EXPECT_TRUE(vl::test::WaitUntil([&] { return loop.dispatched == 1; }));
        if (variant == 0) {
            vl::BeginDestroyWindow(h);
        } else {
            loop.End();
        }
        EXPECT_FALSE(result.get());
        EXPECT_FALSE(vl::SendMessage(h, vl::WM_USER, 0, 0));
        EXPECT_FALSE(vl::PostMessage(h, vl::WM_USER, 0, 0));
        vl::UnregisterWindow(h);
        EXPECT_TRUE(w.Received().empty());
    }
}

TEST(Wnd, RunningHandlerIsWaitedForEvenWhenTheWindowGoes) {
    LoopThread t;
    std::promise<void> started;
    std::promise<void> aborted;
    std::atomic<bool> finished{false};
    t.window.onMessage = [&](const RecordingWindow::Message&) {
        started.set_value();
        aborted.get_future().wait();  // the window goes while this runs
        finished = true;
    };
    auto result =
        std::async(std::launch::async, [&] { return vl::SendMessage(t.hwnd, vl::WM_USER, 0, 0); });
    started.get_future().wait();
    vl::BeginDestroyWindow(t.hwnd);
    aborted.set_value();
    EXPECT_TRUE(result.get());
    EXPECT_TRUE(finished);
}

TEST(Wnd, SetIconSendsThreeSizes) {
    vl::MessageQueueLoop loop;
    RecordingWindow w;
    const vl::HWND h = vl::RegisterWindow(&w, &loop);
    int iconObject = 0;
    const auto icon = reinterpret_cast<vl::HICON>(&iconObject);
    vl::WndSetIcon(h, icon);
    const auto got = w.Received();
    ASSERT_EQ(got.size(), 3u);
    const vl::WPARAM sizes[] = {vl::ICON_BIG, vl::ICON_SMALL, vl::ICON_SMALL2};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].msg, vl::WM_SETICON);
        EXPECT_EQ(got[i].wParam, sizes[i]);
        EXPECT_EQ(got[i].lParam, reinterpret_cast<vl::LPARAM>(icon));
    }
    vl::test::LogCapture::Get()->Clear();
    vl::WndSetIcon(nullptr, icon);
    EXPECT_TRUE(vl::test::LogCapture::Get()->Has("wnd is invalid"));
    vl::UnregisterWindow(h);
}

TEST(Wnd, MouseCoordinatesPackAsSigned16BitWords) {
    const vl::LPARAM lp = vl::MakeLParam(-5, 1080);
    EXPECT_EQ(vl::GetXLParam(lp), -5);
    EXPECT_EQ(vl::GetYLParam(lp), 1080);
    EXPECT_EQ(vl::MakeLParam(3, 2), 0x00020003);
}
