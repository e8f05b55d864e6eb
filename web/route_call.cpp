#include "route_call.h"

#include "article_query.h"
#include "fetch/percent_codec.h"

namespace vela {

QueryParams ParseQuery(std::string_view query) {
    QueryParams params;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (!pair.empty()) {
            params.emplace_back(PercentDecode(pair.substr(0, eq), PlusSign::Blank),
                                eq == std::string_view::npos
                                    ? ""
                                    : PercentDecode(pair.substr(eq + 1), PlusSign::Blank));
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return params;
}

std::optional<std::string> QueryParam(const QueryParams& params, std::string_view name) {
    for (const auto& [n, v] : params) {
        if (n == name) return v;
    }
    return std::nullopt;
}

bool NumberParam(const QueryParams& params, std::string_view name, int64_t fallback,
                 int64_t& value) {
    const auto text = QueryParam(params, name);
    if (!text || text->empty()) {
        value = fallback;
        return true;
    }
    return ParseId(*text, value);
}

WebResponse Plain(int status, std::string text) {
    WebResponse r;
    r.status = status;
    r.contentType = "text/plain; charset=utf-8";
    r.body = std::move(text) + "\n";
    return r;
}

}  // namespace vela
