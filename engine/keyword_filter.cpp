#include "keyword_filter.h"

#include <algorithm>
#include <cstdint>

#include "fetch/encoding.h"
#include "keyword_automaton.h"
#include "keyword_regex.h"
#include "keyword_text.h"

namespace vela {
namespace {

bool IsRegexKeyword(std::string_view keyword) {
    return keyword.size() >= 2 && keyword.front() == '/' && keyword.back() == '/';
}

bool IsBlankUnits(const KeywordUnits& units) {
    return std::all_of(units.begin(), units.end(),
                       [](KeywordUnit u) { return u == ' ' || u == '\t' || u == '\r'; });
}

std::string Named(const std::string& keyword, const std::string& problem) {
    return "keyword \"" + GbkTextToUtf8(keyword) + "\": " + problem;
}

// One keyword made ready for matching: its folded units, or its expression.
struct PreparedKeyword {
    bool isRegex = false;
    KeywordUnits units;
    KeywordRegex regex;
};

// Checks `keyword` and makes it ready; the problem, empty when there is none.
std::string Prepare(const std::string& keyword, PreparedKeyword& prepared) {
    if (IsRegexKeyword(keyword)) {
        prepared.isRegex = true;
        const std::string_view pattern = std::string_view(keyword).substr(1, keyword.size() - 2);
        if (pattern.empty()) return Named(keyword, "the regular expression is empty");
        std::string error;
        if (!prepared.regex.Compile(pattern, error)) {
            return Named(keyword,
                         "the regular expression does not compile: " + GbkTextToUtf8(error));
        }
        if (prepared.regex.RunsAway()) {
            return Named(keyword, "the regular expression could run away on a long title");
        }
        return {};
    }
    prepared.units = FoldedUnits(keyword);
    if (IsBlankUnits(prepared.units)) {
        return Named(keyword, "a keyword cannot be empty or only blanks");
    }
    return {};
}

}  // namespace

struct KeywordFilter::Compiled {
    // What a needle of the automaton stands for: a plain keyword, or the run of
    // characters that every match of an expression holds.
    enum class Kind : std::uint8_t { Include, Exclude, Required };
    struct Needle {
        Kind kind;
        std::size_t regex = 0;  // Required: the expression's place in `regexes`
    };
    struct Expression {
        KeywordRegex regex;
        bool exclude = false;
        bool required = false;  // found only in titles that hold its needle
    };

    void Add(PreparedKeyword&& keyword, bool exclude) {
        hasInclude = hasInclude || !exclude;
        if (!keyword.isRegex) {
            automaton.Add(keyword.units);
            needles.push_back({exclude ? Kind::Exclude : Kind::Include});
            return;
        }
        Expression& e = regexes.emplace_back();
        e.exclude = exclude;
        e.required = !keyword.regex.RequiredUnits().empty();
        if (e.required) {
            automaton.Add(keyword.regex.RequiredUnits());
            needles.push_back({Kind::Required, regexes.size() - 1});
        }
        e.regex = std::move(keyword.regex);
    }

    KeywordAutomaton automaton;
    std::vector<Needle> needles;  // by the automaton's needle number
    std::vector<Expression> regexes;
    bool hasInclude = false;
};

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

std::string KeywordProblem(const std::string& keyword) {
    PreparedKeyword prepared;
    return Prepare(keyword, prepared);
}

std::string KeywordListProblem(const std::string& lines) {
    for (const std::string& keyword : KeywordLines(lines)) {
        std::string problem = KeywordProblem(keyword);
        if (!problem.empty()) return problem;
    }
    return {};
}

KeywordFilter::KeywordFilter() = default;

KeywordFilter::KeywordFilter(const SchemeFields& fields) {
    const std::vector<std::string> include = KeywordLines(fields.include);
    const std::vector<std::string> exclude = KeywordLines(fields.exclude);
    if (include.empty() && exclude.empty()) return;
    compiled_ = std::make_unique<Compiled>();
    for (const auto& [keywords, excluding] : {std::pair{&include, false}, {&exclude, true}}) {
        for (const std::string& keyword : *keywords) {
            PreparedKeyword prepared;
            problem_ = Prepare(keyword, prepared);
            if (!problem_.empty()) return;
            compiled_->Add(std::move(prepared), excluding);
        }
    }
    compiled_->automaton.Build();
}

KeywordFilter::~KeywordFilter() = default;
KeywordFilter::KeywordFilter(KeywordFilter&&) noexcept = default;
KeywordFilter& KeywordFilter::operator=(KeywordFilter&&) noexcept = default;

bool KeywordFilter::Active() const { return compiled_ != nullptr; }

const std::string& KeywordFilter::Problem() const { return problem_; }

bool KeywordFilter::Keeps(std::string_view title) const {
    if (!problem_.empty()) return false;
    if (!compiled_) return true;
    const Compiled& c = *compiled_;

    // The title's folded units; most titles fit on the stack.
    constexpr std::size_t kOnStack = 512;
    KeywordUnit onStack[kOnStack];
    KeywordUnits onHeap;
    KeywordUnit* units = onStack;
    std::size_t size = 0;
    if (title.size() > kOnStack) {
        onHeap = FoldedUnits(title);
        units = onHeap.data();
        size = onHeap.size();
    } else {
        for (std::size_t pos = 0, length = 0; pos < title.size(); pos += length) {
            units[size++] = FoldedUnitAt(title, pos, length);
        }
    }

    // Which expressions' needles the title holds.
    constexpr std::size_t kFlagsOnStack = 64;
    bool flagsOnStack[kFlagsOnStack] = {};
    std::vector<bool> flagsOnHeap(c.regexes.size() > kFlagsOnStack ? c.regexes.size() : 0);
    const auto hold = [&](std::size_t r) {
        if (r < kFlagsOnStack) {
            flagsOnStack[r] = true;
        } else {
            flagsOnHeap[r] = true;
        }
    };
    const auto holds = [&](std::size_t r) {
        return r < kFlagsOnStack ? flagsOnStack[r] : static_cast<bool>(flagsOnHeap[r]);
    };

    bool included = !c.hasInclude, excluded = false;
    c.automaton.Scan(units, size, [&](std::size_t needle) {
        switch (c.needles[needle].kind) {
            case Compiled::Kind::Include:
                included = true;
                break;
            case Compiled::Kind::Exclude:
                excluded = true;
                return false;
            case Compiled::Kind::Required:
                hold(c.needles[needle].regex);
                break;
        }
        return true;
    });
    if (excluded) return false;
    const auto found = [&](std::size_t r) {
        const Compiled::Expression& e = c.regexes[r];
        return (!e.required || holds(r)) && e.regex.Search(units, size);
    };
    for (std::size_t r = 0; r < c.regexes.size(); ++r) {
        if (c.regexes[r].exclude && found(r)) return false;
    }
    for (std::size_t r = 0; r < c.regexes.size() && !included; ++r) {
        if (!c.regexes[r].exclude && found(r)) included = true;
    }
    return included;
}

}  // namespace vela
