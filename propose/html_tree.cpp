#include "html_tree.h"

#include <myhtml/api.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_set>

namespace vela {

static_assert(html_tag::kText == MyHTML_TAG__TEXT && html_tag::kA == MyHTML_TAG_A &&
              html_tag::kAside == MyHTML_TAG_ASIDE && html_tag::kFooter == MyHTML_TAG_FOOTER &&
              html_tag::kHeader == MyHTML_TAG_HEADER && html_tag::kNav == MyHTML_TAG_NAV &&
              html_tag::kScript == MyHTML_TAG_SCRIPT && html_tag::kStyle == MyHTML_TAG_STYLE);

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - std::min(at, text.size()) < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (Lower(text[at + i]) != word[i]) return false;
    }
    return true;
}

// Elements that never hold children, and those whose end the tree builder implies
// by the next sibling: neither makes a page deeper.
bool NestsDeeper(std::string_view name) {
    static const std::unordered_set<std::string_view> kFlat = {
        "area", "base",  "br",       "col",     "embed", "hr",    "img",    "input",    "link",
        "meta", "param", "source",   "track",   "wbr",   "p",     "li",     "dt",       "dd",
        "tr",   "td",    "th",       "thead",   "tbody", "tfoot", "option", "optgroup", "rb",
        "rt",   "rp",    "colgroup", "caption", "frame", "keygen"};
    return !kFlat.contains(name);
}

// Elements whose content is text up to their own end tag.
bool IsRawText(std::string_view name) {
    static const std::unordered_set<std::string_view> kRaw = {"script",  "style",    "textarea",
                                                              "title",   "xmp",      "iframe",
                                                              "noembed", "noframes", "plaintext"};
    return kRaw.contains(name);
}

}  // namespace

std::string TamedMarkup(std::string_view text, int maxDepth, int maxAttributes) {
    std::string tamed;
    const auto tame = [&](std::size_t lt) {
        if (tamed.empty()) tamed.assign(text);
        tamed[lt + 1] = '!';
    };
    const std::size_t n = text.size();
    int depth = 0, pending = 0;  // open tags counted; tamed tags whose end tag may come
    std::size_t i = 0;
    while (i < n) {
        const void* hit = std::memchr(text.data() + i, '<', n - i);
        if (!hit) break;
        const std::size_t lt =
            static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        i = lt + 1;
        if (i >= n) break;
        if (text.compare(i, 3, "!--") == 0) {
            const std::size_t close = text.find("-->", i + 3);
            i = close == std::string_view::npos ? n : close + 3;
            continue;
        }
        const bool endTag = text[i] == '/';
        const std::size_t nameAt = endTag ? i + 1 : i;
        if (nameAt >= n || !IsAsciiLetter(text[nameAt])) continue;
        std::size_t nameEnd = nameAt;
        std::string name;
        while (nameEnd < n && !IsBlank(text[nameEnd]) && text[nameEnd] != '>' &&
               text[nameEnd] != '/') {
            if (name.size() < 16) name += Lower(text[nameEnd]);
            ++nameEnd;
        }
        // The tag's end, quotes respected; its attributes counted on the way.
        int attributes = 0;
        std::size_t j = nameEnd;
        bool inName = false;
        while (j < n && text[j] != '>') {
            const char c = text[j];
            if (c == '"' || c == '\'') {
                const std::size_t close = text.find(c, j + 1);
                j = close == std::string_view::npos ? n : close + 1;
                inName = false;
                continue;
            }
            if (IsBlank(c) || c == '/' || c == '=') {
                inName = false;
            } else if (!inName) {
                inName = true;
                ++attributes;
            }
            ++j;
        }
        i = j < n ? j + 1 : n;
        if (endTag) {
            if (!NestsDeeper(name)) continue;
            if (pending > 0) {
                --pending;
            } else if (depth > 0) {
                --depth;
            }
            continue;
        }
        if (attributes > maxAttributes) {
            tame(lt);
            continue;
        }
        if (IsRawText(name)) {
            // Its content is no markup: skip to its end tag.
            std::size_t k = i;
            while (true) {
                const std::size_t close = text.find("</", k);
                if (close == std::string_view::npos) {
                    k = n;
                    break;
                }
                if (StartsWithNoCase(text, close + 2, name)) {
                    k = close;
                    break;
                }
                k = close + 2;
            }
            i = k;
            continue;
        }
        if (!NestsDeeper(name)) continue;
        if (depth >= maxDepth) {
            tame(lt);
            ++pending;
            continue;
        }
        ++depth;
    }
    return tamed;
}

namespace {

struct MyhtmlDeleter {
    void operator()(myhtml_t* p) const { myhtml_destroy(p); }
    void operator()(myhtml_tree_t* p) const { myhtml_tree_destroy(p); }
};

// The end of the end tag "</name>" that stands at `at`, or `at` when none does.
std::size_t AfterEndTag(std::string_view text, std::size_t at, std::string_view name) {
    if (name.empty() || !StartsWithNoCase(text, at, "</") ||
        !StartsWithNoCase(text, at + 2, name)) {
        return at;
    }
    std::size_t j = at + 2 + name.size();
    while (j < text.size() && IsBlank(text[j])) ++j;
    return j < text.size() && text[j] == '>' ? j + 1 : at;
}

}  // namespace

HtmlTree::HtmlTree(std::string_view text)
    : text_(text.substr(0, std::min(text.size(), kMaxBytes))) {
    const std::string tamed = TamedMarkup(text_, kMaxDepth, kMaxAttributes);
    const std::string_view input = tamed.empty() ? text_ : std::string_view(tamed);

    std::unique_ptr<myhtml_t, MyhtmlDeleter> parser(myhtml_create());
    if (!parser ||
        myhtml_init(parser.get(), MyHTML_OPTIONS_PARSE_MODE_SINGLE, 1, 0) != MyHTML_STATUS_OK) {
        failed_ = true;
        return;
    }
    std::unique_ptr<myhtml_tree_t, MyhtmlDeleter> tree(myhtml_tree_create());
    if (!tree || myhtml_tree_init(tree.get(), parser.get()) != MyHTML_STATUS_OK) {
        failed_ = true;
        return;
    }
    // The bytes go in as UTF-8, which passes every byte through: no byte of a GBK
    // or GB18030 character is markup (trail bytes are 0x30-0x39 and 0x40-0xFE), and
    // no decoding means positions are the text's own.
    if (myhtml_parse(tree.get(), MyENCODING_UTF_8, input.data(), input.size()) !=
        MyHTML_STATUS_OK) {
        failed_ = true;
        return;
    }

    // Pre-order walk without recursion; `path` holds our index of each open element.
    std::vector<uint32_t> path;
    std::vector<uint32_t> lastChild;
    std::vector<uint32_t> maxEnd, minBegin;
    const auto limit = static_cast<uint32_t>(text_.size());
    const auto clamp = [limit](std::size_t v) {
        return static_cast<uint32_t>(std::min<std::size_t>(v, limit));
    };

    myhtml_tree_node_t* node = myhtml_tree_get_document(tree.get());
    myhtml_tree_node_t* document = node;
    while (node) {
        const myhtml_tag_id_t tag = myhtml_node_tag_id(node);
        const myhtml_position_t at = myhtml_node_element_position(node);
        bool descend = false;
        if (tag == MyHTML_TAG__TEXT || tag == MyHTML_TAG__COMMENT) {
            if (!path.empty() && at.length > 0) {
                const uint32_t owner = path.back();
                maxEnd[owner] = std::max(maxEnd[owner], clamp(at.begin + at.length));
                minBegin[owner] = std::min(minBegin[owner], clamp(at.begin));
            }
        } else if (tag != MyHTML_TAG__DOCTYPE) {
            const auto index = static_cast<uint32_t>(nodes_.size());
            HtmlNode& mine = nodes_.emplace_back();
            mine.tag = static_cast<uint32_t>(tag);
            if (!path.empty()) {
                mine.parent = path.back();
                mine.depth = nodes_[mine.parent].depth + 1;
                if (nodes_[mine.parent].firstChild == kNoNode) {
                    nodes_[mine.parent].firstChild = index;
                } else {
                    nodes_[lastChild[mine.parent]].nextSibling = index;
                }
                lastChild[mine.parent] = index;
            }
            lastChild.push_back(kNoNode);
            if (node != document && at.length > 0) {
                mine.begin = clamp(at.begin);
                mine.startTagEnd = clamp(at.begin + at.length);
                maxEnd.push_back(mine.startTagEnd);
                minBegin.push_back(mine.begin);
            } else {
                maxEnd.push_back(0);
                minBegin.push_back(node == document ? 0 : limit);
            }
            for (myhtml_tree_attr_t* attr = myhtml_node_attribute_first(node); attr;
                 attr = myhtml_attribute_next(attr)) {
                size_t keyLength = 0;
                const char* key = myhtml_attribute_key(attr, &keyLength);
                if (!key) continue;
                const std::string_view name(key, keyLength);
                TextSpan* slot = name == "id"      ? &mine.id
                                 : name == "class" ? &mine.cls
                                 : name == "href"  ? &mine.href
                                                   : nullptr;
                if (!slot || !slot->empty()) continue;
                const myhtml_position_t value = myhtml_attribute_value_raw_position(attr);
                if (value.begin + value.length > limit) continue;
                *slot = {static_cast<uint32_t>(value.begin), static_cast<uint32_t>(value.length)};
            }
            if (tag == MyHTML_TAG_BASE && baseHref_.empty() && !mine.href.empty()) {
                baseHref_ = mine.href;
            }
            if (tag >= tagNames_.size()) tagNames_.resize(tag + 1);
            if (tagNames_[tag].empty()) {
                size_t nameLength = 0;
                const char* tagName = myhtml_tag_name_by_id(tree.get(), tag, &nameLength);
                if (tagName) {
                    tagNames_[tag].assign(tagName, nameLength);
                    for (char& c : tagNames_[tag]) c = Lower(c);
                }
            }
            path.push_back(index);
            descend = true;
        }
        myhtml_tree_node_t* child = descend ? myhtml_node_child(node) : nullptr;
        if (child) {
            node = child;
            continue;
        }
        if (descend) path.pop_back();
        // Up until a node with a next sibling; each element left is closed.
        while (node && !myhtml_node_next(node)) {
            node = myhtml_node_parent(node);
            if (node && !path.empty()) path.pop_back();
        }
        if (node) node = myhtml_node_next(node);
    }

    // Ends and implied beginnings, children before their parents.
    for (std::size_t k = nodes_.size(); k-- > 0;) {
        HtmlNode& mine = nodes_[k];
        uint32_t end = std::max(maxEnd[k], mine.startTagEnd);
        end = clamp(AfterEndTag(text_, end, TagName(mine)));
        mine.end = end;
        if (mine.startTagEnd == 0 && k != 0) {
            mine.begin = std::min(minBegin[k], end);
            mine.startTagEnd = mine.begin;
        }
        if (mine.parent != kNoNode) {
            maxEnd[mine.parent] = std::max(maxEnd[mine.parent], mine.end);
            minBegin[mine.parent] = std::min(minBegin[mine.parent], mine.begin);
        }
    }
    if (!nodes_.empty()) nodes_[0].end = limit;
}

std::string_view HtmlTree::TagName(const HtmlNode& node) const {
    if (node.kind != HtmlKind::kElement || node.tag >= tagNames_.size()) return {};
    return tagNames_[node.tag];
}

}  // namespace vela
