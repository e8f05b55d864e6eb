#include "keyword_regex.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "fetch/gbk_search.h"

namespace vela {
namespace {

bool IsAsciiLetter(KeywordUnit c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(KeywordUnit c) { return c >= '0' && c <= '9'; }
KeywordUnit Lower(KeywordUnit c) {
    return c >= 'A' && c <= 'Z' ? static_cast<KeywordUnit>(c + ('a' - 'A')) : c;
}

// The ASCII characters that a backslash makes plain in Boost's perl syntax. Not
// "<", ">", "'" and "`", which are assertions there, nor letters and digits.
bool IsQuotedLiteral(KeywordUnit c) {
    return c > 0 && c < 0x80 && std::strchr(".*+?()[]{}|^$\\/\"-=:#&%@!,;~ ", static_cast<char>(c));
}

bool IsQuantifier(KeywordUnit c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// Escapes that stand for a class or an assertion and take nothing after them.
bool IsPlainEscape(KeywordUnit c) {
    return c > 0 && c < 0x80 && std::strchr("dDwWsSbBAzZGntrfveahHR<>'`", static_cast<char>(c));
}

// The units of an expression between its slashes. A full-width form of ASCII is
// read as what it is in a title: a letter or digit as itself, punctuation as
// that character quoted with a backslash (a literal, never an operator), and an
// ideographic space as a space. After a backslash, and inside \Q...\E quoting,
// nothing is quoted again.
KeywordUnits PatternUnits(std::string_view pattern) {
    KeywordUnits units;
    units.reserve(pattern.size() + 8);
    bool escaped = false, quoting = false;
    for (std::size_t pos = 0, length = 0; pos < pattern.size(); pos += length) {
        length = GbkCharLength(pattern, pos);
        const auto lead = static_cast<unsigned char>(pattern[pos]);
        KeywordUnit unit = lead;
        if (length == 2)
            unit =
                static_cast<KeywordUnit>(lead << 8 | static_cast<unsigned char>(pattern[pos + 1]));
        if (escaped) {
            escaped = false;
            if (unit == 'Q') quoting = true;
            if (unit == 'E') quoting = false;
            units.push_back(unit);
            continue;
        }
        if (unit == '\\') {
            escaped = true;
            units.push_back(unit);
            continue;
        }
        if (unit >= 0xA3A1 && unit <= 0xA3FE) {
            const auto ascii = static_cast<KeywordUnit>(unit - 0xA3A1 + 0x21);
            if (!quoting && IsQuotedLiteral(ascii)) units.push_back('\\');
            units.push_back(ascii);
        } else if (unit == 0xA1A1) {
            units.push_back(' ');
        } else {
            units.push_back(unit);
        }
    }
    return units;
}

// Skips the set that starts at `i` ("[" ... "]"); false when it does not end.
bool SkipSet(const KeywordUnits& p, std::size_t& i) {
    std::size_t j = i + 1;
    if (j < p.size() && p[j] == '^') ++j;
    if (j < p.size() && p[j] == ']') ++j;
    for (;; ++j) {
        if (j >= p.size()) return false;
        if (p[j] == ']') break;
        if (p[j] == '\\') {
            ++j;
        } else if (p[j] == '[' && j + 1 < p.size() &&
                   (p[j + 1] == ':' || p[j + 1] == '.' || p[j + 1] == '=')) {
            const KeywordUnit close[] = {p[j + 1], ']'};
            const auto found = std::search(p.begin() + static_cast<std::ptrdiff_t>(j) + 2, p.end(),
                                           std::begin(close), std::end(close));
            if (found == p.end()) return false;
            j = static_cast<std::size_t>(found - p.begin()) + 1;
        }
    }
    i = j;
    return true;
}

// The longest run of units that every match holds, read from the expression's
// top level: plain characters and quoted punctuation outside groups and sets that
// no quantifier follows. Empty when a bar stands at the top level (a branch need
// not hold it) or the expression holds what this reading does not follow: \Q
// quoting, comments, the x flag, escapes that take arguments.
KeywordUnits RequiredRun(const KeywordUnits& p) {
    KeywordUnits best, run;
    const auto endRun = [&] {
        if (run.size() > best.size()) best = run;
        run.clear();
    };
    int depth = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const KeywordUnit c = p[i];
        const KeywordUnit next = i + 1 < p.size() ? p[i + 1] : 0;
        if (c == '\\') {
            if (depth == 0 && IsQuotedLiteral(next)) {
                if (i + 2 < p.size() && IsQuantifier(p[i + 2])) {
                    endRun();
                } else {
                    run.push_back(next);
                }
            } else if (IsPlainEscape(next)) {
                if (depth == 0) endRun();
            } else if (!IsQuotedLiteral(next)) {
                return {};
            }
            ++i;
        } else if (c == '[') {
            if (!SkipSet(p, i)) return {};
            if (depth == 0) endRun();
        } else if (c == '(') {
            if (next == '?') {
                if (i + 2 < p.size() && p[i + 2] == '#') return {};
                for (std::size_t j = i + 2; j < p.size() && (IsAsciiLetter(p[j]) || p[j] == '-');
                     ++j) {
                    if (p[j] == 'x') return {};
                }
            }
            if (depth++ == 0) endRun();
        } else if (c == ')') {
            if (--depth < 0) return {};
        } else if (depth > 0) {
            continue;
        } else if (c == '|') {
            return {};
        } else if (c == '{') {
            // A repeat count: skipped whole.
            while (i < p.size() && p[i] != '}') ++i;
            if (i == p.size()) return {};
            endRun();
        } else if (c == '.' || c == '^' || c == '$' || IsQuantifier(c)) {
            endRun();
        } else if (IsQuantifier(next)) {
            endRun();
        } else {
            run.push_back(Lower(c));
        }
    }
    endRun();
    return best;
}

constexpr std::size_t kProbeLength = 128;
constexpr KeywordUnit kProbeEnd = 0x01;  // a unit no expression is written to expect

}  // namespace

bool KeywordRegex::Compile(std::string_view pattern, std::string& error) {
    regex_.reset();
    required_.clear();
    pattern_ = PatternUnits(pattern);
    try {
        regex_.emplace(pattern_.data(), pattern_.data() + pattern_.size(),
                       boost::regex_constants::perl | boost::regex_constants::icase);
    } catch (const std::exception& e) {
        regex_.reset();
        // Boost's reason, without the expression it quotes after it (the
        // keyword is named anyway, and the quote is of its units).
        error = e.what();
        error = error.substr(0, error.find("  The error occurred"));
        if (error.empty()) error = "it does not compile";
        return false;
    }
    required_ = RequiredRun(pattern_);
    return true;
}

bool KeywordRegex::Search(const KeywordUnit* units, std::size_t size) const {
    if (!regex_) return false;
    try {
        return boost::regex_search(units, units + std::min(size, kKeywordRegexLimit), *regex_,
                                   boost::match_any);
    } catch (const std::exception&) {
        return false;
    }
}

bool KeywordRegex::RunsAway() const {
    if (!regex_) return false;
    // Long runs of one character, or of a few in turn, ending in a character the
    // expression does not expect: what makes nested repeats such as (a+)+$ or
    // (\w+\s?)*$ try every way of splitting the run.
    std::vector<KeywordUnit> own;  // the expression's own letters, digits and characters
    for (const KeywordUnit c : pattern_) {
        const KeywordUnit unit = Lower(c);
        if (own.size() < 8 && (IsAsciiLetter(unit) || IsAsciiDigit(unit) || unit >= 0x80) &&
            std::find(own.begin(), own.end(), unit) == own.end()) {
            own.push_back(unit);
        }
    }
    std::vector<KeywordUnits> probes;
    for (const KeywordUnit c :
         {KeywordUnit('a'), KeywordUnit('0'), KeywordUnit(' '), KeywordUnit(0xD6D0)}) {
        probes.emplace_back(kProbeLength, c);
    }
    for (const KeywordUnit c : own) probes.emplace_back(kProbeLength, c);
    KeywordUnits cycle, words;
    while (!own.empty() && cycle.size() < kProbeLength) cycle.append(own.begin(), own.end());
    while (words.size() < kProbeLength) words += L"ab ";
    probes.push_back(cycle);
    probes.push_back(words);
    for (KeywordUnits& probe : probes) {
        probe.push_back(kProbeEnd);
        try {
            boost::regex_search(probe.data(), probe.data() + probe.size(), *regex_,
                                boost::match_any);
        } catch (const std::exception&) {
            return true;
        }
    }
    return false;
}

}  // namespace vela
