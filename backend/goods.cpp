#include "backend/goods.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "backend/json_reader.h"

namespace backend {

namespace {

constexpr int kMaxInt = 2147483647;
constexpr double kMaxPrice = 1000000;

// A feature's "title" is two lines: the name and the description.
bool ReadFeature(const nlohmann::json& entry, const std::string& path, std::string& error) {
    JsonReader r(entry, path, error);
    int enable = 0;
    std::string title, code, icon;
    for (const char* key : {"enable", "title", "code", "icon"}) {
        r.Require(key);
    }
    r.Int("enable", enable, 0, 1);
    r.String("title", title, 1024);
    r.String("code", code, 256);
    r.String("icon", icon, 2048);
    if (!r.Finish()) {
        return false;
    }
    if (title.empty() || title.front() == '\n') {
        error = path + ".title must start with a line naming the feature";
        return false;
    }
    return true;
}

bool ReadGood(const nlohmann::json& entry, const std::string& path, Good& g, std::string& error) {
    JsonReader r(entry, path, error);
    static const char* const kRequired[] = {
        "goodsId",       "goodsName", "goodsDesc", "goodsCategory", "goodsGroup",
        "goodsTabId",    "oriPrice",  "price",     "unitPrice",     "unitTime",
        "unlimitedNums", "transNums", "badge",     "features"};
    for (const char* key : kRequired) {
        r.Require(key);
    }
    std::string text;
    int number = 0, unlimited = 0;
    double price = 0, other = 0;
    r.Int("goodsId", g.goodsId, 0, kMaxInt);
    r.String("goodsName", g.goodsName, 256);
    r.String("goodsDesc", text, 1024);
    r.Int("goodsCategory", g.goodsCategory, 0, 1000);
    r.Int("goodsGroup", number, 0, kMaxInt);
    r.Int("goodsTabId", g.goodsTabId, kTabMembership, kTabPack);
    r.Number("oriPrice", other, 0, kMaxPrice);
    r.Number("price", price, 0.01, kMaxPrice);
    r.Number("unitPrice", other, 0, kMaxPrice);
    r.String("unitTime", text, 64);
    r.Int("unlimitedNums", unlimited, 0, 1);
    r.Int("transNums", g.transNums, 0, kMaxInt);
    r.String("badge", text, 64);
    r.Int("durationDays", g.durationDays, 0, 36500);
    const nlohmann::json* features = r.Any("features");
    if (!r.Finish()) {
        return false;
    }
    if (!features->is_array()) {
        error = path + ".features must be an array";
        return false;
    }
    for (std::size_t i = 0; i < features->size(); ++i) {
        if (!ReadFeature((*features)[i], path + ".features[" + std::to_string(i) + "]", error)) {
            return false;
        }
    }
    g.unlimited = unlimited == 1;
    g.priceFen = std::llround(price * 100);
    if (g.goodsTabId == kTabMembership && g.durationDays == 0) {
        error = path + " is a membership (goodsTabId 1) and needs durationDays";
        return false;
    }
    if (g.goodsTabId == kTabPack && (g.durationDays != 0 || g.transNums == 0 || g.unlimited)) {
        error = path +
                " is a translation pack (goodsTabId 2): transNums above 0, no "
                "durationDays, unlimitedNums 0";
        return false;
    }
    return true;
}

}  // namespace

bool Catalogue::Load(const std::string& jsonText, std::string& error) {
    const nlohmann::json doc = nlohmann::json::parse(jsonText, nullptr, false);
    if (doc.is_discarded()) {
        error = "the goods file is not valid JSON";
        return false;
    }
    JsonReader r(doc, "", error);
    r.Require("goods");
    const nlohmann::json* list = r.Any("goods");
    if (!r.Finish()) {
        return false;
    }
    if (!list->is_array() || list->empty()) {
        error = "goods must be a non-empty array";
        return false;
    }
    std::map<int, Good> goods;
    nlohmann::json answer = nlohmann::json::array();
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string path = "goods[" + std::to_string(i) + "]";
        Good g;
        if (!ReadGood((*list)[i], path, g, error)) {
            return false;
        }
        if (!goods.emplace(g.goodsId, g).second) {
            error = path + ".goodsId " + std::to_string(g.goodsId) + " is used twice";
            return false;
        }
        nlohmann::json shown = (*list)[i];
        shown.erase("durationDays");  // the back-end's own
        answer.push_back(std::move(shown));
    }
    goods_ = std::move(goods);
    listData_ = nlohmann::json{{"goods", answer}}.dump();
    return true;
}

const Good* Catalogue::Find(int goodsId) const {
    const auto it = goods_.find(goodsId);
    return it == goods_.end() ? nullptr : &it->second;
}

}  // namespace backend
