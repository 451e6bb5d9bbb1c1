#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace backend {

// One good of the catalogue, as the purchase window reads it, plus what the back-end needs to
// apply it once paid.
struct Good {
    int goodsId = 0;
    std::string goodsName;
    int goodsCategory = 0;  // 2: Alipay only
    int goodsTabId = 0;     // 1 membership, 2 translation pack
    bool unlimited = false;
    int transNums = 0;
    int durationDays = 0;  // memberships
    std::int64_t priceFen = 0;
};

inline constexpr int kTabMembership = 1;
inline constexpr int kTabPack = 2;
inline constexpr int kCategoryAlipayOnly = 2;

// The goods file: {"goods": [...]} with every member the program reads for each good, and
// "durationDays" for memberships. Loaded once; the "/goods/list" answer is prepared here.
class Catalogue {
public:
    // False with a message naming the first bad good or member.
    bool Load(const std::string& jsonText, std::string& error);

    const Good* Find(int goodsId) const;
    // The "data" member of the "/goods/list" answer, serialised.
    const std::string& ListData() const { return listData_; }
    std::size_t Size() const { return goods_.size(); }

private:
    std::map<int, Good> goods_;
    std::string listData_;
};

}  // namespace backend
