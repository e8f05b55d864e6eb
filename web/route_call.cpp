#include "route_call.h"

#include "article_query.h"

namespace vela {

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
