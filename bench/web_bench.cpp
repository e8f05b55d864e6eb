// Processor time of one answer of the web view over 100,000 articles in 20
// schemes, without the network: the feed, the first page, a title search, each
// made anew and given again.

#include <benchmark/benchmark.h>

#include <memory>

#include "fetch/encoding.h"
#include "store/database.h"
#include "store/sql_clean.h"
#include "tests/support/test_database.h"
#include "web/database_identity.h"
#include "web/web_site.h"

namespace {

struct Site {
    Site() {
        vela::Database db;
        db.OpenDatabase(file.path(), false);
        std::string sql = "begin;";
        for (int s = 1; s <= 20; ++s) {
            sql += "insert into rule(id,name,url,isdo) values(" + std::to_string(s) + ",'" +
                   vela::SqlQuote(vela::Gbk("论坛版面 ") + std::to_string(s)) +
                   "','http://a/','1');";
        }
        const std::string title = vela::Gbk("【讨论】关于新版本发布后的若干问题与解决办法，第 ");
        for (int i = 0; i < 100'000; ++i) {
            const std::string scheme = std::to_string(i % 20 + 1);
            sql += "insert into info(planname,planid,title,url,other,addtime,issoucang) values('" +
                   vela::Gbk("论坛版面 ") + scheme + "','" + scheme + "','" + title +
                   std::to_string(i) + "','http://bbs.example/thread-" + std::to_string(i) +
                   ".html','" + vela::Gbk("回复 3") + "','2026-12-11 9:5 7','0');";
        }
        db.ExecSql(sql + "commit;");
        reader = std::make_unique<vela::ReadConnections>(file.path());
        site = std::make_unique<vela::WebSite>(
            *reader, board, vela::SiteSettings{"", vela::PathIdentity(file.path()), "", {}});
    }
    vela::test::TestDatabaseFile file;
    vela::CheckBoard board;
    std::unique_ptr<vela::ReadConnections> reader;
    std::unique_ptr<vela::WebSite> site;
};

Site& TheSite() {
    static Site site;
    return site;
}

void Answer(benchmark::State& state, const char* target) {
    Site& s = TheSite();
    vela::WebRequest request{"GET", target, "127.0.0.1:8571", "", "", ""};
    for (auto _ : state) {
        vela::WebResponse response = s.site->Answer(request);
        benchmark::DoNotOptimize(response.body.data());
    }
}
// Each address once: the answer is made anew every time.
void AnswerAnew(benchmark::State& state, const char* target) {
    Site& s = TheSite();
    vela::WebRequest request{"GET", "", "127.0.0.1:8571", "", "", ""};
    long n = 0;
    for (auto _ : state) {
        request.target = std::string(target) + "&n=" + std::to_string(++n);
        vela::WebResponse response = s.site->Answer(request);
        benchmark::DoNotOptimize(response.body.data());
    }
}
BENCHMARK_CAPTURE(AnswerAnew, feed, "/feed.atom?a=1");
BENCHMARK_CAPTURE(AnswerAnew, first_page, "/?a=1");
BENCHMARK_CAPTURE(AnswerAnew, title_search, "/?q=%E5%AE%89");

// The same address again, the database unchanged: the answer made before.
BENCHMARK_CAPTURE(Answer, feed, "/feed.atom");
BENCHMARK_CAPTURE(Answer, first_page, "/");
BENCHMARK_CAPTURE(Answer, scheme_feed, "/schemes/7/feed.atom");

}  // namespace
