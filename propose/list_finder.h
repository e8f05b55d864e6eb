#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "html_tree.h"

// Finding the lists of a page: groups of sibling elements (the records) that each
// hold a link with a text, alike in their tag path, ranked by how much they look
// like a page's list of articles.

namespace vela {

struct FoundList {
    uint32_t container = kNoNode;   // the records' common parent
    std::vector<uint32_t> records;  // the records, in page order
    std::vector<uint32_t> links;    // each record's title link
    double score = 0;               // higher is likelier the page's main list
    // When this list is another list of the result less the records above it
    // that differ from the rest (pinned threads): that list's place in the
    // result; otherwise npos. The two stand next to each other, this one first.
    std::size_t withPinned = static_cast<std::size_t>(-1);
};

// The lists of `tree` with at least kMinRecords records, best first, at most
// `limit`. Linear in the page (each link looks a bounded number of levels up).
inline constexpr std::size_t kMinRecords = 4;
std::vector<FoundList> FindLists(const HtmlTree& tree, std::size_t limit);

// The text of link `link` as the finder reads it (GBK), and its source between the
// start tag and the end tag.
std::string_view LinkContent(const HtmlTree& tree, uint32_t link);

}  // namespace vela
