// The parts of a page address, from an address made by the fuzzer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fetch/gbk_search.h"
#include "fetch/url_parts.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view address(reinterpret_cast<const char*>(data), size);

    const std::string host = vela::UrlHost(address);
    const std::string hostAndPort = vela::UrlHost(address, true);
    FUZZ_CHECK(hostAndPort.starts_with(host));
    // Lower case and without a ":", apart from the bytes of double-byte characters
    // (any byte after one of 0x80 or above belongs to its character).
    for (std::size_t i = 0; i < host.size(); i += vela::GbkCharLength(host, i)) {
        FUZZ_CHECK(!(host[i] >= 'A' && host[i] <= 'Z'));
        FUZZ_CHECK(host[i] != ':');
    }

    const int port = vela::UrlPort(address);
    FUZZ_CHECK(port >= 0 && port <= 100000);

    // The path is the end of the address itself, or "/" when there is none.
    const std::string path = vela::UrlPath(address);
    FUZZ_CHECK(path.starts_with('/'));
    FUZZ_CHECK(path == "/" || address.ends_with(path));
    return 0;
}
