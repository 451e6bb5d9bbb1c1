// The catalogue, orders and the payment page.
#include <spdlog/spdlog.h>

#include "backend/app.h"
#include "backend/pages.h"
#include "backend/qr_image.h"
#include "backend/secrets.h"
#include "backend/text.h"

namespace backend {

namespace {

constexpr int kPayWechat = 9;   // answered with a QR image of the payment page
constexpr int kPayAlipay = 10;  // answered with the payment page's address
constexpr int kOrderNoTries = 3;

// The order number: the date and 12 random letters and digits, for instance
// 20240501K3Q9ZP0M2XAB.
std::string NewOrderNo(const Clock& clock) {
    const std::string random = secrets::RandomAlnum(12);
    return random.empty() ? std::string() : std::to_string(clock.day) + random;
}

Reply Submit(Context& ctx, const Request& req) {
    const Clock clock = Now();
    AccountId id = 0;
    Reply fail;
    if (!Authenticate(*ctx.store, req, clock, id, fail)) {
        return fail;
    }
    int goodsId = 0, payMethod = 0, goodsType = 0;
    if (!ReadBody(
            req,
            [&](JsonReader& r) {
                for (const char* key : {"goodsId", "payMethod", "goodsType"}) {
                    r.Require(key);
                }
                r.Int("goodsId", goodsId, 0, 2147483647);
                r.Int("payMethod", payMethod, 0, 1000);
                r.Int("goodsType", goodsType, 0, 1000);
            },
            fail)) {
        return fail;
    }
    const Good* good = ctx.goods.Find(goodsId);
    if (good == nullptr) {
        return Fail(ApiCode::NoSuchGood);
    }
    if (goodsType != good->goodsCategory) {
        return Fail(ApiCode::GoodChanged);
    }
    if ((payMethod != kPayWechat && payMethod != kPayAlipay) ||
        (payMethod == kPayWechat && good->goodsCategory == kCategoryAlipayOnly)) {
        return Fail(ApiCode::PayMethodRefused);
    }
    Order order;
    order.account = id;
    order.goodsId = good->goodsId;
    order.goodsName = good->goodsName;
    order.durationDays = good->durationDays;
    order.unlimited = good->unlimited;
    order.transNums = good->transNums;
    order.priceFen = good->priceFen;
    order.payMethod = payMethod;
    order.createdAt = clock.now;
    IStore::OrderResult created = IStore::OrderResult::Duplicate;
    for (int i = 0; i < kOrderNoTries && created == IStore::OrderResult::Duplicate; ++i) {
        order.orderNo = NewOrderNo(clock);
        created =
            order.orderNo.empty() ? IStore::OrderResult::Error : ctx.store->CreateOrder(order);
    }
    if (created != IStore::OrderResult::Ok) {
        return Fail(ApiCode::Internal);
    }
    const std::string url = ctx.payment->PayUrl(order);
    nlohmann::json params;
    if (payMethod == kPayWechat) {
        std::string png, error;
        if (!QrPng(url, png, error)) {
            spdlog::error("QR image of order {} failed: {}", order.orderNo, error);
            return Fail(ApiCode::Internal);
        }
        params["qr"] = secrets::Base64(png);
    } else {
        params["url"] = url;
    }
    // The address pays the order on the local page: kept out of the usual log.
    spdlog::info("account {} ordered good {} as {}", id, good->goodsId, order.orderNo);
    spdlog::debug("order {} pays at {}", order.orderNo, url);
    return Success({{"orderNo", order.orderNo},
                    {"price", static_cast<double>(order.priceFen) / 100},
                    {"appPayParams", params}});
}

Reply Detail(Context& ctx, const Request& req) {
    const Clock clock = Now();
    AccountId id = 0;
    Reply fail;
    if (!Authenticate(*ctx.store, req, clock, id, fail)) {
        return fail;
    }
    const std::string orderNo = req.Param("orderNo");
    Order order;
    const Found found = IsPlainId(orderNo, 64) ? ctx.store->GetOrder(orderNo, order) : Found::No;
    if (found == Found::Error) {
        return Fail(ApiCode::Internal);
    }
    // Another account's order is answered as if there were none.
    if (found == Found::No || order.account != id) {
        return Fail(ApiCode::NoSuchOrder);
    }
    return Success(
        {{"orderNo", order.orderNo}, {"goodsId", order.goodsId}, {"status", order.status}});
}

Reply PayPage(Context& ctx, const Request& req) {
    if (!ctx.StandInFor(req)) {
        return Html(403, pages::Message("订单支付", "此页面只对本机开放。"));
    }
    const std::string orderNo = req.Param("orderNo");
    Order order;
    const Found found = IsPlainId(orderNo, 64) ? ctx.store->GetOrder(orderNo, order) : Found::No;
    switch (found) {
        case Found::Yes:
            break;
        case Found::No:
            return Html(404, pages::Message("订单支付", "订单不存在。"));
        case Found::Error:
            return Html(500, pages::Message("订单支付", "服务器繁忙，请稍后再试。"));
    }
    if (order.status == kOrderPaid) {
        return Html(200, pages::Message("订单支付", "订单已支付，请回到Velmora翻译。"));
    }
    return Html(200, pages::Pay(order, ctx.FormToken("pay:" + order.orderNo)));
}

Reply PayNotice(Context& ctx, const Request& req) {
    PaymentNotice notice;
    std::string error;
    if (!ctx.StandInFor(req)) {
        return Html(403, pages::Message("订单支付", "此页面只对本机开放。"));
    }
    if (!ctx.payment->VerifyNotice(req, notice, error)) {
        return Html(400, pages::Message("订单支付", error));
    }
    if (!ctx.FormPostTrusted(req, "pay:" + notice.orderNo)) {
        spdlog::warn("a payment of order {} not sent from its page was refused", notice.orderNo);
        return Html(403, pages::Message("订单支付", "请从支付页确认支付。"));
    }
    switch (ctx.store->PayOrder(notice.orderNo, notice.amountFen, notice.reference, Now())) {
        case IStore::OrderResult::Ok:
            spdlog::info("order {} paid", notice.orderNo);
            return Html(200,
                        pages::Message("支付成功", "支付成功，请回到Velmora翻译点“已完成支付”。"));
        case IStore::OrderResult::AlreadyPaid:
            return Html(200, pages::Message("订单支付", "订单已支付，请回到Velmora翻译。"));
        case IStore::OrderResult::NotFound:
            return Html(404, pages::Message("订单支付", "订单不存在。"));
        case IStore::OrderResult::AmountMismatch:
            spdlog::warn("payment of order {} refused: the amount differs", notice.orderNo);
            return Html(400, pages::Message("订单支付", "支付金额与订单不符。"));
        default:
            return Html(500, pages::Message("订单支付", "服务器繁忙，请稍后再试。"));
    }
}

}  // namespace

void AddShopRoutes(HttpServer& http, Context& ctx) {
    http.Route(protocol::kGoodsList,
               [&ctx](const auto&) { return SuccessRaw(ctx.goods.ListData()); });
    http.Route(protocol::kOrderSubmit, [&ctx](const auto& req) { return Submit(ctx, req); });
    http.Route(protocol::kOrderDetail, [&ctx](const auto& req) { return Detail(ctx, req); });
    if (ctx.standIns) {
        http.Route("GET", LocalPaymentProvider::kPagePath,
                   [&ctx](const auto& req) { return PayPage(ctx, req); });
        http.Route("POST", LocalPaymentProvider::kPagePath,
                   [&ctx](const auto& req) { return PayNotice(ctx, req); });
    }
}

}  // namespace backend
