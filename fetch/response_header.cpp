#include "fetch/response_header.h"

#include "fetch/gbk_search.h"

namespace vela {

bool ReadHeaderLine(ResponseHeader& response, std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (!response.inBlock) {
        // Between blocks only a status line opens a new one (the final answer
        // after a 1xx one); anything else there is a trailer of the body.
        if (!line.starts_with("HTTP/")) return true;
        response.inBlock = true;
        response.headerComplete = false;
        response.headerTooLong = false;
        response.header.clear();
        response.status = 0;
        const std::size_t space = line.find(' ');
        for (std::size_t i = space + 1; space != std::string_view::npos && i < line.size() &&
                                        i < space + 4 && line[i] >= '0' && line[i] <= '9';
             ++i) {
            response.status = response.status * 10 + (line[i] - '0');
        }
    }
    if (!response.headerTooLong) {
        response.header.append(line).append("\r\n");
        if (response.header.size() >= kResponseHeaderLimit) {
            response.headerTooLong = true;
            std::string().swap(response.header);
        }
    }
    if (line.empty()) {
        response.inBlock = false;
        response.headerComplete = response.status < 100 || response.status > 199;
        if (response.headerComplete && response.endAtHeader) return false;
    }
    return true;
}

std::string ResponseHeaderText(const ResponseHeader& response) {
    if (response.headerComplete && !response.headerTooLong) {
        return GbkReplaceAll(response.header, "Set-Cookie", "Set-Cookie", true);
    }
    return std::string(kResponseHeaderLimit, ' ');
}

}  // namespace vela
