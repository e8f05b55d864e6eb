#include "page_charset.h"

#include <algorithm>
#include <array>

#include "utf8_decode.h"

namespace vela {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != prefix[i]) return false;
    }
    return true;
}

// Where `word` (lower case) next stands in `text` from `from`, any letter case;
// npos when it does not.
std::size_t FindNoCase(std::string_view text, std::string_view word, std::size_t from) {
    if (word.empty() || text.size() < word.size()) return std::string_view::npos;
    for (std::size_t i = from; i + word.size() <= text.size(); ++i) {
        if (Lower(text[i]) == word[0] && StartsWithNoCase(text.substr(i), word)) return i;
    }
    return std::string_view::npos;
}

// The label after the first "charset" of `text` (its "=", blanks and an opening
// quote passed over), unnamed when there is no such word with a value.
PageCharset CharsetAfterWord(std::string_view text) {
    for (std::size_t at = FindNoCase(text, "charset", 0); at != std::string_view::npos;
         at = FindNoCase(text, "charset", at + 1)) {
        std::size_t i = at + 7;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size() || text[i] != '=') continue;
        ++i;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i < text.size() && (text[i] == '"' || text[i] == '\'')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != '"' && text[i] != '\'' && text[i] != ';' &&
               text[i] != '>' && text[i] != '/' && !IsBlank(text[i])) {
            ++i;
        }
        if (i > start) return CharsetOfLabel(text.substr(start, i - start));
    }
    return PageCharset::kUnnamed;
}

// What the bytes say by themselves: UTF-8 when every character beyond ASCII is
// well-formed UTF-8 (one cut off by the page's end counts: a page cut at its size
// limit ends anywhere), GBK when most are not, nothing when they are mixed or
// there are none.
PageCharset CharsetOfBytes(std::string_view page) {
    std::size_t valid = 0, invalid = 0;
    for (std::size_t i = 0; i < page.size();) {
        if (static_cast<unsigned char>(page[i]) < 0x80) {
            ++i;
            continue;
        }
        const Utf8Char c = DecodeUtf8(page, i);
        if (c.valid) {
            ++valid;
        } else if (i + 4 < page.size()) {
            ++invalid;
        }
        i += c.length;
    }
    if (valid > 0 && invalid == 0) return PageCharset::kUtf8;
    if (invalid > valid) return PageCharset::kGbk;
    return PageCharset::kUnnamed;
}

}  // namespace

PageCharset CharsetOfLabel(std::string_view label) {
    label = Trimmed(label);
    if (label.empty() || label.size() > 40)
        return label.empty() ? PageCharset::kUnnamed : PageCharset::kOther;
    std::string lower(label);
    std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
    // The labels the WHATWG Encoding Standard gives GBK and gb18030, and UTF-8.
    static constexpr std::array<std::string_view, 12> kGbk = {
        "gbk",     "gb2312",   "gb_2312",   "gb_2312-80",      "gb18030", "x-gbk",
        "chinese", "csgb2312", "iso-ir-58", "csiso58gb231280", "cp936",   "windows-936"};
    static constexpr std::array<std::string_view, 4> kUtf8 = {"utf-8", "utf8", "unicode-1-1-utf-8",
                                                              "x-unicode20utf8"};
    if (std::find(kGbk.begin(), kGbk.end(), lower) != kGbk.end()) return PageCharset::kGbk;
    if (std::find(kUtf8.begin(), kUtf8.end(), lower) != kUtf8.end()) return PageCharset::kUtf8;
    return PageCharset::kOther;
}

std::string ContentTypeOf(std::string_view headers) {
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find('\n', start);
        if (end == std::string_view::npos) end = headers.size();
        std::string_view line = headers.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (StartsWithNoCase(line, "content-type:")) return std::string(Trimmed(line.substr(13)));
        start = end + 1;
    }
    return {};
}

PageCharset CharsetOfContentType(std::string_view contentType) {
    return CharsetAfterWord(contentType);
}

PageCharset CharsetOfMeta(std::string_view page) {
    constexpr std::size_t kHeadBytes = 64 * 1024;
    page = page.substr(0, std::min(page.size(), kHeadBytes));
    for (std::size_t at = FindNoCase(page, "<meta", 0); at != std::string_view::npos;
         at = FindNoCase(page, "<meta", at + 5)) {
        // A tag is read up to its ">" or 1 KiB, so that a page of unclosed tags
        // costs no more than one pass for each.
        const std::string_view tag = page.substr(at + 5, 1024);
        const PageCharset named = CharsetAfterWord(tag.substr(0, tag.find('>')));
        if (named != PageCharset::kUnnamed) return named;
    }
    return PageCharset::kUnnamed;
}

bool PageIsGbk(std::string_view contentType, std::string_view page) {
    if (page.substr(0, 3) == "\xEF\xBB\xBF") return false;
    for (const PageCharset named :
         {CharsetOfContentType(contentType), CharsetOfBytes(page), CharsetOfMeta(page)}) {
        if (named == PageCharset::kGbk) return true;
        if (named == PageCharset::kUtf8) return false;
    }
    // Mixed bytes that name nothing: GBK, which a byte beyond ASCII seldom is not.
    return std::any_of(page.begin(), page.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

}  // namespace vela
