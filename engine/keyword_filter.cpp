#include "keyword_filter.h"

#include <algorithm>
#include <cstdint>
#include <memory>

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
    KeywordUnits units;
    std::shared_ptr<const KeywordRegex> regex;
};

// Checks `keyword` and makes it ready; the problem, empty when there is none.
std::string Prepare(const std::string& keyword, PreparedKeyword& prepared) {
    if (IsRegexKeyword(keyword)) {
        const std::string_view pattern = std::string_view(keyword).substr(1, keyword.size() - 2);
        if (pattern.empty()) return Named(keyword, "the regular expression is empty");
        CheckedKeywordRegex checked = CheckKeywordRegex(pattern);
        if (!checked.regex) {
            return Named(keyword, "the regular expression does not compile: " +
                                      GbkTextToUtf8(checked.error));
        }
        if (checked.runsAway) {
            return Named(keyword, "the regular expression could run away on a long title");
        }
        prepared.regex = std::move(checked.regex);
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
    // What a needle of the automaton stands for: a plain keyword, or one of the
    // runs of characters that every match of an expression holds.
    enum class Kind : std::uint8_t { Include, Exclude, Required };
    struct Needle {
        Kind kind;
        std::uint32_t regex = 0;  // Required: the expression's place in `regexes`
        std::uint8_t run = 0;     // and which of its runs
    };
    struct Expression {
        std::shared_ptr<const KeywordRegex> regex;
        bool exclude = false;
        // The runs a title must hold before the expression is searched: all of them.
        std::uint8_t runs = 0;
    };

    void Add(PreparedKeyword&& keyword, bool exclude) {
        hasInclude = hasInclude || !exclude;
        hasExclude = hasExclude || exclude;
        if (!keyword.regex) {
            automaton.Add(keyword.units);
            needles.push_back({exclude ? Kind::Exclude : Kind::Include});
            return;
        }
        const auto number = static_cast<std::uint32_t>(regexes.size());
        Expression& e = regexes.emplace_back();
        e.exclude = exclude;
        for (const KeywordUnits& run : keyword.regex->RequiredRuns()) {
            automaton.Add(run);
            needles.push_back({Kind::Required, number, e.runs++});
        }
        e.regex = std::move(keyword.regex);
    }

    KeywordAutomaton automaton;
    std::vector<Needle> needles;  // by the automaton's needle number
    std::vector<Expression> regexes;
    bool hasInclude = false;
    bool hasExclude = false;
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

    // The title's folded units, for the expressions; most titles fit on the stack.
    constexpr std::size_t kOnStack = 512;
    KeywordUnit onStack[kOnStack];
    KeywordUnits onHeap(title.size() > kOnStack ? title.size() : 0, 0);
    KeywordUnit* const units = onHeap.empty() ? onStack : onHeap.data();

    // Which of each expression's runs the title holds, a bit per run.
    static_assert(kMostRequiredRuns <= 8);
    constexpr std::size_t kHeldOnStack = 64;
    std::uint8_t heldOnStack[kHeldOnStack] = {};
    std::vector<std::uint8_t> heldOnHeap(c.regexes.size() > kHeldOnStack ? c.regexes.size() : 0);
    std::uint8_t* const held = heldOnHeap.empty() ? heldOnStack : heldOnHeap.data();

    bool included = !c.hasInclude, excluded = false;
    const std::size_t size = c.automaton.Scan(title, units, [&](std::size_t needle) {
        const Compiled::Needle& n = c.needles[needle];
        switch (n.kind) {
            case Compiled::Kind::Include:
                included = true;
                // Nothing can drop the title any more.
                if (!c.hasExclude) return false;
                break;
            case Compiled::Kind::Exclude:
                excluded = true;
                return false;
            case Compiled::Kind::Required:
                held[n.regex] |= static_cast<std::uint8_t>(1u << n.run);
                break;
        }
        return true;
    });
    // A scan cut short has decided: the rest of the units are not needed.
    if (excluded) return false;
    if (included && !c.hasExclude) return true;
    const auto found = [&](std::size_t r) {
        const Compiled::Expression& e = c.regexes[r];
        return held[r] == static_cast<std::uint8_t>((1u << e.runs) - 1) &&
               e.regex->Search(units, size);
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
