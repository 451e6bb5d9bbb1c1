#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

// One line of a good's feature list: "title" holds the key on its first line and the value on
// its second.
struct GoodFeature {
    bool enable = false;
    std::string key;
    std::string value;
    std::string code;
    std::string icon;
};

// One good of the back-end's catalogue ("/goods/list"). Texts are kept as received (UTF-8).
struct Good {
    static constexpr std::int32_t kVipTab = 1;
    static constexpr std::int32_t kCountTab = 2;
    static constexpr std::int32_t kAlipayOnlyCategory = 2;

    std::int32_t goodsId = -1;  // -1: no good
    std::string goodsName;
    std::string goodsDesc;
    std::int32_t goodsCategory = 0;
    std::int32_t goodsGroup = 0;
    std::int32_t goodsTabId = 0;
    double oriPrice = 0;
    double price = 0;  // charged, in yuan
    double unitPrice = 0;
    std::string unitTime;
    bool unlimitedNums = false;
    std::int32_t transNums = 0;
    std::string badge;
    std::vector<GoodFeature> features;

    // Fills this good from one catalogue entry; every member is required. Prices may come as
    // numbers or as their text. False, logged, for anything else; the good may then be partly
    // written, so callers start from a fresh one.
    bool update(const nlohmann::json& good);
};

// A price in yuan as the user reads it: whole amounts without decimals ("19"), others with the
// cents they have ("9.9", "19.95"). Amounts no one can be charged (negative, not finite, absurdly
// large) show as "--".
std::u16string FormatPrice(double yuan);

// A JSON value on one line for the log (shortened when long; bad UTF-8 replaced).
std::string CompactJson(const nlohmann::json& value);
