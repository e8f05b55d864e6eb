#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/scheme_fields.h"

namespace vela {

// The keywords of one list (SchemeFields::include or exclude), one per line: the
// lines as keywords, a CR before the LF dropped. An empty line between keywords
// is no keyword; a line of blanks alone is (and is refused).
std::vector<std::string> KeywordLines(const std::string& lines);

// What is wrong with one keyword (GBK): empty, a /.../ pattern that does not
// compile, or one that could run away on a long title. A UTF-8 message naming
// the keyword; empty when it is fine.
std::string KeywordProblem(const std::string& keyword);

// The first problem of a list of keywords, empty when there is none.
std::string KeywordListProblem(const std::string& lines);

// Which titles a scheme keeps. A plain keyword is found anywhere in the title,
// ASCII case and full-width/half-width forms not told apart, and only where a
// GBK character starts; a /.../ keyword is a regular expression over the title.
// A title is kept when it holds an include keyword (or there is none) and no
// exclude keyword.
class KeywordFilter {
public:
    KeywordFilter();  // keeps every title
    explicit KeywordFilter(const SchemeFields& fields);
    ~KeywordFilter();
    KeywordFilter(KeywordFilter&&) noexcept;
    KeywordFilter& operator=(KeywordFilter&&) noexcept;

    // True when some keyword is set: otherwise Keeps is always true.
    bool Active() const;
    // The first keyword that cannot be used (UTF-8, as KeywordProblem says it);
    // a filter with a problem keeps no title.
    const std::string& Problem() const;
    // Whether an article titled `title` (GBK, as it is recorded) is kept.
    bool Keeps(std::string_view title) const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
    std::string problem_;
};

}  // namespace vela
