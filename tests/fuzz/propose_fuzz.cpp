// The list finder and the scheme maker on any page: the first byte picks how the
// page is read (GBK or UTF-8 turned into the engine's GBK text), the rest is the
// page. Every node of the tree lies inside the text; every scheme made compiles,
// its markers cut a region out of the page, and its pattern finds as many
// matches there as the list has records, where the engine would look.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/page_regex.h"
#include "engine/record_plan.h"
#include "fetch/encoding.h"
#include "fetch/text_between.h"
#include "propose/html_tree.h"
#include "propose/list_finder.h"
#include "propose/scheme_maker.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool gbk = (data[0] & 1) != 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string text =
        vela::RemoveCrLf(gbk ? vela::BytesToText(bytes) : vela::Utf8ToGbk(bytes));

    const vela::HtmlTree tree(text);
    for (const vela::HtmlNode& node : tree.nodes()) {
        FUZZ_CHECK(node.begin <= node.startTagEnd && node.startTagEnd <= node.end);
        FUZZ_CHECK(node.end <= tree.text().size());
        for (const vela::TextSpan span : {node.id, node.cls, node.href}) {
            FUZZ_CHECK(span.begin + span.length <= tree.text().size());
        }
    }

    const std::vector<vela::FoundList> lists = vela::FindLists(tree, 6);
    for (const vela::FoundList& list : lists) {
        FUZZ_CHECK(list.records.size() == list.links.size());
        FUZZ_CHECK(list.records.size() >= vela::kMinRecords);
        vela::Scheme scheme;
        std::vector<vela::ExpectedItem> expected;
        if (!vela::MakeScheme(tree, list, "http://fuzz.example/a/b.html", scheme, expected))
            continue;
        FUZZ_CHECK(expected.size() == list.records.size());
        FUZZ_CHECK(!scheme.after.empty());
        vela::PageRegex regex;
        FUZZ_CHECK(regex.CompilePattern(scheme.pattern, false));
        FUZZ_CHECK(regex.CaptureGroupCount() >= scheme.titleGroup);
        std::string region = text;
        vela::CutTextBetween(region, scheme.before, scheme.after);
        const std::vector<vela::MatchRecord> matches = regex.FindAllMatches(region);
        for (const vela::MatchRecord& match : matches) {
            (void)vela::ComposeLink(scheme.linkTemplate, match, region);
        }
    }
    return 0;
}
