#include "link_resolve.h"

#include <vector>

namespace vela {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// The scheme's length (without ":") when `text` starts with one, else 0.
std::size_t SchemeLength(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = Lower(text[i]);
        if (c == ':') return i;
        const bool ok = (c >= 'a' && c <= 'z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return 0;
    }
    return 0;
}

// The path with its "." and ".." segments removed.
std::string RemoveDots(std::string_view path) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    const bool absolute = !path.empty() && path.front() == '/';
    if (absolute) i = 1;
    while (i <= path.size()) {
        std::size_t slash = path.find('/', i);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view segment = path.substr(i, slash - i);
        const bool last = slash == path.size();
        if (segment == "..") {
            if (!out.empty()) out.pop_back();
            if (last) out.push_back({});
        } else if (segment == ".") {
            if (last) out.push_back({});
        } else {
            out.push_back(segment);
        }
        i = slash + 1;
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (k > 0) result += '/';
        result += out[k];
    }
    return result;
}

}  // namespace

std::string ResolveLink(std::string_view base, std::string_view reference) {
    if (SchemeLength(reference) > 0) return std::string(reference);
    const std::size_t schemeLength = SchemeLength(base);
    std::string scheme;
    for (std::size_t i = 0; i < schemeLength; ++i) scheme += Lower(base[i]);
    if ((scheme != "http" && scheme != "https") || base.substr(schemeLength, 3) != "://") {
        return std::string(reference);
    }
    const std::size_t hostAt = schemeLength + 3;
    std::size_t pathAt = base.find_first_of("/?#", hostAt);
    if (pathAt == std::string_view::npos) pathAt = base.size();
    const std::string origin(base.substr(0, pathAt));
    std::string_view rest = base.substr(pathAt);
    rest = rest.substr(0, rest.find('#'));
    const std::size_t queryAt = rest.find('?');
    const std::string_view basePath = rest.substr(0, queryAt);
    const std::string_view baseQuery =
        queryAt == std::string_view::npos ? std::string_view{} : rest.substr(queryAt);

    if (reference.substr(0, 2) == "//") return scheme + ":" + std::string(reference);
    if (reference.empty()) return origin + std::string(rest);
    if (reference.front() == '#') return origin + std::string(rest) + std::string(reference);
    if (reference.front() == '?') {
        return origin + std::string(basePath.empty() ? "/" : basePath) + std::string(reference);
    }
    (void)baseQuery;
    // The path part of the reference is resolved; its query and fragment kept.
    const std::size_t tailAt = reference.find_first_of("?#");
    const std::string_view refPath = reference.substr(0, tailAt);
    const std::string_view tail =
        tailAt == std::string_view::npos ? std::string_view{} : reference.substr(tailAt);
    std::string merged;
    if (refPath.front() == '/') {
        merged = std::string(refPath);
    } else {
        const std::size_t dir = basePath.rfind('/');
        merged = (dir == std::string_view::npos ? std::string("/")
                                                : std::string(basePath.substr(0, dir + 1))) +
                 std::string(refPath);
    }
    return origin + RemoveDots(merged) + std::string(tail);
}

}  // namespace vela
