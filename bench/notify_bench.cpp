// The channels' side of a cycle: composing one service's split message for many
// articles, and keeping one message in the outbox (written, flushed, renamed,
// removed).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "notify/channel_url.h"
#include "notify/outbox.h"
#include "notify/service_table.h"

namespace {

vela::NotifyMessage Message(int count) {
    std::vector<vela::NotifyArticle> recorded;
    for (int i = 0; i < count; ++i) {
        recorded.push_back({std::to_string(i % 7), "方案" + std::to_string(i % 7),
                            "文章标题 <b>" + std::to_string(i) + "</b> & [x](y) 这是一篇新文章",
                            "https://bbs.example/thread-" + std::to_string(i) + ".html", "",
                            "2026-12-11 2:00 01"});
    }
    return vela::CycleMessage(recorded);
}

void BM_ComposeSplit(benchmark::State& state, const char* channel) {
    const vela::NotifyMessage message = Message(static_cast<int>(state.range(0)));
    vela::ChannelUrl url;
    std::string error;
    vela::ParseChannelUrl(channel, url, error);
    const vela::Service* service = vela::FindService(url.scheme);
    const vela::ServiceEndpoints endpoints;
    const vela::ComposeContext context{endpoints, 1700000000000};
    std::size_t requests = 0;
    for (auto _ : state) {
        const auto composed = service->compose(url, message, context);
        requests = composed.size();
        benchmark::DoNotOptimize(composed.data());
    }
    state.counters["requests"] = static_cast<double>(requests);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(BM_ComposeSplit, tgram, "tgram://1:A/7")->Arg(10)->Arg(1000)->Arg(10000);
BENCHMARK_CAPTURE(BM_ComposeSplit, dingtalk, "dingtalk://t?secret=S")->Arg(10)->Arg(10000);

void BM_OutboxKeepAndRemove(benchmark::State& state) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("vela_outbox_bench_" + std::to_string(::getpid()));
    vela::Outbox outbox(dir.string());
    vela::OutboxEntry entry;
    entry.channel = "tgram://1:A/7";
    entry.message = Message(static_cast<int>(state.range(0)));
    std::string error;
    for (auto _ : state) {
        if (!outbox.Add(entry, error)) state.SkipWithError(error.c_str());
        outbox.Remove(entry.name);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_OutboxKeepAndRemove)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
