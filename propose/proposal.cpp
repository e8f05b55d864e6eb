#include "proposal.h"

#include <algorithm>
#include <set>

#include "engine/record_plan.h"
#include "engine/scheme_run.h"
#include "fetch/encoding.h"
#include "fetch/readable_text.h"
#include "fetch/utf8_decode.h"
#include "html_tree.h"
#include "link_resolve.h"
#include "list_finder.h"
#include "fetch/page_charset.h"
#include "page_text.h"
#include "scheme_maker.h"

namespace vela {
namespace {

// A run's report that keeps nothing: the candidates' checks say nothing.
class QuietReport : public RunReport {
public:
    bool Stopped() override { return false; }
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert&, const std::string&) override {}
    void Pause(int) override {}
};

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        if (!c.valid) return false;
        i += c.length;
    }
    return true;
}

// The page's title, for the scheme's name (GBK).
std::string PageTitle(const HtmlTree& tree) {
    for (const HtmlNode& node : tree.nodes()) {
        if (tree.TagName(node) != "title") continue;
        std::string title = ReadableText(tree.Source(node));
        if (DisplayWidth(title) <= 40) return title;
        std::size_t cut = 0;
        while (cut < title.size() && DisplayWidth(std::string_view(title).substr(0, cut)) < 36) {
            cut += static_cast<unsigned char>(title[cut]) >= 0x80 ? 2 : 1;
        }
        return title.substr(0, std::min(cut, title.size()));
    }
    return {};
}

// A recorded title as the database holds it: the record plan doubled its
// apostrophes for the statement's literal.
std::string AsStored(std::string_view title) {
    std::string stored;
    stored.reserve(title.size());
    for (std::size_t i = 0; i < title.size(); ++i) {
        stored += title[i];
        if (title[i] == '\'' && i + 1 < title.size() && title[i + 1] == '\'') ++i;
    }
    return stored;
}

// Every match of a run as a first run in NewestFirst records it, in page order.
RecordPlan PageOrderPlan(const Scheme& scheme, const SchemeRun& run) {
    Scheme pageOrder = scheme;
    pageOrder.type = static_cast<int32_t>(JudgeMode::NewestFirst);
    RecordPlan plan = PlanRecords(pageOrder, run.region, run.matches);
    std::reverse(plan.inserts.begin(), plan.inserts.end());  // newest (first) was last
    return plan;
}

// Whether the engine's records are the list the finder saw: as many, and nearly
// all of them the same titles and links (a link the template cannot compose, one
// relative address among absolute ones, may differ).
bool Reproduces(const std::vector<ExpectedItem>& expected, const SchemeRun& run,
                const RecordPlan& plan) {
    if (!run.patternError.empty() || plan.inserts.size() != expected.size()) return false;
    std::size_t misses = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const ArticleInsert& article = plan.inserts[k];
        misses += ReadableText(article.marker) == expected[k].title ? 0 : 1;
        misses += article.link == expected[k].link ? 0 : 1;
    }
    return misses * 10 <= expected.size();
}

// The items as the engine records them on a first run, in page order: titles as
// stored, links as composed, each one the judgement mode stores (an id mode
// stores an article listed twice once, and no article without an id).
std::vector<ProposedItem> RecordedItems(const Scheme& scheme, const SchemeRun& run,
                                        const RecordPlan& pageOrder) {
    const bool newestFirst = ToJudgeMode(scheme.type) == JudgeMode::NewestFirst;
    std::multiset<std::pair<std::string_view, std::string_view>> stored;
    RecordPlan own;
    if (!newestFirst) {
        own = PlanRecords(scheme, run.region, run.matches);
        for (const ArticleInsert& article : own.inserts) {
            stored.emplace(article.title, article.link);
        }
    }
    std::vector<ProposedItem> items;
    items.reserve(pageOrder.inserts.size());
    for (const ArticleInsert& article : pageOrder.inserts) {
        if (!newestFirst) {
            const auto kept = stored.find({article.title, article.link});
            if (kept == stored.end()) continue;
            stored.erase(kept);
        }
        items.push_back({AsStored(article.title), std::string(article.link)});
    }
    return items;
}

}  // namespace

Proposal ProposeSchemes(const ProposeInput& input) {
    Proposal proposal;
    proposal.gbk = input.encoding == PageEncoding::kDetect
                       ? PageIsGbk(input.contentType, input.page)
                       : input.encoding == PageEncoding::kGbk;
    // The engine's text of the page: what its markers and pattern meet.
    const std::string text =
        RemoveCrLf(proposal.gbk ? BytesToText(input.page) : Utf8ToGbk(input.page));
    const HtmlTree tree(text);
    if (tree.failed()) {
        proposal.error = "the page could not be parsed";
        return proposal;
    }

    const std::string address = IsUtf8(input.url) ? Utf8ToGbk(input.url) : input.url;
    std::string base = ResolveLink(address, "");
    if (!tree.baseHref().empty()) {
        base = ResolveLink(base, DecodedReferences(tree.Slice(tree.baseHref())));
    }
    if (base.rfind("http", 0) != 0) base.clear();  // no address to resolve against
    const std::string name = PageTitle(tree);

    const std::size_t wanted = std::max<std::size_t>(input.maxCandidates, 1);
    const std::vector<FoundList> lists = FindLists(tree, 3 * wanted + 4);
    double best = 0;
    for (const FoundList& list : lists) {
        if (proposal.candidates.size() >= wanted) break;
        // The pattern's context is markup alone unless that finds other links too.
        for (const bool textInContext : {false, true}) {
            Candidate candidate;
            Scheme& scheme = candidate.scheme;
            std::vector<ExpectedItem> expected;
            if (!MakeScheme(tree, list, base, scheme, expected, textInContext)) break;
            scheme.id = "0";
            scheme.name = name.empty() ? address : name;
            scheme.url = address;
            scheme.gbk = proposal.gbk;
            scheme.cookie = input.cookie;
            scheme.userAgent = input.userAgent.empty() ? kDefaultUserAgent : input.userAgent;

            // The engine's own rule test on the page's text (the text a GBK scheme
            // reads from these bytes is the text itself).
            Scheme onText = scheme;
            onText.gbk = true;
            QuietReport quiet;
            const SchemeRun run = TestSchemeOnPage(onText, text, quiet);
            const RecordPlan pageOrder = PageOrderPlan(scheme, run);
            if (!Reproduces(expected, run, pageOrder)) continue;
            candidate.items = RecordedItems(scheme, run, pageOrder);
            if (candidate.items.empty()) break;
            // Two lists of the page that record the same articles are one offer.
            const auto same = [&candidate](const Candidate& other) {
                return std::equal(other.items.begin(), other.items.end(), candidate.items.begin(),
                                  candidate.items.end(),
                                  [](const ProposedItem& a, const ProposedItem& b) {
                                      return a.title == b.title && a.link == b.link;
                                  });
            };
            if (std::any_of(proposal.candidates.begin(), proposal.candidates.end(), same)) break;
            best = std::max(best, list.score);
            candidate.score = list.score;
            proposal.candidates.push_back(std::move(candidate));
            break;
        }
    }
    // Scores as 0..1: the best list's own strength, the others relative to it.
    for (Candidate& candidate : proposal.candidates) {
        const double strength = best / (best + 1.0);
        candidate.score = best > 0 ? strength * candidate.score / best : 0;
    }
    if (proposal.candidates.empty()) proposal.error = "no list of articles found on the page";
    return proposal;
}

}  // namespace vela
