#include <benchmark/benchmark.h>

#include "propose/proposal.h"
#include "tests/support/forum_page.h"

namespace vela {
namespace {

// From the page's bytes to ranked candidates, each checked by the engine's rule
// test on the page: a board page of range(0) bytes.
void BM_ProposeBoard(benchmark::State& state) {
    ProposeInput input;
    input.page = test::ForumPage(static_cast<std::size_t>(state.range(0)));
    input.url = "http://bbs.example/forum-2-1.html";
    std::size_t candidates = 0;
    for (auto _ : state) {
        const Proposal proposal = ProposeSchemes(input);
        candidates = proposal.candidates.size();
        benchmark::DoNotOptimize(candidates);
    }
    state.counters["candidates"] = static_cast<double>(candidates);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(input.page.size()));
}
BENCHMARK(BM_ProposeBoard)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vela
