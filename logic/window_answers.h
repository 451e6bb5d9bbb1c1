#pragma once

#include <cstdint>
#include <string>

// Readers of the back-end answers the windows act on: the payment order, the order's state, the
// free gift, the version check, and the WeChat QR image inside an order. Each logs why it cannot
// use an answer and returns false; none throws.
namespace answers {

// Order numbers come from the network and become a file name and a query value: only 1 to 64
// letters, digits, '-' and '_' are taken.
bool IsUsableOrderNo(const std::string& orderNo);

// An "/order/submit" answer: its order number and the member `payField` of "appPayParams"
// (the payment address, or the QR image's Base64 text). `missingLog` is logged, with the answer,
// when either is absent.
bool ReadOrder(const std::string& text, const char* payField, const char* missingLog,
               std::string* orderNo, std::string* payment);

enum class OrderState { Unreadable, Unpaid, Paid };
// An "/order/detail" answer. Only the number 2 means paid; anything else, "2" as text included,
// is not paid yet.
OrderState ReadOrderState(const std::string& text);

// A "/gift/free-nums/get" answer: the text to show, empty when there is none.
bool ReadGift(const std::string& text, std::string* content);

struct Version {
    std::string name;  // UTF-8
    std::string desc;  // UTF-8
    std::string downloadUrl;
    std::int64_t code = 0;
};
// An "/app/update" answer. "versionCode" may be a number or a decimal string.
bool ReadVersion(const std::string& text, Version* version);

// The PNG bytes of a QR image sent as Base64; false unless they decode to a picture of at most
// kMaxQrSide pixels a side.
bool DecodeQrPng(const std::string& base64, std::string* png);
inline constexpr int kMaxQrSide = 1024;

}  // namespace answers
