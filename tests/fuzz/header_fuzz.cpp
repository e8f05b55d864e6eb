// The handling of a response header: raw header bytes from the fuzzer, handed
// over line by line as libcurl does, then the header text a fetch returns, the
// cookies taken from it and merged into the ones sent, and its Content-Type with
// the encoding it gives the same bytes read as a page.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fetch/cookies.h"
#include "fetch/page_charset.h"
#include "fetch/response_header.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    vela::ResponseHeader response;
    response.endAtHeader = in.ConsumeBool();
    std::string sent = in.ConsumeRandomLengthString(256);
    const std::string raw = in.ConsumeRemainingBytesAsString();

    bool ended = false;
    std::string_view rest(raw);
    while (!rest.empty() && !ended) {
        const std::size_t lineEnd = rest.find('\n');
        const std::size_t length = lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1;
        ended = !vela::ReadHeaderLine(response, rest.substr(0, length));
        rest.remove_prefix(length);
        FUZZ_CHECK(response.status >= 0 && response.status <= 999);
        FUZZ_CHECK(response.header.size() < vela::kResponseHeaderLimit);
    }
    // A transfer ends early only for a whole final header that nothing may follow.
    if (ended) FUZZ_CHECK(response.endAtHeader && response.headerComplete);

    const std::string text = vela::ResponseHeaderText(response);
    if (response.headerComplete && !response.headerTooLong) {
        // A whole block: a status line to a blank line.
        FUZZ_CHECK(text.starts_with("HTTP/") && text.ends_with("\r\n\r\n"));
        FUZZ_CHECK(text.size() == response.header.size());
    } else {
        FUZZ_CHECK(text == std::string(vela::kResponseHeaderLimit, ' '));
    }

    std::string received = vela::CollectResponseCookies(text);
    FUZZ_CHECK(received.size() <= text.size());
    FUZZ_CHECK(vela::MergeCookies(sent, received) == sent);

    const std::string contentType = vela::ContentTypeOf(raw);
    FUZZ_CHECK(contentType.size() <= raw.size());
    vela::PageIsGbk(contentType, raw);
    return 0;
}
