#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWindow>

#include "tests/ui/ui_test_util.h"
#include "ui/common_msgbox2_wnd.h"
#include "ui/common_msgbox_wnd.h"
#include "ui/skin/button.h"
#include "ui/skin/label.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/run_modal.h"
#include "ui/skin/text.h"

using vl::test::FindOpenWindow;
using vl::test::RecordingWnd;

namespace {

// What the open box showed when the test pressed one of its buttons.
struct Seen {
    bool found = false;
    QString windowTitle, title, msg, ok, cancel;
    QWidget* parent = nullptr;
    bool icon = false;
};

// Once the box named `className` is open, records it and clicks its control `button`.
void PressWhenOpen(const char* className, const char* button, Seen* seen) {
    QTimer::singleShot(0, [=] {
        skin::Window* box = FindOpenWindow(className);
        if (box == nullptr) {
            return;
        }
        skin::PaintManager& pm = box->Manager();
        seen->found = true;
        seen->windowTitle = box->GetWidget()->windowTitle();
        seen->parent = box->GetWidget()->parentWidget();
        seen->icon = !box->GetWidget()->windowIcon().isNull();
        seen->title = pm.FindControl<skin::Label>("title")->text();
        seen->msg = pm.FindControl<skin::Text>("msg")->text();
        seen->ok = pm.FindControl<skin::Button>("ok")->text();
        if (auto* cancel = pm.FindControl<skin::Button>("cancel"))
            seen->cancel = cancel->text();
        QTest::mouseClick(pm.FindControl<skin::Button>(button), Qt::LeftButton);
    });
}

struct Counters {
    int ok = 0, cancel = 0, close = 0;
    std::function<void()> Ok() {
        return [this] { ++ok; };
    }
    std::function<void()> Cancel() {
        return [this] { ++cancel; };
    }
    std::function<void()> Close() {
        return [this] { ++close; };
    }
};

// A page as sub-windows are written: "ok" closes it with 7, then still uses its members.
class Page : public LayoutWindow {
public:
    Page(int* destroyed, int* freed)
        : LayoutWindow("common/msgbox.xml", "page failed"), destroyed_(destroyed), freed_(freed) {}
    ~Page() override { ++*freed_; }
    const char* GetWindowClassName() const override { return "velmora_test_page_wnd"; }
    void Notify(const skin::Notification& msg) override {
        if (msg.type == "click" && msg.senderName == "ok") {
            Close(7);
            clicks_.push_back(msg.senderName);
        }
    }

private:
    void OnDestroy() override { ++*destroyed_; }
    int* destroyed_;
    int* freed_;
    std::vector<std::string> clicks_;
};

}  // namespace

TEST(MsgBox, RunModalReturnsTheCloseValueAndOwnsTheWindowUntilThen) {
    RecordingWnd owner("result/ui.xml");
    ASSERT_NE(owner.Create(nullptr, u"owner", skin::WS_POPUP, 0, 0, 0, 300, 300), nullptr);
    int destroyed = 0, freed = 0;
    Seen seen;
    PressWhenOpen("velmora_test_page_wnd", "ok", &seen);
    EXPECT_EQ(skin::RunModal<Page>(owner.GetHWND(), u"页面", &destroyed, &freed), 7u);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.windowTitle, QString("页面"));
    EXPECT_EQ(seen.parent, owner.GetWidget());
    EXPECT_TRUE(seen.icon);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(freed, 1);
}

TEST(MsgBox, OkClosesThenRunsItsAction) {
    Seen seen;
    int ran = 0;
    bool closedBeforeAction = false;
    PressWhenOpen("velmora_common_msgbox_wnd", "ok", &seen);
    CommonMsgBoxWnd::Show(nullptr, u"提示", u"设置翻译区域后方可进行翻译操作", u"立即设置", [&] {
        ++ran;
        closedBeforeAction = FindOpenWindow("velmora_common_msgbox_wnd") == nullptr;
    });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(closedBeforeAction);
    EXPECT_EQ(seen.windowTitle, QString("Velmora翻译-对话框"));
    EXPECT_EQ(seen.title, QString("提示"));
    EXPECT_EQ(seen.msg, QString("设置翻译区域后方可进行翻译操作"));
    EXPECT_EQ(seen.ok, QString("立即设置"));
    EXPECT_EQ(FindOpenWindow("velmora_common_msgbox_wnd"), nullptr);
}

TEST(MsgBox, CloseRunsNothingAndEmptyTextKeepsTheLayouts) {
    Seen seen;
    int ran = 0;
    PressWhenOpen("velmora_common_msgbox_wnd", "close", &seen);
    CommonMsgBoxWnd::Show(nullptr, u"提示", u"获取原文失败", u"", [&] { ++ran; });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(seen.ok, QString("确定"));

    // No action at all: "ok" only closes.
    PressWhenOpen("velmora_common_msgbox_wnd", "ok", &seen);
    CommonMsgBoxWnd::Show(nullptr, u"提示", u"x", u"", nullptr);
    EXPECT_EQ(FindOpenWindow("velmora_common_msgbox_wnd"), nullptr);
}

TEST(MsgBox, TwoButtonBoxRunsOnlyThePressedAction) {
    struct Case {
        const char* button;
        int ok, cancel, close;
    } cases[] = {{"ok", 1, 0, 0}, {"cancel", 0, 1, 0}, {"close", 0, 0, 1}};
    for (const Case& c : cases) {
        Seen seen;
        Counters n;
        PressWhenOpen("velmora_common_msgbox2_wnd", c.button, &seen);
        CommonMsgBox2Wnd::Show(nullptr, u"标题", u"内容", u"好的", n.Ok(), u"", n.Cancel(),
                               n.Close());
        ASSERT_TRUE(seen.found) << c.button;
        EXPECT_EQ(n.ok, c.ok) << c.button;
        EXPECT_EQ(n.cancel, c.cancel) << c.button;
        EXPECT_EQ(n.close, c.close) << c.button;
        EXPECT_EQ(seen.windowTitle, QString("Velmora翻译-对话框2"));
        EXPECT_EQ(seen.ok, QString("好的"));
        EXPECT_EQ(seen.cancel, QString("取消"));  // the layout's own
        EXPECT_EQ(seen.title, QString("标题"));
        EXPECT_EQ(seen.msg, QString("内容"));
    }
}

TEST(MsgBox, TwoButtonBoxWithoutActionsOnlyCloses) {
    Seen seen;
    PressWhenOpen("velmora_common_msgbox2_wnd", "cancel", &seen);
    CommonMsgBox2Wnd::Show(nullptr, u"t", u"m", u"", nullptr, u"不要", nullptr, nullptr);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.cancel, QString("不要"));
    EXPECT_EQ(FindOpenWindow("velmora_common_msgbox2_wnd"), nullptr);
}

TEST(MsgBox, OwnerTakesNoInputWhileTheBoxRuns) {
    RecordingWnd owner("result/ui.xml");
    ASSERT_NE(owner.Create(nullptr, u"owner", skin::WS_POPUP, 0, 0, 0, 300, 300), nullptr);
    owner.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.GetWidget()));
    owner.Clear();
    Seen seen;
    bool ownerGotClick = true;
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(owner.GetWidget()->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
        ownerGotClick = !owner.Received({vl::WM_LBUTTONDOWN}).empty();
    });
    PressWhenOpen("velmora_common_msgbox_wnd", "ok", &seen);
    CommonMsgBoxWnd::Show(owner.GetHWND(), u"t", u"m", u"", nullptr);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.parent, owner.GetWidget());
    EXPECT_FALSE(ownerGotClick);
    QTest::mouseClick(owner.GetWidget()->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(owner.Received({vl::WM_LBUTTONDOWN}).size(), 1u);  // free again
}

// Last: after the quit message no modal run starts in this process.
TEST(MsgBox, RunCutShortByTheQuitStillDestroysAndFreesThePage) {
    skin::QtMessageLoop loop;
    int destroyed = 0, freed = 0;
    QTimer::singleShot(0, [] { skin::PostQuitMessage(0); });
    EXPECT_EQ(skin::RunModal<Page>(nullptr, u"页面", &destroyed, &freed), skin::kModalAborted);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(FindOpenWindow("velmora_test_page_wnd"), nullptr);
}
