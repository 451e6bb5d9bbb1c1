#include "ui/pay_wnd.h"

#include <QFontMetrics>
#include <new>
#include <nlohmann/json.hpp>

#include "logic/user_manager.h"
#include "protocol/backend_protocol.h"
#include "ui/common_msgbox_wnd.h"
#include "ui/link.h"
#include "ui/login_wnd.h"
#include "ui/pay_ali_wnd.h"
#include "ui/pay_done_wnd.h"
#include "ui/pay_wechat_wnd.h"
#include "ui/skin/container.h"
#include "ui/skin/label.h"
#include "ui/skin/option.h"
#include "ui/skin/run_modal.h"
#include "ui/skin/text.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"

namespace {

constexpr char16_t kNormalBk[] = u"file='pay/btn_bk_normal.png' corner='4, 4, 4, 4'";
constexpr char16_t kSelectedBk[] = u"file='pay/btn_bk_selected.png' corner='4, 4, 4, 4'";
constexpr std::uint32_t kTabOn = 0xFF5B3301;
constexpr std::uint32_t kTabOff = 0xFFADAFB5;
constexpr std::uint32_t kGoodText = 0xFF6D4F17;
constexpr std::uint32_t kPriceText = 0xFFEE823F;
constexpr std::uint32_t kBadgeText = 0xFFFFD48F;

// Layout fonts: 1 badge, 2 small text, 10 good name, 11 price.
constexpr int kFontBadge = 1;
constexpr int kFontSmall = 2;
constexpr int kFontName = 10;
constexpr int kFontPrice = 11;

constexpr int kTileWidth = 144;
constexpr int kTileHeight = 78;
constexpr int kTileStep = 152;  // width and gap

// A floating control of a tile at (left, top, right, bottom) inside it.
template <class T>
T* Place(skin::Container* tile, const char* name, int l, int t, int r, int b) {
    auto* control = new T;
    control->SetName(name);
    control->SetFloat(true);
    control->SetFixedXY(l, t);
    control->SetFixedWidth(r - l);
    control->SetFixedHeight(b - t);
    tile->Add(control);
    return control;
}

skin::Label* PlaceText(skin::Container* tile, const char* name, int l, int t, int r, int b,
                       const std::u16string& text, int font, std::uint32_t colour) {
    auto* label = Place<skin::Label>(tile, name, l, t, r, b);
    label->SetText(text);
    label->SetFont(font);
    label->SetTextColor(colour);
    label->SetMouseEnabled(false);
    return label;
}

}  // namespace

PayWnd::PayWnd() : TopLevelWindow("pay/ui.xml", "create pay window failed, layout pay/ui.xml") {}

bool PayWnd::OnCreate() {
    // Only notifications of these two are used, but a layout without them cannot work.
    skin::Control* count = nullptr;
    skin::Control* ali = nullptr;
    if (!Manager().Bind({{"login", &login_},
                         {"nick", &nick_},
                         {"tip", &tip_},
                         {"vip_bg", &vipBg_},
                         {"vip_icon", &vipIcon_},
                         {"vip_name", &vipName_},
                         {"vip", &vip_},
                         {"count_bg", &countBg_},
                         {"count_icon", &countIcon_},
                         {"count_name", &countName_},
                         {"count", &count},
                         {"goods", &goods_},
                         {"discount", &discount_},
                         {"wechat", &wechat_},
                         {"wechat_bk", &wechatBk_},
                         {"wechat_opt", &wechatOpt_},
                         {"ali", &ali},
                         {"ali_bk", &aliBk_},
                         {"ali_opt", &aliOpt_},
                         {"price", &price_}})) {
        return false;
    }
    goodsArea_ = goods_->GetPos();
    ShowUser(UserManager::Instance()->GetUser());
    return true;
}

vl::LRESULT PayWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case vl::WM_SHOWWINDOW:
            if (wParam != 0) {
                GoodsInfo();
            }
            break;
        case WM_PAY_GOODS_INFO:
            OnGoodsInfo(wParam != 0, vl::TakePosted<std::string>(lParam));
            return 0;
        case WM_USER_MANAGER_LOGIN:
        case WM_USER_MANAGER_UPDATE:
            if (const auto answer = vl::TakePosted<UserManagerAccountAnswer>(lParam);
                wParam == 1 && answer != nullptr) {
                ShowUser(answer->user);
            }
            return 0;
        case WM_USER_MANAGER_LOGOUT:
            ShowUser(UserInfo{});
            return 0;
        default:
            break;
    }
    return TopLevelWindow::HandleMessage(msg, wParam, lParam);
}

void PayWnd::Notify(const skin::Notification& msg) {
    TopLevelWindow::Notify(msg);  // "close" hides the window
    const std::string& name = msg.senderName;
    if (msg.type == "click") {
        if (name == "login") {
            ShowLogin();
        } else if (name == "pay") {
            Pay();
        }
    } else if (msg.type == "selectchanged" && msg.wParam == 1) {
        if (name == "vip" || name == "count") {
            ShowTab(name == "vip");
        } else if (name == "good_opt") {
            SelectTile(msg.sender);
        } else if (name == "wechat_opt" || name == "ali_opt") {
            ShowPayMethod(name == "wechat_opt");
        }
    } else if (msg.type == "link" && name == "protocol") {
        OpenLink(static_cast<int>(msg.wParam));
    }
}

void PayWnd::GoodsInfo() {
    const vl::HWND hwnd = GetHWND();
    vl::Http::Instance()->Async({.url = vl::ServiceUrl(velmora::protocol::kGoodsList.path),
                                 .headers = {{"Access-Token", ""}}},
                                [hwnd](const vl::Http::Result& r) {
                                    PostAnswer(hwnd, WM_PAY_GOODS_INFO, r.ok, r.response);
                                });
}

void PayWnd::OnGoodsInfo(bool ok, std::unique_ptr<std::string> response) {
    if (!response) {
        VL_ERROR("ver is invalid");
        return;
    }
    const std::string& text = *response;
    if (!ok) {
        VL_WARN("goods request failed, \r\n{}", vl::json::Excerpt(text));
        return;
    }
    if (text.empty()) {
        VL_ERROR("json is empty");
        return;
    }
    vipGoods_.clear();
    countGoods_.clear();
    try {
        const nlohmann::json answer = vl::json::Parse(text);
        const std::int32_t code = vl::json::ToInt32(answer.at("code"));
        if (code != 0) {
            const auto& msg = answer.at("msg");
            VL_ERROR("parse version info failed, code {}, msg {}", code,
                     vl::ToUnicode(msg.is_string() ? msg.get<std::string>() : msg.dump()));
            return;
        }
        const auto& list = answer.at("data").at("goods");
        if (!list.is_array()) {
            VL_LOG_JSON_READ_ERROR(text);
            return;
        }
        for (const auto& entry : list) {
            Good good;
            if (!good.update(entry)) {
                VL_ERROR("ParseOneGood failed, \r\n{}", CompactJson(entry));
                continue;
            }
            if (good.goodsTabId == Good::kVipTab) {
                vipGoods_.push_back(std::move(good));
            } else if (good.goodsTabId == Good::kCountTab) {
                countGoods_.push_back(std::move(good));
            } else {
                VL_ERROR("tab id {} is not supported, \r\n{}", good.goodsTabId, CompactJson(entry));
            }
        }
        UpdateGoodsInfo(vip_->IsSelected() ? vipGoods_ : countGoods_);
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, text);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(text);
    }
}

void PayWnd::UpdateGoodsInfo(const std::vector<Good>& goods) {
    if (goods.empty() && goods_->GetCount() == 0) {
        return;
    }
    price_->SetText(u"0");
    discount_->SetText(u"");
    selected_ = Good{};
    goods_->RemoveAll();
    shown_ = goods;
    const int n = static_cast<int>(shown_.size());
    const int left = goodsArea_.left;
    goods_->SetPos({left, goodsArea_.top, n > 0 ? left + n * kTileStep - 8 : left,
                    goodsArea_.top + kTileHeight});
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        goods_->Add(NewTile(shown_[i], i));
    }
    auto* first =
        goods_->GetCount() > 0 ? dynamic_cast<skin::Container*>(goods_->GetItemAt(0)) : nullptr;
    if (first == nullptr) {
        return;
    }
    if (auto* option = dynamic_cast<skin::Option*>(first->FindSubControl("good_opt"))) {
        option->Selected(true);
    }
}

skin::Container* PayWnd::NewTile(const Good& good, std::size_t index) {
    auto* tile = new skin::Container;
    tile->SetName("good");
    tile->SetFixedWidth(kTileWidth);
    tile->SetFixedHeight(kTileHeight);
    tile->SetTag(index);

    auto* bk = Place<skin::Label>(tile, "good_bk", 0, 6, 144, 72);
    bk->SetBkImage(kNormalBk);
    bk->SetMouseEnabled(false);
    PlaceText(tile, "good_name", 10, 24, 90, 44, vl::ToUnicodeW(good.goodsName), kFontName,
              kGoodText);
    const std::u16string brief =
        good.unlimitedNums ? u"不限次数翻译"
                           : u"可使用" + vl::ToUnicodeW(std::to_string(good.transNums)) + u"次";
    PlaceText(tile, "good_brief", 10, 44, 90, 60, brief, kFontSmall, kGoodText);
    PlaceText(tile, "", 90, 36, 101, 52, u"￥", kFontSmall, kPriceText);

    // Prices with cents may not fit the large font; they step down rather than be cut.
    const std::u16string price = FormatPrice(good.price);
    int priceFont = kFontPrice;
    const QFont* large = Manager().GetFont(kFontPrice);
    if (large != nullptr &&
        QFontMetrics(*large).horizontalAdvance(QString::fromStdU16String(price)) > 144 - 101) {
        priceFont = kFontName;
    }
    PlaceText(tile, "good_price", 101, 28, 144, 56, price, priceFont, kPriceText);

    const std::u16string badge = vl::ToUnicodeW(good.badge);
    int badgeWidth = 0;
    if (!badge.empty()) {
        const QFont* small = Manager().GetFont(kFontBadge);
        badgeWidth = QFontMetrics(small ? *small : QFont())
                         .horizontalAdvance(QString::fromStdU16String(badge)) +
                     12;
    }
    auto* badgeLabel =
        PlaceText(tile, "good_badge", 0, 0, badgeWidth, 16, badge, kFontBadge, kBadgeText);
    badgeLabel->SetTextPadding({6, 1, 6, 1});
    badgeLabel->SetBkImage(u"file='pay/badge.png' corner='4, 4, 4, 4'");
    badgeLabel->SetVisible(!badge.empty());

    auto* option = Place<skin::Option>(tile, "good_opt", 0, 0, 144, 78);
    option->SetAttribute("group", u"good_group");
    option->SetAttribute("indicator", u"false");
    return tile;
}

void PayWnd::SelectTile(skin::Control* option) {
    auto* chosen =
        option != nullptr ? skin::AsControl(option->GetWidget()->parentWidget()) : nullptr;
    for (int i = 0; i < goods_->GetCount(); ++i) {
        auto* tile = dynamic_cast<skin::Container*>(goods_->GetItemAt(i));
        if (skin::Control* bk = tile ? tile->FindSubControl("good_bk") : nullptr) {
            bk->SetBkImage(tile == chosen ? kSelectedBk : kNormalBk);
        }
    }
    if (chosen == nullptr || chosen->GetTag() >= shown_.size()) {
        return;
    }
    selected_ = shown_[chosen->GetTag()];
    discount_->SetText(vl::ToUnicodeW(selected_.goodsDesc));
    price_->SetText(FormatPrice(selected_.price));
    if (selected_.goodsCategory == Good::kAlipayOnlyCategory) {
        wechat_->SetVisible(false);
        aliOpt_->Selected(true);
    } else {
        wechat_->SetVisible(true);
    }
}

void PayWnd::ShowTab(bool vip) {
    vipBg_->SetVisible(vip);
    vipIcon_->SetBkImage(vip ? u"pay/tab_vip_on.png" : u"pay/tab_vip_off.png");
    vipName_->SetTextColor(vip ? kTabOn : kTabOff);
    countBg_->SetVisible(!vip);
    countIcon_->SetBkImage(vip ? u"pay/tab_count_off.png" : u"pay/tab_count_on.png");
    countName_->SetTextColor(vip ? kTabOff : kTabOn);
    UpdateGoodsInfo(vip ? vipGoods_ : countGoods_);
}

void PayWnd::ShowPayMethod(bool wechat) {
    wechatBk_->SetBkImage(wechat ? kSelectedBk : kNormalBk);
    aliBk_->SetBkImage(wechat ? kNormalBk : kSelectedBk);
}

void PayWnd::OpenLink(int index) {
    auto* protocol = Manager().FindControl<skin::Text>("protocol");
    if (protocol == nullptr) {
        return;
    }
    if (!::OpenLink(vl::ToUtf8(protocol->GetLinkContent(index)))) {
        CommonMsgBoxWnd::Show(GetHWND(), u"提示", u"打开协议网页失败", u"", nullptr);
    }
}

void PayWnd::ShowLogin() {
    ShowWindow(false);
    LoginWnd* login = LoginWnd::Instance();
    if (login->GetHWND() == nullptr) {
        VL_ERROR("login window is not created");
        return;
    }
    login->ShowFor(LoginWnd::After::Purchase);
}

void PayWnd::ShowUser(const UserInfo& user) {
    if (user.loginType == LoginType::None) {
        nick_->SetVisible(false);
        nick_->SetText(u"");
        login_->SetVisible(true);
        tip_->SetText(u"请登录后购买VIP会员/次数包");
        return;
    }
    login_->SetVisible(false);
    nick_->SetText(vl::ToUnicodeW(user.nickname));
    nick_->SetVisible(true);
    tip_->SetText(
        user.isVip ? MembershipText(user.vipEnd, kPermanentAfter, std::chrono::system_clock::now())
                   : u"您尚未开通VIP会员");
}

void PayWnd::Pay() {
    if (selected_.goodsId < 0) {
        VL_WARN("no good selected");
        return;
    }
    if (UserManager::Instance()->GetUser().loginType == LoginType::None) {
        VL_WARN("not login");
        ShowLogin();
        return;
    }
    const PayOrder order{selected_.goodsId, selected_.goodsName, selected_.goodsCategory,
                         selected_.price};
    if (wechatOpt_->IsSelected()) {
        if (skin::RunModal<PayWechatWnd>(GetHWND(), u"Velmora翻译-支付", order) ==
            skin::kModalNotAllocated) {
            VL_ERROR("create pay wechat window failed, no enough memory");
        }
    } else if (skin::RunModal<PayAliWnd>(GetHWND(), u"Velmora翻译-支付", order) ==
               skin::kModalNotAllocated) {
        VL_ERROR("create pay ali window failed, no enough memory");
    }
}
