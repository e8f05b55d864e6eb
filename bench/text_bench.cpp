#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/record_plan.h"
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

std::string RepeatRows(const std::string& row, std::size_t size) {
    std::string page;
    page.reserve(size + row.size());
    while (page.size() < size) page += row;
    return page;
}

// A list page in UTF-8, mostly markup.
std::string Utf8Page(std::size_t size) {
    return RepeatRows(
        "<tr><td><a href=\"/t/1.html\">中文标题，新闻　测试 news</a></td><td>2024</td></tr>\n",
        size);
}

// An article page in UTF-8: long paragraphs of Chinese, little markup.
std::string Utf8CjkPage(std::size_t size) {
    return RepeatRows(
        "<p>今天下午，市气象台发布了暴雨黄色预警信号。预计未来三小时内，本市大部分地区将出现"
        "强降雨，局部伴有雷电和短时大风。请广大市民注意防范，尽量减少外出；驾车出行时要"
        "减速慢行，远离低洼路段。相关部门已经做好了各项应急准备工作。</p>\n",
        size);
}

// A modern forum page: Thai text and emoji, none of which GBK can hold, between
// markup and a few Chinese characters.
std::string Utf8UnmappablePage(std::size_t size) {
    return RepeatRows("<div class=\"post\">สวัสดีครับ ยินดีต้อนรับ 😀🎉👍🔥 回复 ภาษาไทย 🙏✨</div>\n", size);
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

void BM_Utf8ToGbk(benchmark::State& state, std::string (*makePage)(std::size_t), std::size_t size) {
    const std::string page = makePage(size);
    for (auto _ : state) {
        std::string gbk = Utf8ToGbk(page);
        benchmark::DoNotOptimize(gbk);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK_CAPTURE(BM_Utf8ToGbk, 10MiB, Utf8Page, k10MiB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Utf8ToGbk, 10MiB_cjk_dense, Utf8CjkPage, k10MiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Utf8ToGbk, 1MiB_unmappable, Utf8UnmappablePage, std::size_t{1} << 20)
    ->Unit(benchmark::kMillisecond);

// The page arrives by value, as the run hands it over; the copy is not timed.
void BM_RemoveCrLf(benchmark::State& state, std::size_t size) {
    const std::string page = GbkPage(size);
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = page;
        state.ResumeTiming();
        std::string out = RemoveCrLf(std::move(copy));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK_CAPTURE(BM_RemoveCrLf, 10MiB, k10MiB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vela
