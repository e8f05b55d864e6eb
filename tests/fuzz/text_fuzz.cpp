// TextBetween and TextsBetween with markers, options and text from the fuzzer.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fetch/text_between.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Start positions near the text and, now and then, far beyond it.
std::size_t Start(FuzzedDataProvider& in) {
    if (in.ConsumeBool())
        return std::numeric_limits<std::size_t>::max() - in.ConsumeIntegral<uint8_t>();
    return in.ConsumeIntegralInRange<std::size_t>(0, 80);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool ignoreCase = in.ConsumeBool();
    const bool withBegin = in.ConsumeBool();
    const bool withEnd = in.ConsumeBool();
    const std::size_t start = Start(in);
    const std::size_t maxLength = in.ConsumeIntegralInRange<std::size_t>(0, 40);
    const std::string begin = in.ConsumeRandomLengthString(16);
    const std::string end = in.ConsumeRandomLengthString(16);
    const std::string prefix = in.ConsumeRandomLengthString(8);
    const std::string suffix = in.ConsumeRandomLengthString(8);
    const std::string text = in.ConsumeRemainingBytesAsString();

    // What lies between two markers is a piece of the text.
    const std::string between = vela::TextBetween(text, begin, end, start, ignoreCase);
    FUZZ_CHECK(text.find(between) != std::string::npos);

    std::vector<std::string> items{"left over"};
    std::size_t pairs = 0;
    const std::size_t count =
        vela::TextsBetween(text, begin, end, items, !ignoreCase, maxLength, prefix, suffix,
                           withBegin, withEnd, start, [&] { ++pairs; });
    FUZZ_CHECK(count == items.size());
    // Every pair examined moves the scan on, so a text has at most one per byte
    // (and one more for the empty pair at its end).
    FUZZ_CHECK(pairs <= text.size() + 1);
    FUZZ_CHECK(count <= pairs);
    const std::string head = (withBegin ? begin : std::string()) + prefix;
    const std::string tail = suffix + (withEnd ? end : std::string());
    for (const std::string& item : items) {
        FUZZ_CHECK(!item.empty());
        FUZZ_CHECK(maxLength == 0 || item.size() < maxLength);
        FUZZ_CHECK(item.size() >= head.size() + tail.size());
        FUZZ_CHECK(item.starts_with(head) && item.ends_with(tail));
        const std::string inner = item.substr(head.size(), item.size() - head.size() - tail.size());
        FUZZ_CHECK(text.find(inner) != std::string::npos);
    }
    return 0;
}
