#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A page's element tree, built by an HTML5 parser (myhtml) from markup as broken
// as browsers meet it. Every position is a byte offset into the text that was
// parsed: the engine's GBK text of the page, so that markers and patterns made
// from these positions are valid on what the engine cuts and matches.

namespace vela {

inline constexpr uint32_t kNoNode = UINT32_MAX;

// A piece of the parsed text: [begin, begin + length).
struct TextSpan {
    uint32_t begin = 0;
    uint32_t length = 0;
    bool empty() const { return length == 0; }
};

enum class HtmlKind : uint8_t { kElement, kText };

struct HtmlNode {
    HtmlKind kind = HtmlKind::kElement;
    uint32_t tag = 0;  // the parser's tag id (see TagName)
    uint32_t parent = kNoNode;
    uint32_t firstChild = kNoNode;
    uint32_t nextSibling = kNoNode;
    uint32_t depth = 0;  // 0 for the document
    // Where the node's source lies: from the start tag's "<" (an element the
    // parser implied starts at its first child) to the end of its end tag, or of
    // its last descendant when it has none. A text node: its text, as written.
    uint32_t begin = 0;
    uint32_t startTagEnd = 0;  // just after the start tag's ">"; begin when implied
    uint32_t end = 0;
    // Raw attribute values as written (quotes not included, entities not decoded).
    TextSpan id, cls, href;
};

class HtmlTree {
public:
    // Parses `text` (GBK bytes; the bytes are handed to the parser as they are, so
    // positions stay byte positions and a bad byte changes nothing around it).
    // Bounded on any input: elements nested past kMaxDepth, and start tags with
    // more than kMaxAttributes attributes, are read as comments.
    explicit HtmlTree(std::string_view text);

    static constexpr int kMaxDepth = 400;
    static constexpr int kMaxAttributes = 512;
    // Only the first kMaxBytes of a page are parsed.
    static constexpr std::size_t kMaxBytes = std::size_t{8} << 20;

    const std::vector<HtmlNode>& nodes() const { return nodes_; }
    const HtmlNode& operator[](uint32_t i) const { return nodes_[i]; }
    std::string_view text() const { return text_; }
    std::string_view Source(const HtmlNode& node) const {
        return text_.substr(node.begin, node.end - node.begin);
    }
    std::string_view Slice(TextSpan span) const { return text_.substr(span.begin, span.length); }
    // Lower-case tag name of an element ("a", "div", …); empty for a text node.
    std::string_view TagName(const HtmlNode& node) const;
    // The first <base href>, raw; empty without one.
    TextSpan baseHref() const { return baseHref_; }
    // The parser could not be set up (out of memory): the tree is empty.
    bool failed() const { return failed_; }

private:
    std::string_view text_;
    std::vector<HtmlNode> nodes_;  // document order (pre-order), the document first
    std::vector<std::string> tagNames_;
    TextSpan baseHref_;
    bool failed_ = false;
};

// The tag id the parser gives these names.
namespace html_tag {
inline constexpr uint32_t kText = 0x001;
inline constexpr uint32_t kA = 0x004;
inline constexpr uint32_t kAside = 0x00c;
inline constexpr uint32_t kFooter = 0x033;
inline constexpr uint32_t kHeader = 0x03e;
inline constexpr uint32_t kNav = 0x059;
inline constexpr uint32_t kScript = 0x070;
inline constexpr uint32_t kStyle = 0x078;
}  // namespace html_tag

// `text` with the start tags that would nest deeper than `maxDepth`, or that hold
// more than `maxAttributes` attributes, turned into comments ("<div" becomes
// "<!iv"): the same length, so every position stays. An HTML5 tree builder does
// work that grows with the depth for each tag; this keeps a page of a hundred
// thousand unclosed tags from taking minutes. Empty when nothing needed changing.
std::string TamedMarkup(std::string_view text, int maxDepth, int maxAttributes);

}  // namespace vela
