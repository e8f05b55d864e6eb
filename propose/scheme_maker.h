#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/scheme.h"
#include "html_tree.h"
#include "list_finder.h"

// Turning a found list into a scheme: markers around it, a pattern lined up on its
// title links, a link template that gives whole addresses, and the judgement mode
// the links support.

namespace vela {

// One record as the page shows it (GBK): the link's text as a person reads it,
// and its address resolved against the page's.
struct ExpectedItem {
    std::string title;
    std::string link;
};

// Fills the scheme's markers, pattern, link template, groups, judgement mode and
// clean-titles field for `list` of `tree` (whose text is the engine's GBK text of
// the page), links resolved against `base` (an http(s) address, GBK); fills
// `expected` with what the list holds. False when no scheme fits the list.
// The pattern begins with the markup every record has just before its title
// link; `textInContext` lets that context hold the text and numbers the records
// share too (a pattern that holds on this page, but less likely on the next).
bool MakeScheme(const HtmlTree& tree, const FoundList& list, std::string_view base, Scheme& scheme,
                std::vector<ExpectedItem>& expected, bool textInContext = false);

// `text` with every byte that Boost's perl syntax reads as an operator escaped.
std::string RegexLiteral(std::string_view text);

}  // namespace vela
