#include "fetch/cookies.h"

#include <unordered_set>
#include <vector>

#include "fetch/gbk_search.h"
#include "fetch/text_between.h"

namespace vela {
namespace {

constexpr std::string_view kDeleted = "=deleted";

// Removes ASCII and full-width spaces anywhere, character by character.
std::string WithoutSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = GbkCharLength(text, i);
        const std::string_view ch = text.substr(i, len);
        if (ch != " " && ch != "\xA1\xA1") out.append(ch);
        i += len;
    }
    return out;
}

// Joins with "; " and drops the last separator.
template <class Items>
std::string JoinItems(const Items& items) {
    std::string out;
    for (const auto& item : items) out.append(item).append("; ");
    out.resize(out.size() >= 2 ? out.size() - 2 : 0);
    return out;
}

}  // namespace

std::string CookieName(std::string_view item) {
    const std::size_t eq = GbkFind(item, "=");
    return GbkTrim(item.substr(0, eq));
}

std::string DedupeItems(std::string_view text, std::string_view separator) {
    std::unordered_set<std::string_view> seen;
    std::string out;
    for (std::string_view piece : GbkSplit(text, separator)) {
        if (seen.insert(piece).second) out.append(piece).append(separator);
    }
    out.resize(out.size() >= separator.size() ? out.size() - separator.size() : 0);
    return out;
}

std::string CollectResponseCookies(std::string_view headers) {
    std::vector<std::string> items;
    for (std::string_view line : GbkSplit(headers, "\r\n")) {
        if (!GbkContains(line, "Set-Cookie")) continue;
        if (GbkContains(line, ";")) {
            items.push_back(GbkTrim(TextBetween(line, "Set-Cookie:", ";")));
        } else {
            items.push_back(GbkTrim(GbkReplaceAll(line, "Set-Cookie:", "", true)));
        }
    }
    return JoinItems(items);
}

std::string MergeCookies(std::string& sent, std::string& received) {
    sent = WithoutSpaces(sent);
    received = WithoutSpaces(received);
    std::vector<std::string_view> merged = GbkSplit(received, ";");
    std::unordered_set<std::string> names;
    for (std::string_view item : merged) names.insert(CookieName(item));
    // An old item joins only when no item of its name is in the list yet, counting
    // old items that joined before it.
    for (std::string_view item : GbkSplit(sent, ";")) {
        if (names.insert(CookieName(item)).second) merged.push_back(item);
    }
    std::vector<std::string_view> kept;
    for (std::string_view item : merged) {
        const bool deleted = item.size() >= kDeleted.size() &&
                             item.substr(item.size() - kDeleted.size()) == kDeleted;
        if (!deleted) kept.push_back(item);
    }
    std::string result = DedupeItems(JoinItems(kept), "; ");
    sent = result;
    return result;
}

}  // namespace vela
