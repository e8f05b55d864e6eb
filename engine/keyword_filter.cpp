#include "keyword_filter.h"

namespace vela {

// Placeholder until the matcher lands: keeps every title.
struct KeywordFilter::Compiled {};

std::vector<std::string> KeywordLines(const std::string& lines) {
    std::vector<std::string> keywords;
    std::size_t start = 0;
    while (start <= lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        std::string line = lines.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) keywords.push_back(std::move(line));
        start = end + 1;
    }
    return keywords;
}

std::string KeywordProblem(const std::string&) { return {}; }
std::string KeywordListProblem(const std::string&) { return {}; }

KeywordFilter::KeywordFilter() = default;
KeywordFilter::KeywordFilter(const SchemeFields&) {}
KeywordFilter::~KeywordFilter() = default;
KeywordFilter::KeywordFilter(KeywordFilter&&) noexcept = default;
KeywordFilter& KeywordFilter::operator=(KeywordFilter&&) noexcept = default;
bool KeywordFilter::Active() const { return false; }
const std::string& KeywordFilter::Problem() const { return problem_; }
bool KeywordFilter::Keeps(std::string_view) const { return true; }

}  // namespace vela
