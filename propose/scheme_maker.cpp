#include "scheme_maker.h"

#include <algorithm>
#include <optional>

#include "fetch/gbk_search.h"
#include "fetch/readable_text.h"
#include "link_resolve.h"
#include "page_text.h"

namespace vela {
namespace {

constexpr std::size_t kMarkerReach = 300;  // how far from the list a marker may start
constexpr std::size_t kContextLength = 120;
constexpr int kContextTags = 3;
constexpr std::size_t kMaxTitleSource = 4000;  // bytes of a title link's content

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

struct RawAttribute {
    std::string name;       // lower case
    std::string_view text;  // the whole attribute as written
    std::string_view value;
    char quote = 0;  // '"', '\'' or 0 when unquoted
};

// The attributes of a start tag as written, in their order.
std::vector<RawAttribute> ReadAttributes(std::string_view tag) {
    std::vector<RawAttribute> attributes;
    std::size_t i = 1;
    while (i < tag.size() && !IsBlank(tag[i]) && tag[i] != '>' && tag[i] != '/') ++i;
    while (i < tag.size() && attributes.size() < 64) {
        while (i < tag.size() && (IsBlank(tag[i]) || tag[i] == '/')) ++i;
        if (i >= tag.size() || tag[i] == '>') break;
        const std::size_t start = i;
        RawAttribute attribute;
        while (i < tag.size() && !IsBlank(tag[i]) && tag[i] != '=' && tag[i] != '>' &&
               tag[i] != '/') {
            attribute.name += Lower(tag[i++]);
        }
        if (i == start) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < tag.size() && IsBlank(tag[j])) ++j;
        if (j < tag.size() && tag[j] == '=') {
            ++j;
            while (j < tag.size() && IsBlank(tag[j])) ++j;
            if (j < tag.size() && (tag[j] == '"' || tag[j] == '\'')) {
                attribute.quote = tag[j];
                const std::size_t close = tag.find(tag[j], j + 1);
                const std::size_t stop = close == std::string_view::npos ? tag.size() : close;
                attribute.value = tag.substr(j + 1, stop - j - 1);
                i = close == std::string_view::npos ? tag.size() : close + 1;
            } else {
                const std::size_t from = j;
                while (j < tag.size() && !IsBlank(tag[j]) && tag[j] != '>') ++j;
                attribute.value = tag.substr(from, j - from);
                i = j;
            }
        }
        attribute.text = tag.substr(start, i - start);
        attributes.push_back(std::move(attribute));
    }
    return attributes;
}

const RawAttribute* FindAttribute(const std::vector<RawAttribute>& attributes,
                                  std::string_view name) {
    for (const RawAttribute& a : attributes) {
        if (a.name == name) return &a;
    }
    return nullptr;
}

// A literal of the pattern whose blanks may differ: each run of them is "\s*".
std::string LooseLiteral(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (IsBlank(text[i])) {
            while (i < text.size() && IsBlank(text[i])) ++i;
            out += "\\s*";
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && !IsBlank(text[j])) ++j;
        out += RegexLiteral(text.substr(i, j - i));
        i = j;
    }
    return out;
}

// A link split into the runs of digits and the text between them; the digits of
// a character reference ("&#38;") belong to the text.
struct LinkRuns {
    std::vector<std::string_view> texts;  // texts.size() == digits.size() + 1
    std::vector<std::string_view> digits;
};

LinkRuns SplitRuns(std::string_view link) {
    LinkRuns runs;
    std::size_t textStart = 0, i = 0;
    while (i < link.size()) {
        if (link[i] == '&' && i + 1 < link.size() && link[i + 1] == '#') {
            const std::size_t semicolon = link.find(';', i);
            if (semicolon != std::string_view::npos && semicolon - i <= 10) {
                i = semicolon + 1;
                continue;
            }
        }
        if (static_cast<unsigned char>(link[i]) >= 0x80) {
            i += i + 1 < link.size() ? 2 : 1;
            continue;
        }
        if (!IsDigit(link[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < link.size() && IsDigit(link[j])) ++j;
        runs.texts.push_back(link.substr(textStart, i - textStart));
        runs.digits.push_back(link.substr(i, j - i));
        textStart = i = j;
    }
    runs.texts.push_back(link.substr(textStart));
    return runs;
}

bool NumberLess(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// How the links of the list are matched and composed.
struct LinkPlan {
    std::string regex;  // what stands between the quotes of href
    std::string linkTemplate;
    int groups = 0;   // capturing groups in `regex`
    int idGroup = 0;  // 1-based within `regex`, 0 without an article id
};

std::string Resolved(std::string_view base, std::string_view reference) {
    return base.empty() ? std::string(reference) : ResolveLink(base, reference);
}

// Links that differ only in their numbers: each number a group, the rest of the
// link literal, and the number that tells the articles apart the article id.
std::optional<LinkPlan> NumberedLinks(const std::vector<std::string_view>& hrefs,
                                      std::string_view base) {
    std::vector<LinkRuns> runs;
    runs.reserve(hrefs.size());
    for (const std::string_view href : hrefs) {
        runs.push_back(SplitRuns(href));
        if (runs.back().texts != runs.front().texts) return std::nullopt;
    }
    const LinkRuns& first = runs.front();
    if (first.digits.empty()) return std::nullopt;
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    std::vector<int> groupOf(first.digits.size(), 0);  // the group of each number, 0 for none
    LinkPlan plan;
    std::string literal;  // the link's text up to the next group
    std::string shape;    // the template before it is resolved
    for (std::size_t k = 0; k < first.texts.size(); ++k) {
        if (first.texts[k].find_first_of("[]") != std::string_view::npos) return std::nullopt;
        literal += first.texts[k];
        if (k == first.digits.size()) break;
        // Every number is a group, so that numbers that change later (a date, a
        // page) still match; one inside a word that is the same everywhere
        // ("sid=4f2a") is part of the text.
        bool same = true;
        for (const LinkRuns& r : runs) same &= r.digits[k] == first.digits[k];
        const bool inWord = (!first.texts[k].empty() && isLetter(first.texts[k].back())) ||
                            (!first.texts[k + 1].empty() && isLetter(first.texts[k + 1].front()));
        if (same && inWord) {
            literal += first.digits[k];
            continue;
        }
        plan.regex += RegexLiteral(literal) + "(\\d+)";
        shape += DecodedReferences(literal);
        literal.clear();
        groupOf[k] = ++plan.groups;
        shape += "[" + std::to_string(plan.groups) + "]";
    }
    if (plan.groups == 0) return std::nullopt;
    plan.regex += RegexLiteral(literal);
    shape += DecodedReferences(literal);
    plan.linkTemplate = Resolved(base, shape);

    // The article id: the one number that varies, every link having its own;
    // with several varying, one whose values run steadily up or down the list.
    std::vector<int> varying;
    for (std::size_t d = 0; d < first.digits.size(); ++d) {
        bool varies = false;
        for (const LinkRuns& r : runs) varies |= r.digits[d] != first.digits[d];
        if (varies) varying.push_back(static_cast<int>(d));
    }
    const auto distinct = [&](int d) {
        std::vector<std::string_view> values;
        for (const LinkRuns& r : runs) values.push_back(r.digits[static_cast<std::size_t>(d)]);
        // An id of 0 is never stored: no id group then.
        for (const std::string_view v : values) {
            if (v.find_first_not_of('0') == std::string_view::npos) return false;
        }
        std::sort(values.begin(), values.end(), NumberLess);
        for (std::size_t k = 1; k < values.size(); ++k) {
            if (!NumberLess(values[k - 1], values[k])) return false;
        }
        return true;
    };
    const auto steady = [&](int d) {
        bool down = true, up = true;
        for (std::size_t k = 1; k < runs.size(); ++k) {
            const std::string_view a = runs[k - 1].digits[static_cast<std::size_t>(d)];
            const std::string_view b = runs[k].digits[static_cast<std::size_t>(d)];
            down &= NumberLess(b, a);
            up &= NumberLess(a, b);
        }
        return down || up;
    };
    if (varying.size() == 1 && distinct(varying.front())) {
        plan.idGroup = groupOf[static_cast<std::size_t>(varying.front())];
    } else {
        for (auto it = varying.rbegin(); it != varying.rend(); ++it) {
            if (distinct(*it) && steady(*it)) {
                plan.idGroup = groupOf[static_cast<std::size_t>(*it)];
                break;
            }
        }
    }
    return plan;
}

enum class LinkKind { kAbsolute, kNetwork, kRoot, kQuery, kRelative };

LinkKind KindOf(std::string_view href) {
    if (href.substr(0, 2) == "//") return LinkKind::kNetwork;
    if (!href.empty() && href.front() == '/') return LinkKind::kRoot;
    if (!href.empty() && href.front() == '?') return LinkKind::kQuery;
    for (std::size_t i = 0; i < href.size(); ++i) {
        const char c = href[i];
        if (c == ':' && i > 0) return LinkKind::kAbsolute;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (i > 0 && (IsDigit(c) || c == '+' || c == '-' || c == '.'))))
            break;
    }
    return LinkKind::kRelative;
}

// Any other links: captured whole (split at "&amp;" when every link has as many,
// so the stored link has a plain "&"), after the part all of them begin with.
std::optional<LinkPlan> WholeLinks(const std::vector<std::string_view>& hrefs,
                                   std::string_view base, char quote) {
    std::size_t common = hrefs.front().size();
    for (const std::string_view href : hrefs) {
        std::size_t k = 0;
        while (k < common && k < href.size() && href[k] == hrefs.front()[k]) ++k;
        common = k;
    }
    std::string_view prefix = hrefs.front().substr(0, common);
    std::size_t cut = 0;  // a whole character, no digit, no reference begun
    while (cut < prefix.size() && !IsDigit(prefix[cut]) && prefix[cut] != '&') {
        cut += static_cast<unsigned char>(prefix[cut]) >= 0x80 ? 2 : 1;
    }
    prefix = prefix.substr(0, std::min(cut, prefix.size()));
    if (static_cast<unsigned char>(prefix.empty() ? 0 : prefix.back()) >= 0x80) prefix = {};

    constexpr std::string_view kAmp = "&amp;";
    const auto count = [&](std::string_view href) {
        std::size_t n = 0;
        for (std::size_t at = href.find(kAmp); at != std::string_view::npos;
             at = href.find(kAmp, at + 1))
            ++n;
        return n;
    };
    // Links with different numbers of "&amp;" are captured whole, as they stand.
    std::size_t amps = count(hrefs.front());
    for (const std::string_view href : hrefs) {
        if (count(href) != amps) amps = 0;
    }
    if (amps > 8) amps = 0;

    int kinds[5] = {};
    for (const std::string_view href : hrefs) ++kinds[static_cast<int>(KindOf(href))];
    const auto kind = static_cast<LinkKind>(std::max_element(std::begin(kinds), std::end(kinds)) -
                                            std::begin(kinds));

    const std::string stop = amps > 0 ? "&" : "";
    const std::string rest = quote == 0 ? "[^\\s>" + stop + "]*"
                                        : "[^" + RegexLiteral(std::string(1, quote)) + stop + "]*";
    LinkPlan plan;
    plan.regex = "(" + RegexLiteral(prefix) + rest + ")";
    std::string composed = "[1]";
    for (std::size_t k = 0; k < amps; ++k) {
        plan.regex += "&amp;(" + rest + ")";
        composed += "&[" + std::to_string(k + 2) + "]";
    }
    plan.groups = static_cast<int>(amps) + 1;
    if (base.empty()) {
        plan.linkTemplate = composed;
        return plan;
    }
    std::string lead;  // what comes before the captured link
    switch (kind) {
        case LinkKind::kAbsolute:
            break;
        case LinkKind::kNetwork:
            lead = std::string(base.substr(0, base.find(':') + 1));
            break;
        case LinkKind::kRoot:
            lead = ResolveLink(base, "/");
            lead.pop_back();
            break;
        case LinkKind::kQuery:
            lead = ResolveLink(base, "?");
            lead.pop_back();
            break;
        case LinkKind::kRelative:
            lead = ResolveLink(base, "x");
            lead.pop_back();
            break;
    }
    // A bracket in the page's own address would read as a placeholder.
    if (lead.find_first_of("[]") != std::string::npos) return std::nullopt;
    plan.linkTemplate = lead + composed;
    return plan;
}

// The longest text that ends every one of `texts`, cut to begin at one of its
// last few tags.
std::string_view CommonContext(const std::vector<std::string_view>& texts, bool withText) {
    std::string_view common = texts.front();
    if (common.size() > kContextLength) common = common.substr(common.size() - kContextLength);
    for (const std::string_view text : texts) {
        std::size_t k = 0;
        while (k < common.size() && k < text.size() &&
               common[common.size() - 1 - k] == text[text.size() - 1 - k]) {
            ++k;
        }
        common = common.substr(common.size() - k);
        if (common.empty()) return {};
    }
    // Only markup without digits: a text or a number the records share today (a
    // date, an author) may not be there tomorrow.
    bool inTag = false, inName = false;  // a tag's name may hold a digit (h2)
    std::size_t clean = 0;               // ctx may start at or after this
    for (std::size_t k = 0; k < common.size(); ++k) {
        const char c = common[k];
        if (c == '<') inTag = inName = true;
        if (inName && c != '<' && c != '/' && !IsDigit(c) &&
            !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            inName = false;
        }
        if ((IsDigit(c) && !inName) || (!inTag && !IsBlank(c) && c != '>')) clean = k + 1;
        if (c == '>') inTag = false;
        if (static_cast<unsigned char>(c) >= 0x80) {
            clean = k + 2;
            ++k;
        }
    }
    if (!withText) common = common.substr(std::min(clean, common.size()));
    std::size_t at = std::string_view::npos;
    int tags = 0;
    for (std::size_t k = common.size(); k-- > 0 && tags < kContextTags;) {
        if (common[k] == '<') {
            at = k;
            ++tags;
        }
    }
    if (at == std::string_view::npos) return {};
    common = common.substr(at);
    // Blanks alone tell nothing.
    if (common.find_first_not_of(" \t\n\r\f") == std::string_view::npos) return {};
    return common;
}

bool UsableMarker(std::string_view marker) {
    // A marker's "#引号" stands for a double quote: a page text holding it is no marker.
    return marker.size() >= 3 && GbkFind(marker, "#\xD2\xFD\xBA\xC5") == kNotFound;
}

// A short text that ends at or before `at` and is first found where it stands.
// It begins with a tag; a digit, which may change from one visit to the next,
// ends it early (the rest of the tag belongs to the region then), and only where
// nothing else will do is a marker with digits taken.
std::optional<std::pair<std::size_t, std::string>> BeforeMarker(std::string_view page,
                                                                std::size_t at) {
    std::optional<std::pair<std::size_t, std::string>> withDigits;
    const std::size_t floor = at > kMarkerReach ? at - kMarkerReach : 0;
    for (std::size_t s = at; s-- > floor;) {
        if (page[s] != '<') continue;
        std::string_view whole = page.substr(s, at - s);
        while (!whole.empty() && IsBlank(whole.back())) whole.remove_suffix(1);
        std::string_view marker =
            whole.substr(0, std::min(whole.size(), whole.find_first_of("0123456789")));
        // Cut at a tag's end where that leaves enough.
        if (marker.size() < whole.size()) {
            const std::size_t close = marker.rfind('>');
            if (close != std::string_view::npos && close + 1 >= 6)
                marker = marker.substr(0, close + 1);
        }
        while (!marker.empty() && IsBlank(marker.back())) marker.remove_suffix(1);
        if (marker.size() >= 6 && UsableMarker(marker) && GbkFind(page, marker) == s) {
            return std::make_pair(s, std::string(marker));
        }
        if (!withDigits && UsableMarker(whole) && GbkFind(page, whole) == s) {
            withDigits = std::make_pair(s, std::string(whole));
        }
    }
    return withDigits;
}

// A short text that begins at or after `at` and is the first found after `from`;
// ended early by a digit, as BeforeMarker's.
std::optional<std::string> AfterMarker(std::string_view page, std::size_t from, std::size_t at,
                                       std::size_t reach) {
    while (at < page.size() && IsBlank(page[at])) ++at;
    const auto fits = [&](std::string_view marker) {
        return UsableMarker(marker) && GbkFind(page, marker, from) == at;
    };
    const std::size_t ceiling = std::min(page.size(), at + reach);
    std::size_t r = at;
    for (; r < ceiling && !IsDigit(page[r]); ++r) {
        if (page[r] == '>' && fits(page.substr(at, r + 1 - at))) {
            return std::string(page.substr(at, r + 1 - at));
        }
    }
    if (r < ceiling) {
        std::string_view marker = page.substr(at, r - at);
        while (!marker.empty() && IsBlank(marker.back())) marker.remove_suffix(1);
        if (marker.size() >= 6 && fits(marker)) return std::string(marker);
    }
    for (; r < ceiling; ++r) {
        if (page[r] == '>' && fits(page.substr(at, r + 1 - at))) {
            return std::string(page.substr(at, r + 1 - at));
        }
    }
    return std::nullopt;
}

}  // namespace

std::string RegexLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        switch (c) {
            case '\\':
            case '^':
            case '$':
            case '.':
            case '|':
            case '?':
            case '*':
            case '+':
            case '(':
            case ')':
            case '[':
            case ']':
            case '{':
            case '}':
            case '#':
                out += '\\';
                break;
            default:
                break;
        }
        out += c;
    }
    return out;
}

bool MakeScheme(const HtmlTree& tree, const FoundList& list, std::string_view base, Scheme& scheme,
                std::vector<ExpectedItem>& expected, bool textInContext) {
    const std::string_view page = tree.text();
    const std::size_t count = list.links.size();
    if (count == 0 || list.records.size() != count) return false;

    // The links' start tags, their hrefs and the attributes every one of them shares.
    std::vector<std::vector<RawAttribute>> tags;
    std::vector<std::string_view> hrefs, contexts;
    tags.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const HtmlNode& link = tree[list.links[k]];
        tags.push_back(ReadAttributes(page.substr(link.begin, link.startTagEnd - link.begin)));
        const RawAttribute* href = FindAttribute(tags.back(), "href");
        if (!href || href->value.empty()) return false;
        if (href->quote != FindAttribute(tags.front(), "href")->quote) return false;
        hrefs.push_back(href->value);
        const HtmlNode& record = tree[list.records[k]];
        contexts.push_back(
            page.substr(record.begin, link.begin - std::min(link.begin, record.begin)));
    }
    const char quote = FindAttribute(tags.front(), "href")->quote;

    std::optional<LinkPlan> links = NumberedLinks(hrefs, base);
    if (!links) links = WholeLinks(hrefs, base, quote);
    if (!links) return false;

    // The pattern: the text before the link that every record has, the link's
    // start tag with its shared attributes, the title up to the end tag.
    std::string pattern = LooseLiteral(CommonContext(contexts, textInContext));
    pattern += "<a";
    int shared = 0;
    bool first = true;
    for (const RawAttribute& attribute : tags.front()) {
        const bool isHref = attribute.name == "href";
        if (!isHref) {
            if ((attribute.name != "class" && attribute.name != "rel" &&
                 attribute.name != "target") ||
                shared == 2)
                continue;
            bool everywhere = true;
            for (const std::vector<RawAttribute>& tag : tags) {
                const RawAttribute* same = FindAttribute(tag, attribute.name);
                everywhere &= same && same->text == attribute.text;
            }
            if (!everywhere) continue;
            ++shared;
        }
        // Another attribute may stand before this one: then a blank ends it.
        pattern += first ? "\\s(?:[^>]*?\\s)?" : "(?:\\s[^>]*?)?\\s";
        first = false;
        if (isHref) {
            pattern += "href\\s*=\\s*";
            const std::string q = quote ? RegexLiteral(std::string(1, quote)) : "";
            pattern += q + links->regex + (quote ? q : "(?=[\\s>])");
        } else {
            pattern += LooseLiteral(attribute.text);
        }
    }
    // The rest of the tag, whatever it holds.
    // The title is bounded: a link left open must not make each search run to
    // the region's end.
    pattern += "[^>]*>([\\s\\S]{0," + std::to_string(kMaxTitleSource) + "}?)</a\\s*>()";

    scheme.pattern = std::move(pattern);
    scheme.linkTemplate = links->linkTemplate;
    scheme.titleGroup = links->groups + 1;
    scheme.otherGroup = links->groups + 2;
    scheme.idGroup = links->idGroup;
    scheme.type = static_cast<int32_t>(links->idGroup > 0 ? JudgeMode::CompareArticleId
                                                          : JudgeMode::NewestFirst);

    // The region: from just before the first record to just after the last.
    // Without a marker before it, the region starts with the page; without one
    // close after it, a longer one further on will do.
    const auto before = BeforeMarker(page, tree[list.records.front()].begin);
    const std::size_t regionStart = before ? before->first + before->second.size() : 0;
    auto after = AfterMarker(page, regionStart, tree[list.records.back()].end, kMarkerReach);
    if (!after)
        after = AfterMarker(page, regionStart, tree[list.records.back()].end, 16 * kMarkerReach);
    if (!after) return false;
    scheme.before = before ? before->second : std::string();
    scheme.after = *after;

    // What the list holds, as a person reads it.
    for (std::size_t k = 0; k < count; ++k) {
        if (LinkContent(tree, list.links[k]).size() > kMaxTitleSource) return false;
    }
    expected.clear();
    expected.reserve(count);
    bool markup = false;
    for (std::size_t k = 0; k < count; ++k) {
        const std::string_view content = LinkContent(tree, list.links[k]);
        markup |= NeedsReading(content);
        std::string_view href = hrefs[k];
        while (!href.empty() && IsBlank(href.front())) href.remove_prefix(1);
        while (!href.empty() && IsBlank(href.back())) href.remove_suffix(1);
        expected.push_back({ReadableText(content), Resolved(base, DecodedReferences(href))});
    }
    scheme.fields.cleanTitles = markup;
    return true;
}

}  // namespace vela
