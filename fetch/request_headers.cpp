#include "fetch/request_headers.h"

#include <algorithm>

#include "fetch/gbk_search.h"
#include "fetch/text_between.h"

namespace vela {
namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsBlank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

std::string AgentFromHeaders(std::string_view headers) {
    if (!GbkContains(headers, "User-Agent:", true)) return std::string(kDefaultAgent);
    std::string agent = GbkTrim(TextBetween(std::string(headers) + "\r\n", "User-Agent:", kCrLf));
    if (agent.empty()) {
        // The line is written in another letter case: fall back to what follows
        // the first ":" of the whole text.
        const std::size_t colon = GbkFind(headers, ":");
        agent = GbkTrim(headers.substr(colon + 1));
    }
    // The agent becomes a header value of its own; a line break would start
    // another header.
    agent.resize(std::min(agent.size(), agent.find_first_of("\r\n")));
    return GbkTrim(agent);
}

std::string BuildHeaderBlock(std::string_view headers, std::string_view url,
                             std::string_view cookie) {
    std::string block(headers);
    if (block.empty()) {
        block = "Accept: */*";
    } else if (!GbkContains(block, "Accept:")) {
        block.append("\r\nAccept: */*");
    }
    if (!GbkContains(block, "Referer:")) block.append("\r\nReferer: ").append(url);
    if (!GbkContains(block, "Accept-Language:")) block.append("\r\nAccept-Language: zh-cn");
    if (!GbkContains(block, "Content-Type:")) {
        block.append("\r\nContent-Type: application/x-www-form-urlencoded");
    }
    if (!cookie.empty()) {
        block.append(GbkContains(cookie, "Cookie:") ? "\r\n" : "\r\nCookie: ").append(cookie);
    }
    return block;
}

std::vector<std::string> CurlHeaderLines(std::string_view block, bool sendsBody) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < block.size()) {
        std::size_t stop = block.find_first_of("\r\n", pos);
        if (stop == std::string_view::npos) stop = block.size();
        std::string_view line = block.substr(pos, stop - pos);
        pos = stop + (block.substr(stop, 2) == kCrLf ? 2 : 1);
        line = line.substr(0, line.find('\0'));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        if (IsBlank(line.substr(colon + 1))) {
            // libcurl reads "Name:" as "remove this header" and "Name;" as "send it
            // empty".
            lines.push_back(std::string(line.substr(0, colon)) + ";");
        } else {
            lines.emplace_back(line);
        }
    }
    if (!HasHeaderLine(lines, "Accept")) lines.emplace_back("Accept:");
    if (!HasHeaderLine(lines, "Expect")) lines.emplace_back("Expect:");
    if (sendsBody && !HasHeaderLine(lines, "Content-Type")) lines.emplace_back("Content-Type:");
    return lines;
}

namespace {

bool IsHeaderLine(std::string_view line, std::string_view name, std::string_view lowerName) {
    if (line.size() <= name.size()) return false;
    const char sep = line[name.size()];
    return (sep == ':' || sep == ';') && GbkAsciiLower(line.substr(0, name.size())) == lowerName;
}

}  // namespace

bool HasHeaderLine(const std::vector<std::string>& lines, std::string_view name) {
    const std::string wanted = GbkAsciiLower(name);
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return IsHeaderLine(line, name, wanted); });
}

std::vector<std::string> WithoutHeaderLines(const std::vector<std::string>& lines,
                                            std::string_view name) {
    const std::string wanted = GbkAsciiLower(name);
    std::vector<std::string> kept;
    kept.reserve(lines.size());
    for (const std::string& line : lines) {
        if (!IsHeaderLine(line, name, wanted)) kept.push_back(line);
    }
    return kept;
}

}  // namespace vela
