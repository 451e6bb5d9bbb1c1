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

// What the open window showed when the test pressed one of its buttons.
struct Seen {
    bool found = false;
    QString windowTitle, title, msg, ok, cancel;
    QWidget* parent = nullptr;
    bool icon = false;
};

// Once the window of `className` is open, records it and clicks its control `button`.
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
    owner.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.GetWidget()));
    owner.Clear();
    bool ownerGotClick = true;
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(owner.GetWidget()->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
        ownerGotClick = !owner.Received({vl::WM_LBUTTONDOWN}).empty();
    });
    int destroyed = 0, freed = 0;
    Seen seen;
    PressWhenOpen("velmora_test_page_wnd", "ok", &seen);
    EXPECT_EQ(skin::RunModal<Page>(owner.GetHWND(), u"页面", &destroyed, &freed), 7u);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.windowTitle, QString("页面"));
    EXPECT_EQ(seen.parent, owner.GetWidget());
    EXPECT_TRUE(seen.icon);
    EXPECT_FALSE(ownerGotClick);  // the owner took no input meanwhile
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(freed, 1);
    QTest::mouseClick(owner.GetWidget()->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(owner.Received({vl::WM_LBUTTONDOWN}).size(), 1u);  // free again
}

TEST(MsgBox, OkClosesThenRunsItsActionAndAnEmptyTextKeepsTheLayouts) {
    Seen seen;
    int ran = 0;
    bool closedBeforeAction = false;
    PressWhenOpen("velmora_common_msgbox_wnd", "ok", &seen);
    CommonMsgBoxWnd::Show(nullptr, u"提示", u"设置翻译区域后方可进行翻译操作", u"", [&] {
        ++ran;
        closedBeforeAction = FindOpenWindow("velmora_common_msgbox_wnd") == nullptr;
    });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(closedBeforeAction);
    EXPECT_EQ(seen.windowTitle, QString("Velmora翻译-对话框"));
    EXPECT_EQ(seen.title, QString("提示"));
    EXPECT_EQ(seen.msg, QString("设置翻译区域后方可进行翻译操作"));
    EXPECT_EQ(seen.ok, QString("确定"));

    PressWhenOpen("velmora_common_msgbox_wnd", "close", &seen);
    CommonMsgBoxWnd::Show(nullptr, u"提示", u"获取原文失败", u"立即设置", [&] { ++ran; });
    EXPECT_EQ(seen.ok, QString("立即设置"));
    EXPECT_EQ(ran, 1);  // "close" runs nothing
}

TEST(MsgBox, TwoButtonBoxRunsOnlyThePressedAction) {
    for (const char* button : {"ok", "cancel", "close"}) {
        Seen seen;
        std::string ran;
        PressWhenOpen("velmora_common_msgbox2_wnd", button, &seen);
        CommonMsgBox2Wnd::Show(
            nullptr, u"标题", u"内容", u"好的", [&] { ran += "ok"; }, u"", [&] { ran += "cancel"; },
            [&] { ran += "close"; });
        ASSERT_TRUE(seen.found) << button;
        EXPECT_EQ(ran, button);
        EXPECT_EQ(seen.windowTitle, QString("Velmora翻译-对话框2"));
        EXPECT_EQ(seen.ok, QString("好的"));
        EXPECT_EQ(seen.cancel, QString("取消"));  // the layout's own
    }
    Seen seen;  // no actions at all: the buttons only close
    PressWhenOpen("velmora_common_msgbox2_wnd", "cancel", &seen);
    CommonMsgBox2Wnd::Show(nullptr, u"t", u"m", u"", nullptr, u"不要", nullptr, nullptr);
    EXPECT_EQ(seen.cancel, QString("不要"));
    EXPECT_EQ(FindOpenWindow("velmora_common_msgbox2_wnd"), nullptr);
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
