#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/text_between.h"

namespace vela {
namespace {

constexpr std::size_t k10MiB = std::size_t{10} << 20;

// A list page of about `size` bytes in GBK: rows of markup with Chinese titles
// (some of whose trail bytes are "[" or "]"), the region markers at the very end
// so the search crosses the whole page.
std::string GbkPage(std::size_t size) {
    const std::string row =
        "<tr><td class=\"t\"><a href=\"/thread-12345-1-1.html\">\xD6\xD0\xCE\xC4\xB1\xEA"
        "\xCC\xE2 \xB0[\xB0] news</a></td><td>2024-01-01</td></tr>\r\n";
    std::string page;
    page.reserve(size + 64);
    while (page.size() + row.size() < size) page += row;
    page += "<!--list begin-->[1][2]<!--list end-->";
    return page;
}

std::string Utf8Page(std::size_t size) {
    const std::string row =
        "<tr><td><a href=\"/t/1.html\">中文标题，新闻　测试 news</a></td><td>2024</td></tr>\n";
    std::string page;
    page.reserve(size + row.size());
    while (page.size() < size) page += row;
    return page;
}

void BM_TextBetween(benchmark::State& state, std::size_t size) {
    const std::string page = GbkPage(size);
    for (auto _ : state) {
        std::string region = TextBetween(page, "<!--list begin-->", "<!--list end-->");
        benchmark::DoNotOptimize(region);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK_CAPTURE(BM_TextBetween, 10MiB, k10MiB)->Unit(benchmark::kMillisecond);

void BM_TextsBetween(benchmark::State& state, std::size_t size) {
    // Every row holds a pair, so the scan stops about 70,000 times.
    const std::string page = GbkPage(size);
    std::vector<std::string> items;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextsBetween(page, "<td>", "</td>", items));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK_CAPTURE(BM_TextsBetween, 10MiB, k10MiB)->Unit(benchmark::kMillisecond);

// A needle that almost matches everywhere: a naive search would take
// size x needle length steps.
void BM_GbkFind(benchmark::State& state, std::size_t size) {
    const std::string text(size, 'a');
    const std::string needle = std::string(1000, 'a') + "b";
    for (auto _ : state) benchmark::DoNotOptimize(GbkFind(text, needle));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK_CAPTURE(BM_GbkFind, 10MiB_near_misses, k10MiB)->Unit(benchmark::kMillisecond);

void BM_Utf8ToGbk(benchmark::State& state, std::size_t size) {
    const std::string page = Utf8Page(size);
    for (auto _ : state) {
        std::string gbk = Utf8ToGbk(page);
        benchmark::DoNotOptimize(gbk);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK_CAPTURE(BM_Utf8ToGbk, 10MiB, k10MiB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vela
