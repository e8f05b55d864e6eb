#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Cutting text out between markers, on GBK text (see gbk_search.h for how the
// searches step over double-byte characters).
//
// `start` is a 1-based byte position as the scheme data and the user know it:
// 0 and 1 both mean "from the beginning", a start beyond the text finds nothing.

namespace vela {

// The text between the first `begin` at or after `start` and the first `end` after
// it; empty when either marker is missing. In both markers the token "#引号"
// (GBK) stands for one double-quote character. An empty begin marker matches at
// the start; an empty end marker gives the empty text.
std::string TextBetween(std::string_view text, std::string_view begin, std::string_view end,
                        std::size_t start = 0, bool ignoreCase = false);

// Makes `text` what TextBetween(text, begin, end, start, ignoreCase) gives, cut
// out of it in place: a page-sized region is not copied. When the region is much
// smaller than the page, its memory is given back.
void CutTextBetween(std::string& text, std::string_view begin, std::string_view end,
                    std::size_t start = 0, bool ignoreCase = false);

// Every text between successive begin/end pairs, trimmed, with `prefix` and
// `suffix` around it; pairs that give an empty item are skipped. With `withBegin`
// / `withEnd` the markers are put back around an item. With `maxLength` > 0 only
// items shorter than it are kept. The next begin marker is searched from the end
// marker of the pair before, so with equal markers an end can open the next pair.
// Markers are used as given (no "#引号" token here) and match ignoring ASCII case
// unless `caseSensitive`. An empty begin marker yields at most the text up to the
// first end marker: the scan could never move on from there.
//
// `processPendingMessages` runs after every pair examined; a caller on the GUI
// thread passes its event processing so a long scan does not freeze the window.
//
// Fills `items` (emptied first) and returns their number.
std::size_t TextsBetween(std::string_view text, std::string_view begin, std::string_view end,
                         std::vector<std::string>& items, bool caseSensitive = false,
                         std::size_t maxLength = 0, std::string_view prefix = {},
                         std::string_view suffix = {}, bool withBegin = false, bool withEnd = false,
                         std::size_t start = 0,
                         const std::function<void()>& processPendingMessages = {});

}  // namespace vela
