#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "logic/user_info.h"
#include "ui/layout_window.h"
#include "ui/pay_good.h"
#include "ui/skin/rect.h"
#include "utils/vl_singleton.h"

namespace skin {
class Container;
class Control;
class Label;
class Option;
}  // namespace skin

// The catalogue's answer, posted by the goods request's completion; lParam owns a std::string
// with the answer body (vl::PostOwned), wParam is the transport's ok flag.
inline constexpr vl::UINT WM_PAY_GOODS_INFO = vl::WM_USER + 400;

// The purchase window. Created hidden at start-up and registered as a listener of the user
// manager; every time it is shown it loads the catalogue and shows memberships ("vip" tab) and
// translation packs ("count" tab) as tiles. "pay" opens the payment window of the chosen good.
class PayWnd : public TopLevelWindow, public vl::Singleton<PayWnd> {
public:
    const char* GetWindowClassName() const override { return "velmora_pay_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

    // Sends the catalogue request.
    void GoodsInfo();
    // Fills the account header.
    void ShowUser(const UserInfo& user);
    // Opens the payment window for the selected good.
    void Pay();

    // A membership ending later than this counts as permanent in the header.
    static constexpr std::chrono::seconds kPermanentAfter{432'000'000};

    // The goods of each tab and the selected one (goodsId -1 when none).
    const std::vector<Good>& VipGoods() const { return vipGoods_; }
    const std::vector<Good>& CountGoods() const { return countGoods_; }
    const Good& Selected() const { return selected_; }

protected:
    bool OnCreate() override;

private:
    friend class vl::Singleton<PayWnd>;
    PayWnd();

    void OnGoodsInfo(bool ok, std::unique_ptr<std::string> response);
    // Rebuilds the tiles for the goods of one tab.
    void UpdateGoodsInfo(const std::vector<Good>& goods);
    skin::Container* NewTile(const Good& good, std::size_t index);
    void SelectTile(skin::Control* option);
    void ShowTab(bool vip);
    void ShowPayMethod(bool wechat);
    void OpenLink(int index);
    void ShowLogin();

    std::vector<Good> vipGoods_;
    std::vector<Good> countGoods_;
    std::vector<Good> shown_;  // the goods of the tiles; a tile's tag is its index here
    Good selected_;

    skin::Control* login_ = nullptr;
    skin::Label* nick_ = nullptr;
    skin::Label* tip_ = nullptr;
    skin::Container* goods_ = nullptr;
    skin::Rect goodsArea_;  // where the layout puts the tiles; their row grows to the right
    skin::Label* discount_ = nullptr;
    skin::Label* price_ = nullptr;
    skin::Option* vip_ = nullptr;
    skin::Option* wechatOpt_ = nullptr;
    skin::Option* aliOpt_ = nullptr;
    skin::Control* vipBg_ = nullptr;
    skin::Control* vipIcon_ = nullptr;
    skin::Control* vipName_ = nullptr;
    skin::Control* countBg_ = nullptr;
    skin::Control* countIcon_ = nullptr;
    skin::Control* countName_ = nullptr;
    skin::Control* wechat_ = nullptr;
    skin::Control* wechatBk_ = nullptr;
    skin::Control* aliBk_ = nullptr;
};
