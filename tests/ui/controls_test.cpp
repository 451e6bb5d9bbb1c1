#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>
#include <QWindow>

#include "tests/support/log_capture.h"
#include "tests/ui/ui_test_util.h"
#include "ui/skin/button.h"
#include "ui/skin/combo.h"
#include "ui/skin/container.h"
#include "ui/skin/edit.h"
#include "ui/skin/label.h"
#include "ui/skin/option.h"
#include "ui/skin/result_zlabel.h"
#include "ui/skin/text.h"
#include "utils/vl_string.h"

using vl::test::RecordingWnd;
using vl::test::Render;

namespace {

using Events = std::vector<std::string>;

// A window of `layout`, shown and active, with nothing recorded yet.
struct Shown {
    explicit Shown(const char* layout) : wnd(layout) {
        EXPECT_NE(wnd.Create(nullptr, u"controls", skin::WS_POPUP, 0), nullptr);
        wnd.ShowWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(wnd.GetWidget()));
        wnd.Clear();
    }
    template <class T>
    T* Find(const char* name) {
        auto* c = wnd.Manager().FindControl<T>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QWindow* Native() { return wnd.GetWidget()->windowHandle(); }
    QPoint Centre(const char* name) { return vl::test::CentreOf(wnd.Manager().FindControl(name)); }
    void Click(const char* name) { QTest::mouseClick(Native(), Qt::LeftButton, {}, Centre(name)); }
    // "type:sender:wParam" of the notifications of `type`, or of all but "setfocus".
    Events Notified(const std::string& type = "") {
        Events out;
        for (const auto& n : wnd.Notifications()) {
            if (type.empty() ? n.type != "setfocus" : n.type == type)
                out.push_back(n.type + ":" + n.senderName + ":" + std::to_string(n.wParam));
        }
        return out;
    }
    RecordingWnd wnd;
};

// Whether a pixel of rows [top, bottom) of `image` is painted in about `colour`.
bool RowsHaveInk(const QImage& image, int top, int bottom, QColor colour = Qt::white) {
    for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 0 && std::abs(c.red() - colour.red()) < 60 &&
                std::abs(c.green() - colour.green()) < 60 &&
                std::abs(c.blue() - colour.blue()) < 60)
                return true;
        }
    }
    return false;
}

}  // namespace

TEST(Controls, OptionsSelectOneAtATimeInAGroupAndToggleWithout) {
    Shown s("pay/ui.xml");
    auto* vip = s.Find<skin::Option>("vip");
    auto* count = s.Find<skin::Option>("count");
    ASSERT_TRUE(vip->IsSelected());
    s.Click("count");
    s.Click("count");  // a selected grouped option stays selected
    EXPECT_TRUE(count->IsSelected());
    EXPECT_FALSE(vip->IsSelected());
    EXPECT_TRUE(s.Find<skin::Option>("wechat_opt")->IsSelected());  // another group
    vip->Selected(true, false);                                     // quietly
    EXPECT_FALSE(count->IsSelected());
    EXPECT_EQ(s.Notified(), (Events{"click:count:0", "selectchanged:count:1", "click:count:0"}));

    Shown login("login/ui.xml");
    login.Click("agree");
    login.Click("agree");
    EXPECT_FALSE(login.Find<skin::Option>("agree")->IsSelected());
    EXPECT_EQ(login.Notified(), (Events{"click:agree:0", "selectchanged:agree:1", "click:agree:0",
                                        "selectchanged:agree:0"}));
}

TEST(Controls, ComboItemsCarryDataTextAndImage) {
    Shown s("main/ui.xml");
    auto* combo = s.Find<skin::Combo>("lang_src");
    ASSERT_EQ(combo->GetCount(), 9);
    const auto item = combo->GetItemAt(3);
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(item->userData, u"jap");
    EXPECT_FALSE(combo->itemIcon(3).isNull());
    EXPECT_FALSE(combo->GetItemAt(9).has_value());
    combo->showPopup();  // the combo shows nothing of its own; its list does (dark text)
    EXPECT_TRUE(RowsHaveInk(Render(combo->view()), 0, 200, QColor(0x1f, 0x2a, 0x3d)));
    combo->hidePopup();

    EXPECT_TRUE(combo->SelectItem(5, false, false));
    EXPECT_TRUE(combo->SelectItem(2));
    EXPECT_FALSE(combo->SelectItem(9));
    EXPECT_EQ(s.Notified(), (Events{"itemselect:lang_src:2"}));
    EXPECT_EQ(s.wnd.Notifications().back().lParam, 5);
    EXPECT_EQ(combo->GetCurSel(), 2);
}

TEST(Controls, TextLinksNotifyTheirIndexAndPlainTextShowsMarkupAsIs) {
    Shown s("login/ui.xml");
    auto* agreement = s.Find<skin::Text>("agreement");
    ASSERT_EQ(agreement->GetLinkCount(), 2);
    EXPECT_EQ(agreement->GetLinkContent(1), u"privacy");
    EXPECT_EQ(agreement->GetLinkContent(2), u"");
    // Two links to one page keep their own indexes.
    agreement->SetText(u"<a href='https://a/'>x</a> <a href=\"https://a/\">y</a>");
    ASSERT_EQ(agreement->GetLinkCount(), 2);
    emit agreement->linkActivated("vl-link:1");
    emit agreement->linkActivated("https://a/");  // not one of ours
    EXPECT_EQ(s.Notified(), (Events{"link:agreement:1"}));

    Shown box("common/msgbox.xml");
    auto* msg = box.Find<skin::Text>("msg");
    msg->SetText(u"<a href='file:///etc/passwd'>x</a><img src='/tmp/x.png'>");
    EXPECT_EQ(msg->GetLinkCount(), 0);
    EXPECT_EQ(msg->textFormat(), Qt::PlainText);
}

TEST(Controls, OnlyTheUserMovingTheFocusNotifiesSetFocus) {
    RecordingWnd w("pay/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"focus", skin::WS_POPUP, 0), nullptr);
    w.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.GetWidget()));
    // Activation gave the first control in tab order the focus, silently; so does code.
    ASSERT_NE(skin::AsControl(QApplication::focusWidget()), nullptr);
    w.Manager().FindControl("ali_opt")->GetWidget()->setFocus();
    EXPECT_TRUE(w.Notifications().empty());
    QTest::mouseClick(w.GetWidget()->windowHandle(), Qt::LeftButton, {},
                      vl::test::CentreOf(w.Manager().FindControl("count")));
    QTest::keyClick(w.GetWidget()->windowHandle(), Qt::Key_Tab);
    Events focused;
    for (const auto& n : w.Notifications())
        if (n.type == "setfocus")
            focused.push_back(n.senderName);
    EXPECT_EQ(focused, (Events{"count", skin::AsControl(QApplication::focusWidget())->GetName()}));
}

// A layout's style rules stay in its window, and its own text colours win over them.
TEST(Controls, StyleRulesStayInTheirWindowAndLayoutColoursWin) {
    Shown pay("pay/ui.xml");
    Shown box("common/msgbox.xml");
    auto* other = new skin::Label;  // a "price" in a window whose layout has none
    other->SetName("price");
    ASSERT_TRUE(box.Find<skin::Container>("buttons")->Add(other));
    auto colourOf = [](QWidget* w) {
        w->ensurePolished();
        return w->palette().color(QPalette::WindowText);
    };
    EXPECT_EQ(colourOf(pay.Find<skin::Label>("price")), QColor("#ee823f"));
    EXPECT_NE(colourOf(other), QColor("#ee823f"));

    auto* close = box.Find<skin::Button>("close");  // white by the shared style sheet
    ASSERT_TRUE(close->SetAttribute("textcolor", u"#FF00FF00"));
    const QImage image = Render(close);
    EXPECT_TRUE(RowsHaveInk(image, 0, image.height(), Qt::green));
    EXPECT_FALSE(RowsHaveInk(image, 0, image.height(), Qt::white));
}

TEST(Controls, StateImagesFollowTheMouseThroughDecorations) {
    Shown s("common/msgbox.xml");
    auto* ok = s.Find<skin::Button>("ok");
    const std::pair<std::string, QColor> faces[] = {
        {"normalimage", Qt::green}, {"hotimage", Qt::blue}, {"pushedimage", Qt::red}};
    for (const auto& [attribute, colour] : faces) {
        QImage face(8, 8, QImage::Format_ARGB32);
        face.fill(colour);
        s.wnd.Manager().AddImage(attribute, face, true);
        ASSERT_TRUE(ok->SetAttribute(attribute, u"file='" + vl::ToUnicodeW(attribute) + u"'"));
    }
    // A decoration lying over the button, as layouts put icons on buttons.
    auto* decoration = new skin::Label;
    decoration->SetFloat(true);
    ASSERT_TRUE(decoration->SetAttribute("mouse", u"false"));
    ASSERT_TRUE(s.Find<skin::Container>("buttons")->Add(decoration));
    decoration->SetPos(ok->GetPos());
    auto face = [&] { return Render(ok).pixelColor(2, 2); };
    EXPECT_EQ(face(), QColor(Qt::green));
    QTest::mouseMove(s.Native(), s.Centre("ok"));
    EXPECT_EQ(face(), QColor(Qt::blue));
    QTest::mousePress(s.Native(), Qt::LeftButton, {}, s.Centre("ok"));
    EXPECT_EQ(face(), QColor(Qt::red));
    QTest::mouseRelease(s.Native(), Qt::LeftButton, {}, s.Centre("ok"));
    EXPECT_EQ(s.Notified(), (Events{"click:ok:0"}));
}

TEST(Controls, FloatingChildrenKeepFixedPlacesAndOthersFill) {
    RecordingWnd w("result/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"result", skin::WS_POPUP, 0, 0, 0, 800, 600), nullptr);
    w.ShowWindow();
    auto* translation = w.Manager().FindControl<skin::Container>("result_translation");
    ASSERT_NE(translation, nullptr);
    auto* label = new skin::Label;
    label->SetFloat(true);
    label->SetFixedXY(299, 199);
    label->SetFixedWidth(100);
    label->SetFixedHeight(22);
    ASSERT_TRUE(translation->Add(label));
    EXPECT_TRUE(label->isVisible());

    w.GetWidget()->resize(1024, 768);
    vl::test::ProcessEvents();
    EXPECT_EQ(translation->GetPos(), (skin::Rect{0, 0, 1024, 768}));
    EXPECT_EQ(label->GetPos(), (skin::Rect{299, 199, 399, 221}));
    translation->RemoveAll();
    EXPECT_EQ(translation->GetCount(), 0);
}

TEST(Controls, VerticalLabelPaintsOneUnitPerCell) {
    RecordingWnd w("result/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"zlabel", skin::WS_POPUP, 0, 0, 0, 400, 400), nullptr);
    w.Manager().AddFont(130, u"Microsoft YaHei UI", 30, false, false, false);
    auto* z = new ResultZlabel;
    z->SetFloat(true);
    z->SetPos(skin::Rect{0, 0, 30, 200});
    z->SetBkColor(0xFF000000);
    z->SetTextColor(0xFFFFFFFF);
    z->SetFont(130);
    z->SetAttribute("valign", u"top");
    z->SetEnabledEffect(true);
    ASSERT_TRUE(w.Manager().FindControl<skin::Container>("result_translation")->Add(z));

    // Five units: one cell of 32 rows each, nothing below the fifth.
    z->SetText(u"翻译五个字");
    QImage image = Render(z);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(RowsHaveInk(image, i * 32, i * 32 + 32)) << i;
    EXPECT_FALSE(RowsHaveInk(image, 160, 200));

    // A character outside the basic plane is painted whole in its first cell; the second stays
    // empty so that later characters keep their cells.
    z->SetText(u"一\U00020000二");
    image = Render(z);
    EXPECT_TRUE(RowsHaveInk(image, 32, 64));
    EXPECT_FALSE(RowsHaveInk(image, 64, 96));
    EXPECT_TRUE(RowsHaveInk(image, 96, 128));
}

TEST(Controls, BackgroundNineSliceLeavesTheHoleOut) {
    RecordingWnd w("result/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"mask", skin::WS_POPUP, 0, 0, 0, 200, 200), nullptr);
    QImage veil(100, 80, QImage::Format_ARGB32);
    veil.fill(QColor(255, 0, 0, 255));
    w.Manager().AddImage("img_mask", veil, true);
    auto* mask = w.Manager().FindControl<skin::Label>("result_mask");
    ASSERT_NE(mask, nullptr);
    mask->SetFloat(true);
    mask->SetPos(skin::Rect{0, 0, 100, 80});
    // The selection (10, 20)-(70, 40) of a 100 × 80 veil: insets 10, 20, 30, 40.
    mask->SetBkImage(u"file='img_mask' scale9='10,20,30,40' hole='true'");
    const QImage image = Render(mask);
    EXPECT_EQ(qRed(image.pixel(5, 5)), 255);
    EXPECT_EQ(qRed(image.pixel(95, 75)), 255);
    EXPECT_EQ(qRed(image.pixel(69, 39)), 0);  // inside the hole
    EXPECT_EQ(qRed(image.pixel(10, 20)), 0);
    EXPECT_EQ(qRed(image.pixel(70, 30)), 255);  // right of it
    EXPECT_EQ(qRed(image.pixel(40, 40)), 255);  // below it

    mask->SetBkImage(u"file='img_mask' corner='1,2'");
    EXPECT_EQ(mask->GetBkImage(), u"");
    vl::test::LogCapture::Get()->Clear();
    mask->SetBkImage(u"no/such/picture.png");
    Render(mask);
    Render(mask);
    EXPECT_EQ(vl::test::LogCapture::Get()->Count("image no/such/picture.png not found"), 1u);
}

// A window binds its controls in one call: a name that is missing or names a control of another
// kind fails the call, is named in the log and leaves its pointer null (not stale).
TEST(Controls, BindFillsEveryPointerOrNamesWhatIsMissing) {
    RecordingWnd w("login/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"bind", skin::WS_POPUP, 0), nullptr);
    skin::Edit* phone = nullptr;
    skin::Button* code = nullptr;  // an edit in the layout
    skin::Control* stale = w.Manager().FindControl("qq");
    vl::test::LogCapture::Get()->Clear();
    EXPECT_FALSE(w.Manager().Bind({{"phone", &phone}, {"code", &code}, {"no_such", &stale}}));
    EXPECT_NE(phone, nullptr);
    EXPECT_EQ(code, nullptr);
    EXPECT_EQ(stale, nullptr);
    EXPECT_TRUE(
        vl::test::LogCapture::Get()->Has("controls not found in the layout: code, no_such"));
    EXPECT_TRUE(w.Manager().Bind({{"code", &phone}, {"qq", &code}}));
    EXPECT_EQ(phone, w.Manager().FindControl("code"));
}
