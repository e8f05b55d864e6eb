#include "article_id.h"

#include "leading_integer.h"

namespace vela {

ArticleId::ArticleId(int64_t value) : text_(std::to_string(value)) {}

ArticleId ArticleId::Read(std::string_view gbk, bool* isNumber) {
    ArticleId id;
    id.text_ = LeadingNumberText(gbk, isNumber);
    return id;
}

std::strong_ordering operator<=>(const ArticleId& a, const ArticleId& b) {
    const bool aNegative = a.text_.front() == '-';
    const bool bNegative = b.text_.front() == '-';
    if (aNegative != bNegative)
        return aNegative ? std::strong_ordering::less : std::strong_ordering::greater;
    // Digits without leading zeros: the longer number is the greater magnitude.
    std::strong_ordering magnitude = a.text_.size() <=> b.text_.size();
    if (magnitude == 0) magnitude = a.text_.compare(b.text_) <=> 0;
    return aNegative ? 0 <=> magnitude : magnitude;
}

}  // namespace vela
