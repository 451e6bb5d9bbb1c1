#include "ui/pay_wechat_wnd.h"

#include <QImage>
#include <QString>

#include "logic/window_answers.h"
#include "ui/skin/control.h"
#include "utils/vl_env.h"
#include "utils/vl_file.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

PayWechatWnd::PayWechatWnd(PayOrder order)
    : PayOrderWnd("pay/wechat.xml", "create pay wechat window failed, layout pay/wechat.xml",
                  std::move(order),
                  {kPayWechat, "qr",
                   "parse json failed, order number or order qr url is invalid, json is \r\n{}"}) {}

bool PayWechatWnd::OnCreate() {
    return Manager().Bind({{"qr", &qr_}}) && PayOrderWnd::OnCreate();
}

void PayWechatWnd::OnOrdered(const std::string& payment) {
    ClearQr();
    std::string png;
    if (!answers::DecodeQrPng(payment, &png) || !ShowQr(png)) {
        ShowFailure(u"二维码显示失败，请重试");
    }
    SetPending(false);
}

void PayWechatWnd::OnRetry() {
    if (CanRetry()) {
        Order();
    }
}

bool PayWechatWnd::ShowQr(const std::string& png) {
    if (png.empty()) {
        VL_ERROR("qr image of order {} is empty", OrderNo());
        return false;
    }
    // The order number is known to be a plain file name (IsUsableOrderNo).
    const std::u16string cache = vl::CacheDir();
    const std::string file = vl::ToString(cache) + "/" + OrderNo() + ".png";
    std::string error;
    if (cache.empty() || !vl::WriteFileAtomically(file, png, error, vl::LinkPolicy::Replace)) {
        VL_ERROR("open file {} for writing failed, {}", file, error);
        return false;
    }
    QImage image;
    if (!image.load(QString::fromStdString(file))) {
        VL_ERROR("qr image {} cannot be read", file);
        return false;
    }
    qrImage_ = "qr/" + OrderNo();
    Manager().AddImage(qrImage_, image, image.hasAlphaChannel());
    qr_->SetBkImage(vl::ToUnicodeW(qrImage_));
    qrFile_ = file;
    return true;
}

void PayWechatWnd::ClearQr() {
    qr_->SetBkImage(u"");
    if (!qrImage_.empty()) {
        Manager().RemoveImage(qrImage_);
    }
    qrImage_.clear();
    qrFile_.clear();
}
