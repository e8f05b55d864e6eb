#include "engine/scheme_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "engine/record_plan.h"
#include "fetch/encoding.h"
#include "store/database.h"
#include "store/sql_clean.h"
#include "tests/support/board_page.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using test::BoardPage;
using test::CannedReply;
using test::LoopbackHttpServer;
using test::SimpleResponse;
using test::UnusedLoopbackPort;

// Everything a run reports, as plain values.
class RecordedReport : public RunReport {
public:
    bool Stopped() override { return stop; }
    void Status(const std::string& line) override { lines.push_back(line); }
    void Region(const std::string& region) override { regions.push_back(region); }
    void Statement(const std::string& sql, const StatementOutcome& outcome) override {
        statements.push_back(sql);
        if (!outcome.ok) failures.push_back(outcome.code);
    }
    void NewArticlesFound() override { ++found; }
    void Recorded(const Scheme&, const ArticleInsert& article, const std::string&) override {
        titles.emplace_back(article.title);
        // A stop asked for while an article is recorded: nothing follows it.
        if (stopAfterRecorded > 0 && static_cast<int>(titles.size()) == stopAfterRecorded) {
            stop = true;
        }
    }
    void Pause(int) override { ++pauses; }

    bool stop = false;
    int stopAfterRecorded = 0;
    std::vector<std::string> lines, regions, statements, titles;
    std::vector<int> failures;
    int found = 0, pauses = 0;
};

// A database file with one scheme for the loopback server's board page, run by
// the engine alone: no window, no Qt.
class SchemeRunTest : public ::testing::Test {
protected:
    SchemeRunTest()
        : server(
              [this](const std::string&) { return CannedReply{SimpleResponse("200 OK", page)}; }) {
        db.OpenDatabase(file.path(), false);
        timings.insertPauseMs = 0;
        timings.connectTimeoutMs = timings.stallTimeoutMs = 2000;
    }

    void AddScheme(int type = 0, const std::string& arttile = "", const std::string& url = "") {
        db.ExecSql(
            "insert into rule(code,name,url,cookie,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values('1','board','" +
            (url.empty() ? server.Url("/board") : url) + "','sid=1','TestAgent','" +
            SqlQuote(arttile) +
            "','http://bbs.example[2]','<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>','<ul>',"
            "'</ul>','3','1','1','1','0','" +
            std::to_string(type) + "')");
    }

    // The scheme as the runner reads it: its database row.
    Scheme StoredScheme() {
        return SchemeFromCells(test::QueryRows(db, "select * from rule").at(0));
    }

    SchemeRun Run() { return Run(StoredScheme()); }
    SchemeRun Run(const Scheme& scheme) { return MonitorScheme(scheme, db, timings, report); }

    TextTable Rows(const std::string& sql) { return test::QueryRows(db, sql); }

    test::TestDatabaseFile file;
    Database db;
    MonitorTimings timings;
    RecordedReport report;
    std::string page = BoardPage({3, 2, 1});
    LoopbackHttpServer server;
};

TEST_F(SchemeRunTest, FirstRunStoresThePageAndMovesTheMarker) {
    AddScheme();
    SchemeRun run = Run();
    EXPECT_EQ(run.stored, 3);
    EXPECT_FALSE(run.stopped);
    EXPECT_TRUE(run.markerMissing) << "no article seen yet";
    EXPECT_EQ(Rows("select planname,planid,title,url,other,issoucang from info order by id"),
              (TextTable{{"board", "1", "Title 1", "http://bbs.example/t/1", "1", "0"},
                         {"board", "1", "Title 2", "http://bbs.example/t/2", "2", "0"},
                         {"board", "1", "Title 3", "http://bbs.example/t/3", "3", "0"}}));
    EXPECT_EQ(Rows("select arttile,arturl,lastid from rule"),
              (TextTable{{"Title 3", "http://bbs.example/t/3", "0"}}));
    EXPECT_EQ(report.lines,
              (std::vector<std::string>{"\r\n" + Gbk("出错！无法在源码中找到最后文章标记！")}));
    ASSERT_EQ(report.regions.size(), 1u);
    EXPECT_EQ(report.regions[0].find("\r\n"), std::string::npos) << "CR LF pairs are removed";
    // Three inserts oldest first, then the scheme's row; every one succeeded.
    ASSERT_EQ(report.statements.size(), 4u);
    EXPECT_NE(report.statements[0].find("'Title 1'"), std::string::npos);
    EXPECT_EQ(report.statements[3].rfind("update rule set arttile='Title 3'", 0), 0u);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.found, 1);
    EXPECT_EQ(report.pauses, 3);
    // The request carried the scheme's cookie and agent.
    std::string request = server.Requests().at(0);
    EXPECT_NE(request.find("Cookie: sid=1\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("User-Agent: TestAgent\r\n"), std::string::npos) << request;
}

TEST_F(SchemeRunTest, LaterRunsStoreOnlyWhatIsNew) {
    AddScheme();
    Run();
    report = {};
    EXPECT_EQ(Run().stored, 0);
    EXPECT_TRUE(report.lines.empty());
    page = BoardPage({5, 4, 3, 2, 1});
    EXPECT_EQ(Run().stored, 2);
    EXPECT_EQ(Rows("select title from info where id>3 order by id"),
              (TextTable{{"Title 4"}, {"Title 5"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 5"}}));
}

TEST_F(SchemeRunTest, StopRunsNothingFurther) {
    AddScheme();
    report.stop = true;
    SchemeRun run = Run();
    EXPECT_TRUE(run.stopped);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(report.statements.empty());
    EXPECT_TRUE(report.lines.empty()) << "a stopped fetch is not judged";

    // A stop after the first stored article: that article and its marker, no more.
    report = {};
    report.stopAfterRecorded = 1;
    run = Run();
    EXPECT_TRUE(run.stopped);
    EXPECT_EQ(Rows("select title from info"), (TextTable{{"Title 1"}}));
    EXPECT_EQ(Rows("select arttile,lasttime from rule"), (TextTable{{"Title 1", ""}}));
}

TEST_F(SchemeRunTest, UnansweredSchemeFails) {
    AddScheme(0, "", "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/board");
    SchemeRun run = Run();
    EXPECT_TRUE(run.noAnswer);
    EXPECT_TRUE(run.regionEmpty);
    EXPECT_TRUE(run.failed());
    EXPECT_EQ(run.fetchFailure, FetchFailure::kConnectionRefused);
    EXPECT_EQ(run.fetchFailureText, "connection refused");
    ASSERT_EQ(report.lines.size(), 3u);
    EXPECT_EQ(report.lines[0], "\r\n" + Gbk("出错！连接被拒绝")) << "the cause comes first";
    EXPECT_TRUE(report.statements.empty());
    EXPECT_TRUE(Rows("select * from info").empty());
}

// A page cut at the size limit is judged as far as it goes, and the status line
// says that it was cut, before the lines of what is missing.
TEST_F(SchemeRunTest, PageCutAtTheSizeLimitIsNamed) {
    AddScheme();
    page = std::string(5000, ' ') + BoardPage({3, 2, 1});
    timings.bodyLimitBytes = 1024;
    const SchemeRun run = Run();
    EXPECT_FALSE(run.noAnswer);
    EXPECT_TRUE(run.regionEmpty) << "the list was cut off";
    EXPECT_EQ(run.fetchFailure, FetchFailure::kSizeLimit);
    EXPECT_EQ(run.fetchFailureText, "size limit reached (1 KiB)");
    ASSERT_FALSE(report.lines.empty());
    EXPECT_EQ(report.lines[0], "\r\n" + Gbk("出错！页面超过大小上限（1 KiB），只取了前 1 KiB"));
    EXPECT_EQ(report.lines.back(), "\r\n" + Gbk(kRegionEmptyText));
}

// Characters beyond ASCII in the address go out percent-encoded in the page's
// encoding; the stored address stays as typed. 列表 is C1 D0 B1 ED in GBK.
TEST_F(SchemeRunTest, AddressGoesOutEncodedAsItsPage) {
    const std::string path = "/\xC1\xD0\xB1\xED?q=%41&t=\xB1\xED";
    for (const auto& [code, requestLine] :
         {std::pair<std::string, std::string>{"1", "GET /%C1%D0%B1%ED?q=%41&t=%B1%ED HTTP/1.1"},
          {"0", "GET /%E5%88%97%E8%A1%A8?q=%41&t=%E8%A1%A8 HTTP/1.1"}}) {
        SCOPED_TRACE(code);
        db.ExecSql("delete from rule");
        AddScheme(0, "", server.Url(path));
        db.ExecSql("update rule set code='" + code + "'");
        EXPECT_EQ(Run().stored, 3);
        const std::string request = server.Requests().back();
        EXPECT_EQ(request.substr(0, request.find("\r\n")), requestLine);
        EXPECT_EQ(Rows("select url from rule"), (TextTable{{server.Url(path)}}));
    }
}

// Ids past 2^63 - 1 are stored one article each, the stored id holds their exact
// digits, and later ids are still found new. A match without an id is said once.
TEST_F(SchemeRunTest, ArticleIdsOfAnyLengthAndMatchesWithoutOne) {
    AddScheme(8);
    const auto item = [](const std::string& id, const std::string& title) {
        return "<li id=" + id + "><a href=\"/t/" + title + "\">" + title + "</a></li>";
    };
    page = "<ul>" + item("9223372036854775809", "B") + item("9223372036854775808", "A") +
           item("", "none1") + item("", "none2") + "</ul>";
    db.ExecSql("update rule set regular='<li id=(\\d*)><a href=\"(.*?)\">(.*?)</a>'");
    SchemeRun run = Run();
    EXPECT_EQ(run.stored, 2);
    EXPECT_EQ(Rows("select title from info order by id"), (TextTable{{"A"}, {"B"}}));
    EXPECT_EQ(Rows("select lastid from rule"), (TextTable{{"9223372036854775809"}}));
    EXPECT_EQ(run.unnumberedIds, 2);
    EXPECT_FALSE(run.failed());
    EXPECT_EQ(report.lines,
              (std::vector<std::string>{
                  "\r\n" +
                  Gbk("注意：有 2 篇文章的ID为空或不是数字，按 0 比较（第一篇的标题：none1）")}));

    page = "<ul>" + item("18446744073709551616", "C") + item("9223372036854775809", "B") + "</ul>";
    run = Run();
    EXPECT_EQ(run.stored, 1);
    EXPECT_EQ(Rows("select lastid from rule"), (TextTable{{"18446744073709551616"}}));
    EXPECT_EQ(run.unnumberedIds, 0);
}

// One list entry of a page: its article id and title.
struct Entry {
    int id;
    std::string title;
};

// A list page in the board's form, its entries given newest first; an OldestFirst
// page lists them the other way round.
std::string ListPage(const std::vector<Entry>& newestFirst, bool oldestFirst) {
    std::vector<Entry> entries = newestFirst;
    if (oldestFirst) std::reverse(entries.begin(), entries.end());
    std::string page = "<html><ul>\r\n";
    for (const Entry& e : entries) {
        const std::string n = std::to_string(e.id);
        page += "<li id=" + n + "><a href=\"/t/" + n + "\">" + e.title + "</a></li>\r\n";
    }
    return page + "</ul></html>";
}

std::vector<Entry> Articles(int newest, int oldest) {
    std::vector<Entry> entries;
    for (int id = newest; id >= oldest; --id)
        entries.push_back({id, "Article " + std::to_string(id)});
    return entries;
}

// Each case is a sequence of pages shown to one scheme, run after run (the last
// page twice). Whatever the titles hold, every article is stored exactly once, and
// once a run has stored one, the next run finds its marker.
TEST_F(SchemeRunTest, EveryArticleIsStoredOnceWhateverItsTitleHolds) {
    const std::string quote = Gbk("say #引号hi#引号");
    struct Case {
        const char* what;
        std::vector<std::vector<Entry>> pages;
        int stopAfter;  // a stop after this many articles of the first run
    } cases[] = {
        {"the last title is part of newer ones",
         {{{1, "Title 1"}}, {{11, "Title 11"}, {10, "Title 10"}, {1, "Title 1"}}},
         0},
        {"a stop leaves a marker that newer titles contain", {Articles(300, 1)}, 29},
        {"the newest title holds the quote notation of the markers",
         {{{2, quote}, {1, "Title 1"}}, {{3, "Title 3"}, {2, quote}, {1, "Title 1"}}},
         0},
        {"the newest title is empty",
         {{{2, ""}, {1, "Title 1"}}, {{3, "Title 3"}, {2, ""}, {1, "Title 1"}}},
         0},
        {"untitled articles after a stop", {{{4, "Title 4"}, {3, ""}, {2, ""}, {1, "Title 1"}}}, 2},
    };
    for (const int type : {0, 2, 8}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", judgement mode " + std::to_string(type));
            db.ExecSql("delete from info; delete from rule");
            AddScheme(type);
            std::set<std::pair<std::string, std::string>> expected;
            bool stored = false;
            for (std::size_t p = 0; p <= c.pages.size(); ++p) {
                const auto& entries = c.pages[std::min(p, c.pages.size() - 1)];
                for (const Entry& e : entries) {
                    expected.insert({e.title, "http://bbs.example/t/" + std::to_string(e.id)});
                }
                page = ListPage(entries, type == 2);
                report = {};
                report.stopAfterRecorded = p == 0 ? c.stopAfter : 0;
                const SchemeRun run = Run();
                if (type != 8 && stored) {
                    EXPECT_FALSE(run.markerMissing) << "page " << p;
                }
                EXPECT_FALSE(run.regionEmpty) << "page " << p;
                stored = stored || run.stored > 0;
            }
            // A last run with nothing stopped stores the rest.
            report = {};
            Run();
            const TextTable rows = Rows("select title,url from info");
            std::multiset<std::pair<std::string, std::string>> got;
            for (const auto& row : rows) got.insert({row.at(0), row.at(1)});
            EXPECT_EQ(got.size(), rows.size());
            EXPECT_EQ(std::set(got.begin(), got.end()).size(), got.size()) << "stored twice";
            EXPECT_EQ(std::set(got.begin(), got.end()), expected);
            EXPECT_NE(Rows("select arttile from rule").at(0).at(0), "")
                << "an empty title never becomes the marker";
        }
    }
}

// Keywords on a loopback board, through the window's run and through the
// runner's two halves: only the matching articles are stored; the dropped ones
// count as seen, so the next cycle over the same page stores nothing.
TEST_F(SchemeRunTest, KeywordsStoreOnlyMatchingArticlesAndSeeTheRest) {
    for (const bool inHalves : {false, true}) {
        SCOPED_TRACE(inHalves ? "CheckScheme and RecordCheckedRuns" : "MonitorScheme");
        const auto runOnce = [&](const Scheme& scheme) {
            if (!inHalves) return Run(scheme);
            SchemeRun run = CheckScheme(scheme, timings, report);
            RecordCheckedRuns({&scheme}, {&run}, db, report);
            return run;
        };
        db.ExecSql("delete from info; delete from rule");
        AddScheme();
        page = BoardPage({3, 2, 1});
        const auto cycle = [&] {
            report = {};
            Scheme scheme = StoredScheme();
            scheme.fields.include = "title 2\n/^Title 4$/";
            return runOnce(scheme);
        };
        SchemeRun run = cycle();
        EXPECT_EQ(run.stored, 1);
        EXPECT_EQ(run.dropped, 2);
        EXPECT_EQ(Rows("select title from info"), (TextTable{{"Title 2"}}));
        EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 3"}}));
        EXPECT_EQ(report.lines.back(), "\r\n" + Gbk("1 篇新文章，2 篇被关键词过滤"));

        run = cycle();
        EXPECT_EQ(run.stored, 0);
        EXPECT_EQ(run.dropped, 0);
        EXPECT_FALSE(run.markerMissing);
        EXPECT_TRUE(report.lines.empty());

        page = BoardPage({6, 5, 4, 3, 2, 1});
        run = cycle();
        EXPECT_EQ(run.stored, 1);
        EXPECT_EQ(run.dropped, 2);
        EXPECT_EQ(Rows("select title from info order by id"),
                  (TextTable{{"Title 2"}, {"Title 4"}}));
        EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 6"}}));
    }
}

// Clean titles on a page with markup and entities: stored as read, and the
// stored marker is found again on the next cycle.
TEST_F(SchemeRunTest, CleanTitlesAreStoredAsReadAndTheMarkerIsFoundAgain) {
    AddScheme();
    const auto cycle = [&] {
        report = {};
        Scheme scheme = StoredScheme();
        scheme.fields.cleanTitles = true;
        return Run(scheme);
    };
    page =
        ListPage({{2, Gbk("<font color=red>置顶</font>官方&amp;玩家")}, {1, "<b>Old</b>"}}, false);
    EXPECT_EQ(cycle().stored, 2);
    EXPECT_EQ(Rows("select title from info order by id"),
              (TextTable{{"Old"}, {Gbk("置顶官方&玩家")}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{Gbk("置顶官方&玩家")}}));

    page = ListPage({{3, "New &lt;3&gt;"},
                     {2, Gbk("<font color=red>置顶</font>官方&amp;玩家")},
                     {1, "<b>Old</b>"}},
                    false);
    const SchemeRun run = cycle();
    EXPECT_EQ(run.stored, 1);
    EXPECT_FALSE(run.markerMissing);
    EXPECT_EQ(Rows("select title from info where id=3"), (TextTable{{"New <3>"}}));
}

// Keywords that cannot be used record nothing, and say so.
TEST_F(SchemeRunTest, KeywordProblemRecordsNothing) {
    AddScheme(0, "Title 1");
    Scheme scheme = StoredScheme();
    scheme.fields.exclude = "/(a+)+$/";
    const SchemeRun run = Run(scheme);
    EXPECT_EQ(run.keywordProblem,
              "keyword \"/(a+)+$/\": the regular expression could run away on a long title");
    EXPECT_TRUE(run.failed());
    EXPECT_EQ(run.stored, 0);
    EXPECT_TRUE(Rows("select * from info").empty());
    EXPECT_EQ(Rows("select arttile,lasttime from rule"), (TextTable{{"Title 1", ""}}));
    EXPECT_EQ(report.lines.back(),
              "\r\n" + Gbk("出错！关键词无法使用，没有记录任何文章：" + run.keywordProblem));
}

TEST(RuleTest, MatchesBetweenTheSchemesOwnMarkersAndRecordsNothing) {
    LoopbackHttpServer server([](const std::string&) {
        return CannedReply{SimpleResponse("200 OK", "<ul><li>a</li><li>b</li></ul>")};
    });
    Scheme scheme;
    scheme.url = server.Url("/");
    scheme.gbk = true;
    scheme.before = "<ul>";
    scheme.after = "</ul>";
    scheme.pattern = "<li>(.)</li>";
    RecordedReport report;
    SchemeRun run = TestScheme(scheme, MonitorTimings{}, report);
    EXPECT_EQ(run.region, "<li>a</li><li>b</li>");
    EXPECT_EQ(run.groupCount, 1);
    EXPECT_EQ(run.matches.size(), 2u);
    EXPECT_TRUE(report.statements.empty());
    EXPECT_FALSE(run.failed());
    EXPECT_EQ(run.droppedMatches, (std::vector<bool>{false, false}));

    // Each match the keywords would drop is marked.
    scheme.fields.exclude = "A";
    run = TestScheme(scheme, MonitorTimings{}, report);
    EXPECT_EQ(run.droppedMatches, (std::vector<bool>{true, false}));
}

TEST(BlockedSite, IsFoundAnywhereInTheAddressCaseSensitively) {
    EXPECT_TRUE(IsBlockedSite("http://www.lanqi.example/bbs"));
    EXPECT_FALSE(IsBlockedSite("http://www.LANQI.example/bbs"));
    EXPECT_FALSE(IsBlockedSite("http://bbs.example/"));
}

}  // namespace
}  // namespace vela
