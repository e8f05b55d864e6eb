#include "fetch/text_between.h"

#include "fetch/gbk_search.h"

namespace vela {
namespace {

// "#引号" in GBK.
constexpr std::string_view kQuoteToken = "#\xD2\xFD\xBA\xC5";

std::size_t StartOffset(std::size_t start) { return start <= 1 ? 0 : start - 1; }

struct Span {
    std::size_t start = 0;
    std::size_t length = 0;
};

// Where the text between the markers lies; empty when either is missing.
Span SpanBetween(std::string_view text, std::string_view begin, std::string_view end,
                 std::size_t start, bool ignoreCase) {
    const std::string open = GbkReplaceAll(begin, kQuoteToken, "\"");
    const std::string close = GbkReplaceAll(end, kQuoteToken, "\"");
    const std::size_t p = GbkFind(text, open, StartOffset(start), ignoreCase);
    if (p == kNotFound) return {};
    const std::size_t s = p + open.size();
    const std::size_t q = GbkFind(text, close, s, ignoreCase);
    if (q == kNotFound) return {};
    return {s, q - s};
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view begin, std::string_view end,
                        std::size_t start, bool ignoreCase) {
    const Span span = SpanBetween(text, begin, end, start, ignoreCase);
    return std::string(text.substr(span.start, span.length));
}

void CutTextBetween(std::string& text, std::string_view begin, std::string_view end,
                    std::size_t start, bool ignoreCase) {
    const Span span = SpanBetween(text, begin, end, start, ignoreCase);
    text.resize(span.start + span.length);
    text.erase(0, span.start);
    if (text.size() < text.capacity() / 2) text.shrink_to_fit();
}

std::size_t TextsBetween(std::string_view text, std::string_view begin, std::string_view end,
                         std::vector<std::string>& items, bool caseSensitive, std::size_t maxLength,
                         std::string_view prefix, std::string_view suffix, bool withBegin,
                         bool withEnd, std::size_t start,
                         const std::function<void()>& processPendingMessages) {
    items.clear();
    const std::size_t from = StartOffset(start);
    // One scanner per marker: the positions asked for only ever grow, so each
    // marker's occurrences are found in about one pass over the text.
    GbkScanner opens(text, begin, from, !caseSensitive);
    GbkScanner closes(text, end, from, !caseSensitive);
    std::size_t pos = from;
    for (;;) {
        const std::size_t p = opens.FindFrom(pos);
        if (p == kNotFound) break;
        const std::size_t s = p + begin.size();
        const std::size_t q = closes.FindFrom(s);
        if (q == kNotFound) break;
        // Only an empty begin marker can leave the scan where it was; it would
        // find the same pair again for ever.
        if (q == pos) break;
        // The item is built in place once it is known to be kept.
        const std::string_view trimmed = GbkTrimView(text.substr(s, q - s));
        const std::size_t core = prefix.size() + trimmed.size() + suffix.size();
        const std::size_t size = core + (withBegin ? begin.size() : 0) + (withEnd ? end.size() : 0);
        if (core != 0 && (maxLength == 0 || size < maxLength)) {
            std::string& item = items.emplace_back();
            item.reserve(size);
            if (withBegin) item.append(begin);
            item.append(prefix).append(trimmed).append(suffix);
            if (withEnd) item.append(end);
        }
        pos = q;
        if (processPendingMessages) processPendingMessages();
    }
    return items.size();
}

}  // namespace vela
