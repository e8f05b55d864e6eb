#include "page_regex.h"

#include <exception>

namespace vela {

bool PageRegex::CompilePattern(const std::string& pattern, bool caseSensitive) {
    regex_.reset();
    compileError_.clear();
    try {
        boost::regex::flag_type flags = boost::regex::perl;
        if (!caseSensitive) flags |= boost::regex::icase;
        regex_.emplace(pattern, flags);
        return true;
    } catch (const std::exception& e) {
        regex_.reset();
        compileError_ = e.what();
        // A failure without words of its own still reads as one.
        if (compileError_.empty()) compileError_ = "the pattern does not compile";
        return false;
    }
}

int PageRegex::CaptureGroupCount() const {
    // Boost 1.74's mark_count() counts the capturing groups only, not group 0.
    return regex_ ? static_cast<int>(regex_->mark_count()) : 0;
}

std::vector<MatchRecord> PageRegex::FindAllMatches(const std::string& text) const {
    return FindMatchesUntil(text, {});
}

std::vector<MatchRecord> PageRegex::FindMatchesUntil(
    const std::string& text, const std::function<bool(const MatchRecord&)>& last) const {
    std::vector<MatchRecord> matches;
    if (!regex_ || text.empty()) return matches;
    const auto begin = text.begin();
    auto position = begin;
    boost::smatch found;
    try {
        // Without match_prev_avail each search sees its start as the text's start.
        while (boost::regex_search(position, text.end(), found, *regex_, boost::match_default)) {
            const auto base = position - begin;
            MatchRecord record(found.size());
            for (size_t k = 0; k < found.size(); ++k) {
                record[k].matched = found[k].matched;
                if (found[k].matched) {
                    record[k].start = static_cast<int32_t>(base + found.position(k));
                    record[k].length = static_cast<int32_t>(found.length(k));
                }
            }
            matches.push_back(std::move(record));
            if (found.length(0) == 0 || (last && last(matches.back()))) break;
            position = found[0].second;
        }
    } catch (const std::exception&) {
        // Matching gave up (complexity or memory limit): keep what was found.
    }
    return matches;
}

std::string SubMatchText(const MatchRecord& match, const std::string& text, int k) {
    if (k < 0 || k >= static_cast<int>(match.size())) return {};
    const SubMatch& group = match[k];
    if (!group.matched || group.length < 1 || group.start < 0) return {};
    size_t start = static_cast<size_t>(group.start);
    if (start >= text.size()) return {};
    return text.substr(start, static_cast<size_t>(group.length));
}

}  // namespace vela
