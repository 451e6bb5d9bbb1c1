#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
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

namespace {

struct Shown {
    explicit Shown(const char* layout) : wnd(layout) {
        EXPECT_NE(wnd.Create(nullptr, u"controls", skin::WS_POPUP, 0), nullptr);
        EXPECT_TRUE(wnd.layoutLoaded);
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
    // A real click through the window, at the middle of the control.
    void Click(const char* name) {
        const skin::Rect r = wnd.Manager().FindControl(name)->GetPos();
        QTest::mouseClick(wnd.GetWidget()->windowHandle(), Qt::LeftButton, {},
                          QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    }
    // "type:sender:wParam" of every notification except focus changes.
    std::vector<std::string> Events() {
        std::vector<std::string> out;
        for (const auto& n : wnd.Notifications()) {
            if (n.type != "setfocus") {
                out.push_back(n.type + ":" + n.senderName + ":" + std::to_string(n.wParam));
            }
        }
        return out;
    }
    RecordingWnd wnd;
};

using Events = std::vector<std::string>;

// Pixels of `widget` as painted.
QImage Render(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool RowsHaveInk(const QImage& image, int top, int bottom) {
    for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(image.pixel(x, y)) > 128)
                return true;
        }
    }
    return false;
}

}  // namespace

TEST(Controls, ButtonClickNotifiesItsName) {
    Shown s("common/msgbox2.xml");
    s.Click("cancel");
    s.Click("ok");
    EXPECT_EQ(s.Events(), (Events{"click:cancel:0", "click:ok:0"}));
}

TEST(Controls, GroupedOptionsSelectOneAtATime) {
    Shown s("pay/ui.xml");
    auto* vip = s.Find<skin::Option>("vip");
    auto* count = s.Find<skin::Option>("count");
    ASSERT_TRUE(vip->IsSelected());
    s.Click("count");
    EXPECT_TRUE(count->IsSelected());
    EXPECT_FALSE(vip->IsSelected());
    s.Click("count");  // a selected grouped option stays selected
    EXPECT_TRUE(count->IsSelected());
    EXPECT_EQ(s.Events(), (Events{"click:count:0", "selectchanged:count:1", "click:count:0"}));

    s.wnd.Clear();
    vip->Selected(true, false);  // quietly
    EXPECT_FALSE(count->IsSelected());
    EXPECT_TRUE(s.Events().empty());
    count->Selected(true);
    EXPECT_EQ(s.Events(), (Events{"selectchanged:count:1"}));
    // Another group is left alone.
    EXPECT_TRUE(s.Find<skin::Option>("wechat_opt")->IsSelected());
}

TEST(Controls, UngroupedOptionToggles) {
    Shown s("login/ui.xml");
    auto* agree = s.Find<skin::Option>("agree");
    ASSERT_FALSE(agree->IsSelected());
    s.Click("agree");
    EXPECT_TRUE(agree->IsSelected());
    s.Click("agree");
    EXPECT_FALSE(agree->IsSelected());
    EXPECT_EQ(s.Events(), (Events{"click:agree:0", "selectchanged:agree:1", "click:agree:0",
                                  "selectchanged:agree:0"}));
}

TEST(Controls, ComboItemsCarryDataTextAndImage) {
    Shown s("main/ui.xml");
    auto* combo = s.Find<skin::Combo>("lang_src");
    const char* codes[] = {"chs", "cht", "eng", "jap", "kor", "por", "spa", "fre", "rus"};
    ASSERT_EQ(combo->GetCount(), 9);
    for (int i = 0; i < 9; ++i) {
        const auto item = combo->GetItemAt(i);
        ASSERT_TRUE(item.has_value());
        EXPECT_EQ(vl::ToUtf8(item->userData), codes[i]);
        EXPECT_EQ(vl::ToUtf8(item->bkImage), std::string("main/lang/") + codes[i] + ".png");
        EXPECT_FALSE(item->text.empty());
        EXPECT_FALSE(combo->itemIcon(i).isNull()) << codes[i];
    }
    EXPECT_EQ(combo->GetItemAt(3)->text, u"日本語");
    EXPECT_FALSE(combo->GetItemAt(9).has_value());
    EXPECT_FALSE(combo->GetItemAt(-1).has_value());

    EXPECT_TRUE(combo->SelectItem(5, false, false));
    EXPECT_TRUE(s.Events().empty());
    EXPECT_TRUE(combo->SelectItem(2));
    EXPECT_EQ(s.Events(), (Events{"itemselect:lang_src:2"}));
    EXPECT_EQ(s.wnd.Notifications().back().lParam, 5);
    EXPECT_FALSE(combo->SelectItem(9));
    EXPECT_EQ(combo->GetCurSel(), 2);

    combo->RemoveAll();
    combo->AddItem({u"English", u"eng", u"main/lang/eng.png"});
    EXPECT_EQ(combo->GetItemAt(0)->userData, u"eng");
    EXPECT_FALSE(combo->itemIcon(0).isNull());
}

TEST(Controls, TextLinksNotifyTheirIndex) {
    Shown s("login/ui.xml");
    auto* agreement = s.Find<skin::Text>("agreement");
    ASSERT_EQ(agreement->GetLinkCount(), 2);
    EXPECT_EQ(agreement->GetLinkContent(0), u"https://velmora.example/agreement");
    EXPECT_EQ(agreement->GetLinkContent(1), u"https://velmora.example/privacy");
    EXPECT_EQ(agreement->GetLinkContent(2), u"");
    emit agreement->linkActivated(agreement->text().section("href='", 2, 2).section('\'', 0, 0));
    EXPECT_EQ(s.Events(), (Events{"link:agreement:1"}));

    // Two links to one page keep their own indexes.
    agreement->SetText(u"<a href='https://a/'>x</a> <a href=\"https://a/\">y</a>");
    ASSERT_EQ(agreement->GetLinkCount(), 2);
    s.wnd.Clear();
    emit agreement->linkActivated("vl-link:1");
    emit agreement->linkActivated("https://a/");  // not one of ours
    EXPECT_EQ(s.Events(), (Events{"link:agreement:1"}));
}

TEST(Controls, PlainTextShowsMarkupAsIs) {
    Shown s("common/msgbox.xml");
    auto* msg = s.Find<skin::Text>("msg");
    msg->SetText(u"<a href='file:///etc/passwd'>x</a><img src='/tmp/x.png'>");
    EXPECT_EQ(msg->GetLinkCount(), 0);
    EXPECT_EQ(msg->textFormat(), Qt::PlainText);
    EXPECT_EQ(msg->GetText(), u"<a href='file:///etc/passwd'>x</a><img src='/tmp/x.png'>");
}

TEST(Controls, OnlyTheUserMovingTheFocusNotifiesSetFocus) {
    RecordingWnd w("pay/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"focus", skin::WS_POPUP, 0), nullptr);
    w.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.GetWidget()));
    // Activation gave the first control in tab order the focus, silently; so does code.
    ASSERT_NE(skin::AsControl(QApplication::focusWidget()), nullptr);
    w.Manager().FindControl("ali_opt")->GetWidget()->setFocus();
    auto focused = [&] {
        std::vector<std::string> names;
        for (const auto& n : w.Notifications())
            if (n.type == "setfocus")
                names.push_back(n.senderName);
        return names;
    };
    EXPECT_TRUE(focused().empty());
    const skin::Rect r = w.Manager().FindControl("count")->GetPos();
    QTest::mouseClick(w.GetWidget()->windowHandle(), Qt::LeftButton, {},
                      QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    QTest::keyClick(w.GetWidget()->windowHandle(), Qt::Key_Tab);
    const std::string next = skin::AsControl(QApplication::focusWidget())->GetName();
    EXPECT_EQ(focused(), (std::vector<std::string>{"count", next}));
}

TEST(Controls, StyleRulesOfALayoutStayInItsWindow) {
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
    const skin::Rect r = ok->GetPos();
    const QPoint centre((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    QWindow* native = s.wnd.GetWidget()->windowHandle();
    EXPECT_EQ(face(), QColor(Qt::green));
    QTest::mouseMove(native, centre);
    EXPECT_EQ(face(), QColor(Qt::blue));
    QTest::mousePress(native, Qt::LeftButton, {}, centre);
    EXPECT_EQ(face(), QColor(Qt::red));
    QTest::mouseRelease(native, Qt::LeftButton, {}, centre);
    EXPECT_EQ(s.Events(), (Events{"click:ok:0"}));
}

TEST(Controls, LayoutTextColourWinsOverTheStyleSheetsOnButtons) {
    Shown s("common/msgbox.xml");
    auto* close = s.Find<skin::Button>("close");  // white by the shared style sheet
    ASSERT_TRUE(close->SetAttribute("textcolor", u"#FF00FF00"));
    const QImage image = Render(close);
    bool green = false, white = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            green = green || (c.alpha() > 0 && c.green() > 200 && c.red() < 60);
            white = white || (c.alpha() > 0 && c.red() > 200);
        }
    }
    EXPECT_TRUE(green);
    EXPECT_FALSE(white);
}

TEST(Controls, FloatingChildrenKeepFixedPlacesAndOthersFill) {
    RecordingWnd w("result/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"result", skin::WS_POPUP, 0, 0, 0, 800, 600), nullptr);
    w.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.GetWidget()));
    auto* translation = w.Manager().FindControl<skin::Container>("result_translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->GetPos(), (skin::Rect{0, 0, 800, 600}));

    auto* label = new skin::Label;
    label->SetFloat(true);
    label->SetFixedXY(299, 199);
    label->SetFixedWidth(100);
    label->SetFixedHeight(22);
    label->SetText(u"翻译");
    ASSERT_TRUE(translation->Add(label));
    auto* column = new ResultZlabel;
    column->SetFloat(true);
    column->SetPos(skin::Rect{10, 20, 40, 180});
    ASSERT_TRUE(translation->Add(column));
    EXPECT_EQ(translation->GetCount(), 2);
    EXPECT_EQ(label->GetPos(), (skin::Rect{299, 199, 399, 221}));
    EXPECT_EQ(column->GetPos(), (skin::Rect{10, 20, 40, 180}));
    EXPECT_TRUE(label->isVisible());

    w.GetWidget()->resize(1024, 768);
    vl::test::ProcessEvents();
    EXPECT_EQ(translation->GetPos(), (skin::Rect{0, 0, 1024, 768}));
    EXPECT_EQ(label->GetPos(), (skin::Rect{299, 199, 399, 221}));

    translation->RemoveAll();
    EXPECT_EQ(translation->GetCount(), 0);
    EXPECT_EQ(translation->GetItemAt(0), nullptr);
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
    z->SetAttribute("align", u"center");
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
    EXPECT_TRUE(RowsHaveInk(image, 0, 32));
    EXPECT_TRUE(RowsHaveInk(image, 32, 64));
    EXPECT_FALSE(RowsHaveInk(image, 64, 96));
    EXPECT_TRUE(RowsHaveInk(image, 96, 128));

    // Without effect drawing it is an ordinary label: one line.
    z->SetEnabledEffect(false);
    z->SetText(u"一二");
    image = Render(z);
    EXPECT_FALSE(RowsHaveInk(image, 120, 200));
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
    EXPECT_EQ(mask->GetBkImage(), u"file='img_mask' scale9='10,20,30,40' hole='true'");
    QImage image = Render(mask);
    EXPECT_EQ(qRed(image.pixel(5, 5)), 255);
    EXPECT_EQ(qRed(image.pixel(95, 75)), 255);
    EXPECT_EQ(qRed(image.pixel(69, 39)), 0);  // inside the hole
    EXPECT_EQ(qRed(image.pixel(10, 20)), 0);
    EXPECT_EQ(qRed(image.pixel(70, 30)), 255);  // right of it
    EXPECT_EQ(qRed(image.pixel(40, 40)), 255);  // below it

    mask->SetBkImage(u"file='img_mask'");  // whole image, stretched
    image = Render(mask);
    EXPECT_EQ(qRed(image.pixel(40, 30)), 255);

    vl::test::LogCapture::Get()->Clear();
    mask->SetBkImage(u"file='img_mask' corner='1,2'");
    EXPECT_EQ(mask->GetBkImage(), u"");
    EXPECT_TRUE(vl::test::LogCapture::Get()->Contains("bad background"));
    mask->SetBkImage(u"no/such/picture.png");
    Render(mask);
    Render(mask);
    EXPECT_EQ(vl::test::LogCapture::Get()->Count("image no/such/picture.png not found"), 1u);
}

TEST(Controls, FontsFromTheLayoutAndAddedLater) {
    Shown s("pay/ui.xml");
    const QFont* small = s.wnd.Manager().GetFont(1);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->pixelSize(), 11);
    EXPECT_EQ(small->family(), QString("Noto Sans CJK SC"));
    ASSERT_NE(s.wnd.Manager().GetFont(11), nullptr);
    EXPECT_TRUE(s.wnd.Manager().GetFont(11)->bold());
    EXPECT_EQ(s.Find<skin::Label>("price")->font().pixelSize(), 24);  // fontid 11

    s.wnd.Manager().AddFont(120, u"Microsoft YaHei UI", 20, false, false, false);
    auto* label = s.Find<skin::Label>("discount");
    label->SetFont(120);
    EXPECT_EQ(label->font().pixelSize(), 20);
    EXPECT_EQ(QFontInfo(label->font()).family(), QString("Noto Sans CJK SC"));
    s.wnd.Manager().AddFont(100, u"Microsoft YaHei UI", 0, false, false, false);  // height 0
    EXPECT_EQ(s.wnd.Manager().GetFont(100)->pixelSize(), 1);
    EXPECT_EQ(s.wnd.Manager().GetFont(7), nullptr);
}
