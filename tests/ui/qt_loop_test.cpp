#include <gtest/gtest.h>

#include <QTimer>
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

TEST(QtLoop, PostsArriveInOrderBeforeALaterSend) {
    RecordingWnd w("");
    ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
    const vl::HWND h = w.GetHWND();
    auto worker = std::async(std::launch::async, [h] {
        for (vl::WPARAM i = 0; i < 200; ++i) {
            if (!vl::PostMessage(h, vl::WM_USER + 2, i, 0))
                return false;
        }
        return vl::SendMessage(h, vl::WM_USER + 3, 0, 0);
    });
    ASSERT_TRUE(RunUntil([&] { return worker.wait_for(0ms) == std::future_status::ready; }));
    EXPECT_TRUE(worker.get());
    const auto got = w.Received({vl::WM_USER + 2, vl::WM_USER + 3});
    ASSERT_EQ(got.size(), 201u);
    for (vl::WPARAM i = 0; i < 200; ++i)
        EXPECT_EQ(got[i].wParam, i);
    EXPECT_EQ(got.back().msg, vl::WM_USER + 3);
}

TEST(QtLoop, SendGivesUpWhenTheLoopEnds) {
    // The UI thread does not pump: it is shutting down and ends its loop instead.
    skin::QtMessageLoop loop;
    RecordingWnd w("");
    ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
    const vl::HWND h = w.GetHWND();
    auto sent =
        std::async(std::launch::async, [h] { return vl::SendMessage(h, vl::WM_USER + 4, 0, 0); });
    EXPECT_TRUE(StillWaiting(sent));
    loop.End();
    EXPECT_FALSE(sent.get());
    EXPECT_FALSE(vl::SendMessage(h, vl::WM_USER + 4, 0, 0));
    EXPECT_FALSE(vl::PostMessage(h, vl::WM_USER + 4, 0, 0));
    EXPECT_FALSE(loop.Dispatch([] {}));
    vl::test::ProcessEvents();  // the queued delivery must not run now either
    EXPECT_TRUE(w.Received({vl::WM_USER + 4}).empty());
    w.Close();
}

TEST(QtLoop, SendGivesUpWhenTheWindowIsDestroyed) {
    RecordingWnd w("");
    ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
    const vl::HWND h = w.GetHWND();
    auto sent =
        std::async(std::launch::async, [h] { return vl::SendMessage(h, vl::WM_USER + 5, 0, 0); });
    EXPECT_TRUE(StillWaiting(sent));
    w.Close();
    EXPECT_FALSE(sent.get());
    EXPECT_FALSE(vl::IsWindow(h));
    vl::test::ProcessEvents();
    EXPECT_TRUE(w.Received({vl::WM_USER + 5}).empty());
    ASSERT_EQ(w.Received({vl::WM_DESTROY}).size(), 1u);
}

TEST(QtLoop, PostedPayloadOfAWindowThatClosesFirstIsFreed) {
    struct Answer {
        int* freed;
        ~Answer() { ++*freed; }
    };
    int freed = 0;
    {
        skin::QtMessageLoop loop;
        RecordingWnd w("");
        ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
        const vl::HWND h = w.GetHWND();
        // A completion on another thread posts its answer; the window closes before it arrives.
        std::thread([&] {
            EXPECT_TRUE(vl::PostOwned(h, vl::WM_USER + 7, 0, std::make_unique<Answer>(&freed)));
        }).join();
        w.Close();
        vl::test::ProcessEvents();
        EXPECT_EQ(freed, 1);
        EXPECT_TRUE(w.Received({vl::WM_USER + 7}).empty());

        // The loop ends and goes with an answer still queued.
        RecordingWnd other("");
        ASSERT_NE(other.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
        ASSERT_TRUE(
            vl::PostOwned(other.GetHWND(), vl::WM_USER, 0, std::make_unique<Answer>(&freed)));
        loop.End();
        other.Close();
    }
    EXPECT_EQ(freed, 2);
}

TEST(QtLoop, RunEndsWithTheQuitCodeAndRefusesWorkAfterwards) {
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
    std::thread poster([h] { vl::PostMessage(h, vl::WM_USER + 6, 0, 0); });
    poster.join();
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(loop.Ended());
    EXPECT_FALSE(vl::PostMessage(h, vl::WM_USER, 0, 0));
    w.Close();
}

TEST(QtLoop, QuitBeforeRunReturnsAtOnceAndRefusesModalRuns) {
    skin::QtMessageLoop loop;
    RecordingWnd w("");
    ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
    skin::PostQuitMessage(3);
    EXPECT_EQ(w.ShowModal(), skin::kModalAborted);
    EXPECT_FALSE(w.IsVisible());
    EXPECT_EQ(loop.Run(), 3);
    w.Close();
}

TEST(QtLoop, QuitDuringAModalRunEndsIt) {
    skin::QtMessageLoop loop;
    RecordingWnd w("");
    ASSERT_NE(w.Create(nullptr, u"t", skin::WS_POPUP, 0), nullptr);
    QTimer::singleShot(0, [] { skin::PostQuitMessage(0); });
    EXPECT_EQ(w.ShowModal(), skin::kModalAborted);
    EXPECT_TRUE(vl::IsWindow(w.GetHWND()));  // not closed, only the run ended
    w.Close();
}
