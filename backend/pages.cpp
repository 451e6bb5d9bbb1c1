#include "backend/pages.h"

#include <cstdio>

#include "backend/embedded_files.h"
#include "backend/providers.h"
#include "backend/text.h"

namespace backend::pages {

namespace {

std::string Frame(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>" +
           HtmlEscape(title) +
           " - Velmora翻译</title><link rel=\"stylesheet\" href=\"/pages/style.css\"></head>"
           "<body><main><h1>" +
           HtmlEscape(title) + "</h1>\n" + body + "\n</main></body></html>\n";
}

std::string Yuan(std::int64_t fen) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%lld.%02lld", static_cast<long long>(fen / 100),
                  static_cast<long long>(fen % 100));
    return buf;
}

}  // namespace

bool Static(const std::string& name, std::string& html) {
    const std::string_view file = EmbeddedFile("pages/" + name + ".html");
    if (file.empty()) {
        return false;
    }
    html.assign(file);
    return true;
}

std::string Message(const std::string& title, const std::string& text) {
    return Frame(title, "<p>" + HtmlEscape(text) + "</p>");
}

std::string QrLogin(const std::string& providerName, const std::string& providerTitle,
                    const std::string& state, const std::string& pageUrl,
                    const std::string& qrPngBase64, const std::string& formToken) {
    std::string body = "<p>这是本机后端的" + HtmlEscape(providerTitle) + "登录确认页，代替手机" +
                       HtmlEscape(providerTitle) +
                       "扫码后的授权页面。确认后，Velmora翻译会在几秒内自动完成登录。</p>\n";
    if (!qrPngBase64.empty()) {
        body += "<p><img class=\"qr\" alt=\"" + HtmlEscape(pageUrl) +
                "\" src=\"data:image/png;base64," + qrPngBase64 + "\"></p>\n";
    }
    body += "<form method=\"post\" action=\"" + std::string(LocalQrLoginProvider::kPagePath) +
            "\">"
            "<input type=\"hidden\" name=\"provider\" value=\"" +
            HtmlEscape(providerName) +
            "\">"
            "<input type=\"hidden\" name=\"state\" value=\"" +
            HtmlEscape(state) +
            "\">"
            "<input type=\"hidden\" name=\"csrf\" value=\"" +
            HtmlEscape(formToken) +
            "\">"
            "<label>本地账号 <input name=\"account\" value=\"" +
            HtmlEscape(providerName) +
            "-user\" maxlength=\"64\" required></label>"
            "<label>昵称 <input name=\"nickname\" value=\"" +
            HtmlEscape(providerTitle) +
            "用户\" maxlength=\"20\"></label>"
            "<button type=\"submit\">确认登录</button></form>";
    return Frame(providerTitle + "登录", body);
}

std::string Pay(const Order& order, const std::string& formToken) {
    const std::string method = order.payMethod == 9 ? "微信支付" : "支付宝";
    const std::string body =
        "<p>这是本机后端的支付页，代替" + method +
        "的收银台：点“确认支付”即视为支付成功，不会产生真实扣款。</p>\n"
        "<table><tr><th>订单号</th><td>" +
        HtmlEscape(order.orderNo) + "</td></tr><tr><th>商品</th><td>" +
        HtmlEscape(order.goodsName) + "</td></tr><tr><th>金额</th><td>￥" + Yuan(order.priceFen) +
        "</td></tr></table>\n"
        "<form method=\"post\" action=\"" +
        std::string(LocalPaymentProvider::kPagePath) +
        "\"><input type=\"hidden\" name=\"orderNo\" value=\"" + HtmlEscape(order.orderNo) +
        "\"><input type=\"hidden\" name=\"amount\" value=\"" + std::to_string(order.priceFen) +
        "\"><input type=\"hidden\" name=\"csrf\" value=\"" + HtmlEscape(formToken) +
        "\"><button type=\"submit\">确认支付</button></form>"
        "<p class=\"note\">支付后回到Velmora翻译，点“已完成支付”。</p>";
    return Frame("订单支付", body);
}

}  // namespace backend::pages
