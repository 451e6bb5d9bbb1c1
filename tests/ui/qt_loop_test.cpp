#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "tests/ui/ui_test_util.h"
#include "ui/skin/qt_message_loop.h"

using namespace std::chrono_literals;
using vl::test::RecordingWnd;
using vl::test::RunUntil;

namespace {

// True when `f` is still waiting after a while: the send is blocked on the UI thread.
template <class T>
bool StillWaiting(std::future<T>& f) {
    return f.wait_for(50ms) == std::future_status::timeout;
}

}  // namespace

TEST(QtLoop, SendFromAnotherThreadRunsOnTheUiThread) {
    RecordingWnd w("");
    ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
    w.onMessage = [](vl::UINT msg, vl::WPARAM wParam, vl::LPARAM) -> vl::LRESULT {
        return msg == vl::WM_USER + 1 ? static_cast<vl::LRESULT>(wParam * 2) : 0;
    };
    const vl::HWND h = w.GetHWND();
    std::string payload = "alive while handled";
    auto sent = std::async(std::launch::async, [&] {
        vl::LRESULT rc = 0;
        const bool ok =
            vl::SendMessage(h, vl::WM_USER + 1, 21, reinterpret_cast<vl::LPARAM>(&payload), &rc);
        return ok ? rc : -1;
    });
    ASSERT_TRUE(RunUntil([&] { return sent.wait_for(0ms) == std::future_status::ready; }));
    EXPECT_EQ(sent.get(), 42);
    EXPECT_EQ(w.lastThread, std::this_thread::get_id());
}

TEST(QtLoop, ClosingTheWindowOrEndingTheLoopReleasesSendersAndFreesQueuedPayloads) {
    struct Answer {
        int* freed;
        ~Answer() { ++*freed; }
    };
    for (const bool endLoop : {false, true}) {
        int freed = 0;
        {
            skin::QtMessageLoop loop;
            RecordingWnd w("");
            ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
            const vl::HWND h = w.GetHWND();
            auto sent = std::async(std::launch::async, [h, &freed] {
                EXPECT_TRUE(vl::PostOwned(h, vl::WM_USER + 4, 0, std::make_unique<Answer>(&freed)));
                return vl::SendMessage(h, vl::WM_USER + 4, 0, 0);
            });
            EXPECT_TRUE(StillWaiting(sent));  // this thread does not pump: it is shutting down
            endLoop ? loop.End() : w.Close();
            EXPECT_FALSE(sent.get());
            EXPECT_FALSE(vl::PostMessage(h, vl::WM_USER + 4, 0, 0));
            vl::test::ProcessEvents();  // the queued deliveries must not run now either
            EXPECT_TRUE(w.Received({vl::WM_USER + 4}).empty());
            w.Close();
        }
        EXPECT_EQ(freed, 1) << endLoop;
    }
}

TEST(QtLoop, RunEndsWithTheQuitCodeAndRefusesWorkAfterwards) {
    {
        skin::QtMessageLoop loop;
        RecordingWnd w("");
        ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
        const vl::HWND h = w.GetHWND();
        std::atomic<bool> handled{false};
        w.onMessage = [&](vl::UINT msg, vl::WPARAM, vl::LPARAM) -> vl::LRESULT {
            if (msg == vl::WM_USER + 6) {
                handled = true;
                skin::PostQuitMessage(7);
            }
            return 0;
        };
        std::thread([h] { vl::PostMessage(h, vl::WM_USER + 6, 0, 0); }).join();
        EXPECT_EQ(loop.Run(), 7);
        EXPECT_TRUE(handled);
        EXPECT_TRUE(loop.Ended());
        EXPECT_FALSE(vl::PostMessage(h, vl::WM_USER, 0, 0));
        w.Close();
    }
    // A quit before the run: it returns at once, and modal runs are refused.
    skin::QtMessageLoop loop;
    RecordingWnd w("");
    ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
    skin::PostQuitMessage(3);
    EXPECT_EQ(w.ShowModal(), skin::kModalAborted);
    EXPECT_FALSE(w.IsVisible());
    EXPECT_EQ(loop.Run(), 3);
    w.Close();
}
