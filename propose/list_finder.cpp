#include "list_finder.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "fetch/readable_text.h"
#include "page_text.h"

namespace vela {
namespace {

constexpr int kMaxLevels = 6;  // how far above a link its record may start

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
uint64_t Combine(uint64_t a, uint64_t b) { return Mix(a * 31 + b); }

uint64_t HashText(std::string_view text) {
    uint64_t h = 1469598103934665603ull;
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// The hash of a name with every run of digits one "#": normalthread_123 and
// normalthread_456 are one kind of element.
uint64_t UniformHash(std::string_view name) {
    uint64_t h = 1469598103934665603ull;
    bool inDigits = false;
    for (const char c : name) {
        if (IsDigit(c)) {
            if (inDigits) continue;
            inDigits = true;
            h = (h ^ '#') * 1099511628211ull;
            continue;
        }
        inDigits = false;
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

// The element's tag with its id and its classes, in any order, digits uniform.
uint64_t FullSignature(const HtmlTree& tree, const HtmlNode& node) {
    uint64_t h = Mix(node.tag);
    if (!node.id.empty()) h = Combine(h, UniformHash(tree.Slice(node.id)));
    const std::string_view cls = tree.Slice(node.cls);
    uint64_t classes = 0;
    std::size_t i = 0;
    while (i < cls.size()) {
        while (i < cls.size() && (cls[i] == ' ' || cls[i] == '\t' || cls[i] == '\n')) ++i;
        const std::size_t start = i;
        while (i < cls.size() && cls[i] != ' ' && cls[i] != '\t' && cls[i] != '\n') ++i;
        if (i > start) classes += Mix(UniformHash(cls.substr(start, i - start)));
    }
    return classes == 0 ? h : Combine(h, classes);
}

// Words of a name that mark what is not a page's main list.
bool IsAsideWord(std::string_view word) {
    static constexpr std::string_view kPrefixes[] = {
        "nav",   "menu",       "foot",    "side",      "hot",    "rank",   "pag",
        "crumb", "breadcrumb", "related", "recommend", "friend", "banner", "toolbar"};
    for (const std::string_view prefix : kPrefixes) {
        if (word.substr(0, prefix.size()) == prefix) return true;
    }
    return false;
}

bool HasAsideName(std::string_view name) {
    char word[24];
    std::size_t length = 0;
    bool tooLong = false;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && IsAlnum(name[i])) {
            if (length < sizeof word) {
                word[length++] = Lower(name[i]);
            } else {
                tooLong = true;
            }
            continue;
        }
        if (length > 0 && !tooLong && IsAsideWord(std::string_view(word, length))) return true;
        length = 0;
        tooLong = false;
    }
    return false;
}

bool IsAside(const HtmlTree& tree, const HtmlNode& node) {
    if (node.tag == html_tag::kNav || node.tag == html_tag::kHeader ||
        node.tag == html_tag::kFooter || node.tag == html_tag::kAside) {
        return true;
    }
    return HasAsideName(tree.Slice(node.id)) || HasAsideName(tree.Slice(node.cls));
}

bool IsFollowableHref(std::string_view href) {
    std::size_t i = 0;
    while (i < href.size() && (href[i] == ' ' || href[i] == '\t' || href[i] == '\n')) ++i;
    href.remove_prefix(i);
    if (href.empty() || href.front() == '#') return false;
    std::string head;
    for (std::size_t k = 0; k < href.size() && k < 11; ++k) head += Lower(href[k]);
    return head.rfind("javascript:", 0) != 0 && head.rfind("mailto:", 0) != 0 &&
           head.rfind("tel:", 0) != 0;
}

// A link's shape: digit runs, and long runs of letters and digits that hold a
// digit (hashes), each one "#".
uint64_t LinkShape(std::string_view href) {
    std::string shape;
    std::size_t i = 0;
    while (i < href.size()) {
        if (!IsAlnum(href[i])) {
            shape += href[i++];
            continue;
        }
        std::size_t j = i;
        bool digit = false;
        while (j < href.size() && IsAlnum(href[j])) digit |= IsDigit(href[j++]);
        const std::string_view run = href.substr(i, j - i);
        if (digit &&
            (run.size() >= 8 || run.find_first_not_of("0123456789") == std::string_view::npos)) {
            shape += '#';
        } else {
            shape += run;
        }
        i = j;
    }
    return HashText(shape);
}

struct LinkInfo {
    bool known = false;  // a link with a text
    double titleLikeness = 0;
    bool numberLike = false;
    uint64_t textHash = 0;
    uint64_t shape = 0;
};

struct Group {
    uint32_t container;
    std::vector<uint32_t> records;
    std::vector<uint32_t> links;
    bool chain = false;
    uint64_t below = 0;
};

// The groups being gathered: most keys meet one record only, so a key keeps its
// records in a shared pool, chained, until it is known to hold enough of them.
struct Gathering {
    uint32_t container;
    bool chain = false;  // records each inside the one before (see below)
    uint64_t below = 0;  // the path from a record down to its link
    uint32_t count = 0;
    uint32_t lastRecord = kNoNode;
    uint32_t head = kNoNode, tail = kNoNode;  // entries in the pool
};
struct PoolEntry {
    uint32_t record, link, next;
};

// Group numbers by 64-bit key: open addressing, the table doubled when half full.
class FlatIndex {
public:
    void Reserve(std::size_t count) {
        std::size_t size = 64;
        while (size < 2 * count) size *= 2;
        if (size > keys_.size()) Rehash(size);
    }
    // The value kept for `key`; kNoNode when it is new (the caller sets it).
    uint32_t& Find(uint64_t key) {
        if (2 * (used_ + 1) > keys_.size()) Rehash(std::max<std::size_t>(64, 2 * keys_.size()));
        const std::size_t mask = keys_.size() - 1;
        std::size_t i = Mix(key) & mask;
        while (values_[i] != kNoNode && keys_[i] != key) i = (i + 1) & mask;
        if (values_[i] == kNoNode) {
            keys_[i] = key;
            ++used_;
        }
        return values_[i];
    }

private:
    void Rehash(std::size_t size) {
        std::vector<uint64_t> keys(size);
        std::vector<uint32_t> values(size, kNoNode);
        const std::size_t mask = size - 1;
        for (std::size_t k = 0; k < keys_.size(); ++k) {
            if (values_[k] == kNoNode) continue;
            std::size_t i = Mix(keys_[k]) & mask;
            while (values[i] != kNoNode) i = (i + 1) & mask;
            keys[i] = keys_[k];
            values[i] = values_[k];
        }
        keys_ = std::move(keys);
        values_ = std::move(values);
    }

    std::vector<uint64_t> keys_;
    std::vector<uint32_t> values_;
    std::size_t used_ = 0;
};

// The order of a record's element children, as far as the first few.
uint64_t RecordStructure(const HtmlTree& tree, uint32_t record) {
    uint64_t h = 7;
    int seen = 0;
    for (uint32_t c = tree[record].firstChild; c != kNoNode && seen < 32; c = tree[c].nextSibling) {
        h = Combine(h, tree[c].tag);
        ++seen;
    }
    return h;
}

template <typename T>
double MostCommonShare(std::vector<T> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t best = 0, run = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        run = i > 0 && values[i] == values[i - 1] ? run + 1 : 1;
        best = std::max(best, run);
    }
    return static_cast<double>(best) / static_cast<double>(values.size());
}

double DistinctShare(std::vector<uint64_t> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto distinct = std::unique(values.begin(), values.end()) - values.begin();
    return static_cast<double>(distinct) / static_cast<double>(values.size());
}

}  // namespace

std::string_view LinkContent(const HtmlTree& tree, uint32_t link) {
    const HtmlNode& node = tree[link];
    std::string_view content =
        tree.text().substr(node.startTagEnd, node.end - std::min(node.end, node.startTagEnd));
    if (!content.empty() && content.back() == '>') {
        const std::size_t close = content.rfind("</");
        if (close != std::string_view::npos && close + 2 < content.size() &&
            Lower(content[close + 2]) == 'a' &&
            (close + 3 == content.size() || !IsAlnum(content[close + 3]))) {
            content = content.substr(0, close);
        }
    }
    return content;
}

std::vector<FoundList> FindLists(const HtmlTree& tree, std::size_t limit) {
    const std::vector<HtmlNode>& nodes = tree.nodes();
    const std::size_t n = nodes.size();
    std::vector<uint64_t> full(n), bare(n);
    std::vector<uint8_t> asides(n, 0);  // aside-like elements from the document down to here
    for (std::size_t i = 0; i < n; ++i) {
        full[i] = FullSignature(tree, nodes[i]);
        bare[i] = Mix(nodes[i].tag);
        const uint8_t above = nodes[i].parent == kNoNode ? 0 : asides[nodes[i].parent];
        asides[i] = static_cast<uint8_t>(std::min(3, above + (IsAside(tree, nodes[i]) ? 1 : 0)));
    }

    std::vector<LinkInfo> linkInfo(n);
    FlatIndex groupOf;
    std::vector<Gathering> gatherings;
    std::vector<PoolEntry> pool;
    const auto add = [&](uint64_t key, uint32_t container, uint32_t record, uint32_t link,
                         bool chain = false, uint64_t below = 0) {
        uint32_t& slot = groupOf.Find(key);
        if (slot == kNoNode) {
            slot = static_cast<uint32_t>(gatherings.size());
            gatherings.push_back({container, chain, below});
        }
        Gathering& g = gatherings[slot];
        if (g.lastRecord == record) return;
        g.lastRecord = record;
        ++g.count;
        const auto entry = static_cast<uint32_t>(pool.size());
        pool.push_back({record, link, kNoNode});
        if (g.tail == kNoNode) {
            g.head = entry;
        } else {
            pool[g.tail].next = entry;
        }
        g.tail = entry;
    };
    std::size_t anchors = 0;
    for (const HtmlNode& node : nodes) anchors += node.tag == html_tag::kA ? 1 : 0;
    groupOf.Reserve(anchors * 12);
    pool.reserve(anchors * 4);

    for (uint32_t i = 0; i < n; ++i) {
        const HtmlNode& node = nodes[i];
        if (node.tag != html_tag::kA || node.href.empty()) continue;
        const std::string_view href = tree.Slice(node.href);
        if (!IsFollowableHref(href)) continue;
        const std::string text = ReadableText(LinkContent(tree, i).substr(0, 2048));
        if (text.empty()) continue;
        LinkInfo& info = linkInfo[i];
        info.known = true;
        const int width = DisplayWidth(text);
        info.numberLike = IsNumberLike(text);
        info.titleLikeness = info.numberLike ? 0 : std::clamp((width - 4) / 16.0, 0.0, 1.0);
        if (width > 400) info.titleLikeness *= 0.6;
        info.textHash = HashText(text);
        info.shape = LinkShape(href);

        // Each level up: the record C, its parent E and the path from C down.
        uint64_t below = 0, belowBare = 0;
        uint32_t record = i;
        for (int level = 0; level <= kMaxLevels; ++level) {
            const uint32_t container = nodes[record].parent;
            if (container == kNoNode) break;
            const uint64_t e = Mix(container + 0x51ull);
            add(Combine(Combine(e, full[record]), below) * 5 + 0, container, record, i);
            // The record by its tag alone: one with a class or an id (a pinned
            // thread, an odd row) and one without meet here.
            add(Combine(Combine(e, bare[record]), below) * 5 + 1, container, record, i);
            if (level >= 2 && belowBare != below) {
                add(Combine(Combine(e, bare[record]), belowBare) * 5 + 2, container, record, i);
                if (bare[record] != full[record]) {
                    add(Combine(Combine(e, full[record]), belowBare) * 5 + 3, container, record, i);
                }
            }
            // A record left open holds the next one: records of one kind, each
            // the parent of the next, are a list too.
            if (full[container] == full[record]) {
                add(Combine(full[record] + 0xC4A1ull, below) * 5 + 4, container, record, i, true,
                    below);
            }
            below = Combine(full[record], below);
            belowBare = level == 0 ? full[record] : Combine(bare[record], belowBare);
            record = container;
        }
    }

    std::vector<Group> groups;
    for (const Gathering& g : gatherings) {
        if (g.count + (g.chain ? 1 : 0) < kMinRecords) continue;
        Group& group = groups.emplace_back();
        group.container = g.container;
        group.chain = g.chain;
        group.below = g.below;
        group.records.reserve(g.count);
        group.links.reserve(g.count);
        for (uint32_t k = g.head; k != kNoNode; k = pool[k].next) {
            group.records.push_back(pool[k].record);
            group.links.push_back(pool[k].link);
        }
    }
    pool = {};
    gatherings = {};

    // A chain of records starts with one whose parent is of another kind: it is
    // found by its link, at the same path below it as the others'.
    for (Group& group : groups) {
        if (!group.chain) continue;
        const uint32_t first = group.records.front();
        const uint32_t head = nodes[first].parent;
        if (head == kNoNode || full[head] != full[first]) continue;
        for (uint32_t l = head + 1; l < first; ++l) {
            if (nodes[l].tag != html_tag::kA || !linkInfo[l].known) continue;
            uint64_t below = 0;
            uint32_t x = l;
            for (int level = 0; x != head && x != kNoNode && level <= kMaxLevels; ++level) {
                below = Combine(full[x], below);
                x = nodes[x].parent;
            }
            if (x != head || below != group.below) continue;
            group.records.insert(group.records.begin(), head);
            group.links.insert(group.links.begin(), l);
            group.container = nodes[head].parent;
            break;
        }
    }
    std::erase_if(groups, [](const Group& g) { return g.records.size() < kMinRecords; });

    // A list often ends (or starts) with a link of its own kind that is no
    // article: "More", a page number. Where the rest read as titles, it goes.
    for (Group& group : groups) {
        if (group.records.size() < kMinRecords + 1) continue;
        std::vector<double> likeness;
        for (const uint32_t link : group.links) likeness.push_back(linkInfo[link].titleLikeness);
        std::vector<double> sorted = likeness;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        if (sorted[sorted.size() / 2] < 0.5) continue;
        std::size_t from = 0, to = likeness.size();
        while (to - from > kMinRecords && likeness[to - 1] < 0.2) --to;
        while (to - from > kMinRecords && likeness[from] < 0.2) ++from;
        if (from == 0 && to == likeness.size()) continue;
        group.records =
            std::vector<uint32_t>(group.records.begin() + from, group.records.begin() + to);
        group.links = std::vector<uint32_t>(group.links.begin() + from, group.links.begin() + to);
    }

    // Score the groups of enough records; one of each set of links.
    std::vector<FoundList> lists;
    std::unordered_map<uint64_t, std::size_t> seen;
    for (Group& group : groups) {
        const std::size_t count = group.records.size();
        if (count < kMinRecords) continue;
        uint64_t id = Mix(group.container);
        for (const uint32_t link : group.links) id = Combine(id, link);
        std::vector<uint64_t> texts, shapes, structures;
        texts.reserve(count);
        double likeness = 0;
        std::size_t numbers = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const LinkInfo& info = linkInfo[group.links[k]];
            likeness += info.titleLikeness;
            numbers += info.numberLike ? 1 : 0;
            texts.push_back(info.textHash);
            shapes.push_back(info.shape);
            structures.push_back(RecordStructure(tree, group.records[k]));
        }
        const double c = static_cast<double>(count);
        int aside = asides[group.container];
        aside += IsAside(tree, nodes[group.records.front()]) ? 1 : 0;
        aside += IsAside(tree, nodes[group.links.front()]) ? 1 : 0;
        const double score = likeness / c * DistinctShare(texts) * (1 - numbers / c) *
                             (0.5 + 0.5 * MostCommonShare(shapes)) *
                             (0.4 + 0.6 * MostCommonShare(structures)) *
                             std::pow(0.6, std::min(3, aside)) * std::log2(1 + c);
        if (score <= 0) continue;
        auto [it, fresh] = seen.try_emplace(id, lists.size());
        if (!fresh) {
            if (lists[it->second].score < score) lists[it->second].score = score;
            continue;
        }
        FoundList& list = lists.emplace_back();
        list.container = group.container;
        list.records = std::move(group.records);
        list.links = std::move(group.links);
        list.score = score;
    }
    groups.clear();

    // Lists of one container where one holds the other's links: a part whose
    // extra records all stand above it is the list without its pinned records;
    // any other part that scores no better is a split of the list (odd and even
    // rows) and goes.
    std::sort(lists.begin(), lists.end(), [](const FoundList& a, const FoundList& b) {
        return a.container != b.container ? a.container < b.container : a.score > b.score;
    });
    std::vector<bool> dropped(lists.size(), false);
    std::vector<std::size_t> pinnedOf(lists.size(), static_cast<std::size_t>(-1));
    for (std::size_t from = 0; from < lists.size();) {
        std::size_t to = from;
        while (to < lists.size() && lists[to].container == lists[from].container) ++to;
        const std::size_t last = std::min(to, from + 16);
        for (std::size_t a = from; a < last; ++a) {
            for (std::size_t b = from; b < last; ++b) {
                if (a == b || dropped[b] || lists[b].links.size() <= lists[a].links.size())
                    continue;
                if (!std::includes(lists[b].links.begin(), lists[b].links.end(),
                                   lists[a].links.begin(), lists[a].links.end())) {
                    continue;
                }
                const uint32_t first = lists[a].records.front();
                const bool above =
                    lists[b].records[lists[b].records.size() - lists[a].records.size()] == first;
                if (above && pinnedOf[a] == static_cast<std::size_t>(-1)) {
                    pinnedOf[a] = b;
                } else if (!above && lists[b].score >= lists[a].score) {
                    dropped[a] = true;
                }
            }
        }
        from = to;
    }
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        if (dropped[i]) continue;
        // The list without its pinned records stands just above the one with them.
        if (pinnedOf[i] != static_cast<std::size_t>(-1) && !dropped[pinnedOf[i]]) {
            lists[i].score = std::max(lists[i].score, lists[pinnedOf[i]].score * (1 + 1e-9));
        }
        order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return lists[a].score != lists[b].score ? lists[a].score > lists[b].score : a < b;
    });
    if (order.size() > limit) order.resize(limit);
    std::vector<FoundList> best;
    std::vector<std::size_t> placeOf(lists.size(), static_cast<std::size_t>(-1));
    for (const std::size_t i : order) placeOf[i] = best.size(), best.push_back(std::move(lists[i]));
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t pinned = pinnedOf[order[k]];
        if (pinned != static_cast<std::size_t>(-1)) best[k].withPinned = placeOf[pinned];
    }
    return best;
}

}  // namespace vela
