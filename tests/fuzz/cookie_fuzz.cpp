// The cookie functions with cookie texts and raw headers from the fuzzer.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fetch/cookies.h"
#include "fetch/gbk_search.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string sent = in.ConsumeRandomLengthString(512);
    std::string received = in.ConsumeRandomLengthString(512);
    const std::string separator = in.ConsumeRandomLengthString(4);
    const std::string headers = in.ConsumeRemainingBytesAsString();

    const std::string name = vela::CookieName(received);
    FUZZ_CHECK(vela::GbkTrim(name) == name);

    // No piece is left twice; for any separator the text only gets shorter.
    FUZZ_CHECK(vela::DedupeItems(headers, separator).size() <= headers.size());
    for (std::string_view cookieSeparator : {";", "; "}) {
        std::set<std::string_view> pieces;
        const std::string once = vela::DedupeItems(headers, cookieSeparator);
        for (std::string_view piece : vela::GbkSplit(once, cookieSeparator)) {
            FUZZ_CHECK(pieces.insert(piece).second);
        }
    }

    // Each item is a piece of its own line, and lines are at least as far apart
    // as the items' separators.
    FUZZ_CHECK(vela::CollectResponseCookies(headers).size() <= headers.size());

    const std::string merged = vela::MergeCookies(sent, received);
    FUZZ_CHECK(merged == sent);
    // The inputs lost their spaces, so the only spaces left are the separators'
    // (a byte after one of 0x80 or above is part of that character, not a space),
    // and a cookie the response deleted is gone.
    for (std::size_t i = 0; i < merged.size(); i += vela::GbkCharLength(merged, i)) {
        if (merged[i] == ' ') FUZZ_CHECK(i > 0 && merged[i - 1] == ';');
    }
    for (std::string_view item : vela::GbkSplit(merged, "; ")) {
        FUZZ_CHECK(!item.ends_with("=deleted"));
    }
    return 0;
}
