#include "article_id.h"

#include "leading_integer.h"

namespace vela {
namespace {

int Sign(const std::string& digits) {
    if (digits.empty()) return 0;
    return digits.front() == '-' ? -1 : 1;
}

}  // namespace

ArticleId::ArticleId(int64_t value) {
    if (value != 0) digits_ = std::to_string(value);
}

ArticleId ArticleId::Read(std::string_view gbk, bool* isNumber) {
    ArticleId id;
    id.digits_ = LeadingNumberText(gbk, isNumber);
    if (id.digits_ == "0") id.digits_.clear();
    return id;
}

std::strong_ordering operator<=>(const ArticleId& a, const ArticleId& b) {
    const int aSign = Sign(a.digits_);
    const int bSign = Sign(b.digits_);
    if (aSign != bSign || aSign == 0) return aSign <=> bSign;
    // Digits without leading zeros: the longer number is the greater magnitude.
    std::strong_ordering magnitude = a.digits_.size() <=> b.digits_.size();
    if (magnitude == 0) magnitude = a.digits_.compare(b.digits_) <=> 0;
    return aSign < 0 ? 0 <=> magnitude : magnitude;
}

}  // namespace vela
