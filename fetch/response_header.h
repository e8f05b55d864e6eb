#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The response header of one request, read line by line as libcurl hands the lines
// over. Every block opened by a status line replaces the one before (a 1xx answer,
// then the final one); a block that grows past the limit is not kept.

namespace vela {

// Raw response headers fit when they are shorter than this.
inline constexpr std::size_t kResponseHeaderLimit = 5000;

struct ResponseHeader {
    bool inBlock = false;         // between a status line and the blank line after it
    bool headerComplete = false;  // a whole final header block arrived
    bool headerTooLong = false;
    bool endAtHeader = false;  // the answer has no body even if it announces one
    std::string header;        // the last header block, lines ended by CR LF
    int status = 0;
};

// Takes one header line, its line end included or not. False when the transfer
// is to end here: the final header is complete and `endAtHeader` is set.
bool ReadHeaderLine(ResponseHeader& response, std::string_view line);

// The headers as a fetch hands them back: the final block with every letter case
// of "Set-Cookie" written as "Set-Cookie"; when no complete block arrived, or it
// was too long, as many spaces as the limit.
std::string ResponseHeaderText(const ResponseHeader& response);

}  // namespace vela
