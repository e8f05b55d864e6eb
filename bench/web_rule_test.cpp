// The web view's 规则测试 of a board page of 1 MiB served on loopback: the form's
// POST answered by the site (the scheme checked, the page fetched, cut and
// matched, every title as recorded and every link on the page), wall time.
//
//   build/bench/vela_web_rule_test

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "fetch/percent_codec.h"
#include "store/database.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"
#include "web/database_identity.h"
#include "web/web_site.h"

namespace {

// 1 MiB of list: records of about 500 bytes, each a link and a title.
std::string Board() {
    std::string page = "<html><body><ul class=\"threads\">\r\n";
    const std::string filler(400, 'x');
    for (int i = 0; page.size() < (1u << 20); ++i) {
        const std::string n = std::to_string(100000 + i);
        page += "<li id=" + n + "><a href=\"/t/" + n + "\">Thread " + n +
                " on the weekly board</a><span class=\"x\">" + filler + "</span></li>\r\n";
    }
    return page + "</ul></body></html>";
}

std::string Field(const std::string& body, const std::string& name) {
    const std::string marker = "name=\"" + name + "\" value=\"";
    const std::size_t at = body.find(marker);
    if (at == std::string::npos) return {};
    const std::size_t start = at + marker.size();
    return body.substr(start, body.find('"', start) - start);
}

void RuleTestOfAOneMiBBoard(benchmark::State& state) {
    const std::string board = Board();
    vela::test::LoopbackHttpServer pages([&](const std::string&) {
        return vela::test::CannedReply{vela::test::SimpleResponse("200 OK", board)};
    });
    vela::test::TestDatabaseFile file;
    vela::ReadConnections reader(file.path());
    vela::CheckBoard checks;
    vela::WebSite site(reader, checks,
                       vela::SiteSettings{"", vela::PathIdentity(file.path()), "127.0.0.1", {}});
    vela::WebRequest open{"GET", "/schemes/new/form", "127.0.0.1", "", "", ""};
    const vela::WebResponse form = site.Answer(open);
    const std::string* cookie = form.Header("Set-Cookie");
    vela::WebRequest post{"POST", "/schemes/new/form", "127.0.0.1", "", "", ""};
    post.cookie = cookie ? cookie->substr(0, cookie->find(';')) : "";
    post.origin = "http://127.0.0.1";
    post.contentType = "application/x-www-form-urlencoded";
    const auto add = [&](const std::string& name, const std::string& value) {
        post.body += (post.body.empty() ? "" : "&") + name + "=" + vela::PercentEncode(value);
    };
    add("csrf", Field(form.body, "csrf"));
    add("url", pages.Url("/board"));
    add("before", "<ul class=\"threads\">");
    add("after", "</ul>");
    add("pattern", "<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>");
    add("link", "http://bbs.example[2]");
    add("title_group", "3");
    add("exclude", "/7$/");
    add("do", "test");
    std::size_t matches = 0;
    for (auto _ : state) {
        const vela::WebResponse answer = site.Answer(post);
        if (answer.status != 200) state.SkipWithError("the rule test was not answered");
        matches = 0;
        for (std::size_t at = answer.body.find("<li"); at != std::string::npos;
             at = answer.body.find("<li", at + 1)) {
            ++matches;
        }
    }
    state.counters["matches"] = static_cast<double>(matches);
}
BENCHMARK(RuleTestOfAOneMiBBoard)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
