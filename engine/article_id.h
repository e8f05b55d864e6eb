#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace vela {

// An article id of the CompareArticleId judgement, as a number of any length:
// some sites number their articles beyond 64 bits. Read from a cell or a page as
// LeadingInteger reads a cell (blanks, a sign, full-width digits, leading zeros
// and whatever follows the digits), so every id that fits in 63 bits means what it
// always meant, and compared as numbers: by sign, then by count of digits, then
// digit by digit.
class ArticleId {
public:
    ArticleId() = default;  // 0
    ArticleId(int64_t value);

    // The id a text starts with; 0 when it does not start with a number.
    static ArticleId Read(std::string_view gbk, bool* isNumber = nullptr);

    // In decimal, as stored: "-" for an id below zero, no leading zero.
    std::string Text() const { return digits_.empty() ? "0" : digits_; }

    friend bool operator==(const ArticleId& a, const ArticleId& b) {
        return a.digits_ == b.digits_;
    }
    friend std::strong_ordering operator<=>(const ArticleId& a, const ArticleId& b);

private:
    // Text() without the "0" of zero, which is empty: every article of a page
    // carries an id, and one of zero then costs nothing to make or move.
    std::string digits_;
};

}  // namespace vela
