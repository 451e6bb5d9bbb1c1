// The back-end's answers the windows read: the goods list, the order and its state, the gift,
// the version check and the WeChat QR image inside an order.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "logic/window_answers.h"
#include "tests/fuzz/fuzz_support.h"
#include "ui/pay_good.h"
#include "utils/vl_json.h"

namespace {

// The catalogue as the purchase window reads it: each entry on its own.
void ReadGoods(const std::string& body) {
    try {
        const nlohmann::json answer = vl::json::Parse(body);
        for (const auto& entry : answer.at("data").at("goods")) {
            Good good;
            good.update(entry) ? (void)FormatPrice(good.price) : (void)CompactJson(entry);
        }
    } catch (const std::exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vl::fuzz::QuietLog();
    std::string body;
    switch (vl::fuzz::Split(data, size, 6, body)) {
        case 0:
            ReadGoods(body);
            break;
        case 1: {
            std::string orderNo, payment;
            const char* field = size % 2 == 0 ? "qr" : "url";
            if (answers::ReadOrder(body, field, "missing, {}", &orderNo, &payment)) {
                VL_FUZZ_CHECK(answers::IsUsableOrderNo(orderNo));
            }
        } break;
        case 2:
            answers::ReadOrderState(body);
            break;
        case 3: {
            std::string content;
            answers::ReadGift(body, &content);
        } break;
        case 4: {
            answers::Version version;
            answers::ReadVersion(body, &version);
        } break;
        default: {
            std::string png;
            if (answers::DecodeQrPng(body, &png)) {
                VL_FUZZ_CHECK(!png.empty());
            }
        }
    }
    return 0;
}
