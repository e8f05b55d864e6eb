// vela-cli propose: the command over a stand-in finder (what it fetches, what it
// prints, the file it writes), its usage errors as the built program gives them,
// and, with the real finder, the round trip from a proposed scheme to what a run
// stores.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/propose_command.h"
#include "engine/scheme_file.h"
#include "fetch/encoding.h"
#include "store/database.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using json = nlohmann::json;
using test::ChildOutcome;
using test::Lines;

const std::string kCli = VELA_CLI;

// What a command printed on each stream.
struct Printed {
    int exitCode = -1;
    std::string out, err;
};

// A stand-in for the finder: two candidates, the second with one item, and the
// input it was given.
struct FakeFinder {
    ProposeInput seen;
    int calls = 0;
    bool noList = false;

    Proposal operator()(const ProposeInput& input) {
        seen = input;
        ++calls;
        Proposal proposal;
        if (noList) {
            proposal.error = "no list found";
            return proposal;
        }
        Candidate board;
        board.score = 0.934;
        board.scheme.name = Gbk("论坛");
        board.scheme.gbk = input.encoding == PageEncoding::kGbk;
        board.scheme.url = Gbk(input.url);
        board.scheme.before = "<ul>";
        board.scheme.after = "</ul>";
        board.scheme.pattern = "<li><a href=\"(.*?)\">(.*?)</a>";
        board.scheme.linkTemplate = "http://bbs.example[1]";
        board.scheme.titleGroup = 2;
        board.scheme.cookie = input.cookie;
        board.scheme.userAgent = input.userAgent;
        for (int i = 1; i <= 5; ++i) {
            const std::string n = std::to_string(i);
            board.items.push_back({Gbk("标题" + n), "http://bbs.example/t/" + n});
        }
        Candidate side = board;
        side.score = 0.2;
        side.scheme.before = "<ol>";
        side.items.resize(1);
        proposal.candidates = {board, side};
        return proposal;
    }
};

class ProposeTest : public ::testing::Test {
protected:
    ProposeTest()
        : server([this](const std::string&) {
              return test::CannedReply{test::SimpleResponse(
                  "200 OK", page, "Content-Type: text/html; charset=GB2312\r\n")};
          }) {}

    Printed Propose(CliOptions options) {
        options.command = CliCommand::Propose;
        char* outText = nullptr;
        char* errText = nullptr;
        std::size_t outSize = 0, errSize = 0;
        Console console;
        console.out = open_memstream(&outText, &outSize);
        console.err = open_memstream(&errText, &errSize);
        Printed printed;
        printed.exitCode =
            ProposeCommand(options, console, [this](const ProposeInput& in) { return finder(in); });
        std::fclose(console.out);
        std::fclose(console.err);
        printed.out.assign(outText, outSize);
        printed.err.assign(errText, errSize);
        std::free(outText);
        std::free(errText);
        return printed;
    }

    CliOptions Address(const std::string& path = "/board") {
        CliOptions options;
        options.url = server.Url(path);
        return options;
    }

    test::TestDatabaseFile folder;  // a temporary folder for the files written
    std::string page = "<html><ul><li>\xD6\xD0</li></ul></html>";
    FakeFinder finder;
    test::LoopbackHttpServer server;
};

TEST_F(ProposeTest, FetchesAsACheckDoesAndListsTheCandidatesRanked) {
    CliOptions options = Address();
    options.cookie = "sid=1";
    options.userAgent = "Probe/1.0";
    const Printed printed = Propose(options);
    EXPECT_EQ(printed.exitCode, 0) << printed.err;
    EXPECT_EQ(printed.err, "");
    EXPECT_EQ(Lines(printed.out), (std::vector<std::string>{
                                      "1\t5 articles\tscore 0.93", "\t标题1", "\t标题2", "\t标题3",
                                      "\t… 2 more", "2\t1 articles\tscore 0.20", "\t标题1"}));
    // The request carried the scheme's cookie and identification; the finder got
    // the page as it came, its address and the encoding the answer named.
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_NE(request.find("\r\nCookie: sid=1\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Probe/1.0\r\n"), std::string::npos) << request;
    EXPECT_EQ(finder.seen.page, page);
    EXPECT_EQ(finder.seen.url, server.Url("/board"));
    EXPECT_EQ(finder.seen.encoding, PageEncoding::kGbk);
    EXPECT_EQ(finder.seen.contentType, "text/html; charset=GB2312");
    EXPECT_EQ(finder.seen.userAgent, "Probe/1.0");
    EXPECT_EQ(finder.seen.maxCandidates, 5u);

    // --encoding overrides what the answer says, and an address beyond ASCII goes
    // out in it (UTF-8 when it is to be found); without --user-agent the
    // identification is that of a new scheme.
    options = Address("/论坛");
    options.encoding = "gbk";
    EXPECT_EQ(Propose(options).exitCode, 0);
    EXPECT_EQ(test::RequestTarget(server.Requests().at(1)), "/%C2%DB%CC%B3");
    EXPECT_EQ(finder.seen.url, server.Url("/论坛"));  // as typed
    options.encoding.clear();
    EXPECT_EQ(Propose(options).exitCode, 0);
    EXPECT_EQ(test::RequestTarget(server.Requests().at(2)), "/%E8%AE%BA%E5%9D%9B");
    options = Address();
    options.encoding = "utf-8";
    options.candidates = 1;
    EXPECT_EQ(Lines(Propose(options).out).size(), 5u);  // one candidate, cut to --candidates
    EXPECT_EQ(finder.seen.encoding, PageEncoding::kUtf8);
    EXPECT_EQ(finder.seen.userAgent, kDefaultUserAgent);
    EXPECT_EQ(finder.seen.maxCandidates, 1u);
}

TEST_F(ProposeTest, JsonIsOneDocumentWithEachCandidateAsASchemeFile) {
    CliOptions options = Address();
    options.json = true;
    const Printed printed = Propose(options);
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    ASSERT_EQ(Lines(printed.out).size(), 1u);
    const json document = json::parse(printed.out);
    EXPECT_EQ(document["url"], server.Url("/board"));
    EXPECT_EQ(document["encoding"], "gbk");
    ASSERT_EQ(document["candidates"].size(), 2u);
    const json& first = document["candidates"][0];
    EXPECT_EQ(first["rank"], 1);
    EXPECT_DOUBLE_EQ(first["score"].get<double>(), 0.93);
    ASSERT_EQ(first["items"].size(), 5u);
    EXPECT_EQ(first["items"][1], (json{{"title", "标题2"}, {"link", "http://bbs.example/t/2"}}));
    EXPECT_EQ(document["candidates"][1]["rank"], 2);
    // The scheme is what `import` reads: one table, the candidate's texts in GBK.
    const SchemeFileRead read = ReadSchemeFile(first["scheme"].get<std::string>(), "json");
    ASSERT_TRUE(read.ok()) << read.errors.front();
    ASSERT_EQ(read.schemes.size(), 1u);
    const SchemeForm& form = read.schemes[0].save.form;
    EXPECT_EQ(form.name, Gbk("论坛"));
    EXPECT_EQ(form.url, server.Url("/board"));
    EXPECT_EQ(form.code, "1");
    EXPECT_EQ(form.regular, "<li><a href=\"(.*?)\">(.*?)</a>");
    EXPECT_EQ(form.tindex, "2");
}

TEST_F(ProposeTest, OutputWritesThePickedCandidateForItsOwnerAlone) {
    CliOptions options = Address();
    options.outputPath = folder.dir() + "/picked.toml";
    options.pick = 2;
    options.cookie = "sid=secret";
    const Printed printed = Propose(options);
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    EXPECT_NE(printed.out.find("2\t1 articles"), std::string::npos);  // the list as well
    struct stat info {};
    ASSERT_EQ(::stat(options.outputPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::FILE* file = std::fopen(options.outputPath.c_str(), "rb");
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    const SchemeFileRead read = ReadSchemeFile(text, "picked.toml");
    ASSERT_TRUE(read.ok()) << read.errors.front();
    ASSERT_EQ(read.schemes.size(), 1u);
    EXPECT_EQ(read.schemes[0].save.form.before, "<ol>");
    EXPECT_EQ(read.schemes[0].save.form.cookie, "sid=secret");

    // "-": the file on standard output instead of the list.
    options.outputPath = "-";
    const Printed piped = Propose(options);
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.out, text);

    // A pick beyond what the page has writes nothing.
    options.outputPath = folder.dir() + "/none.toml";
    options.pick = 3;
    const Printed beyond = Propose(options);
    EXPECT_EQ(beyond.exitCode, 1);
    EXPECT_EQ(beyond.err, "vela-cli: --pick 3: the page has 2 candidate(s); nothing written\n");
    EXPECT_NE(::access(options.outputPath.c_str(), F_OK), 0);
}

TEST_F(ProposeTest, ASavedPageNeedsNoFetchAndFindsItsEncodingInItself) {
    CliOptions options;
    options.url = "http://bbs.example/forum";
    options.pagePath =
        test::WriteFile(folder.dir(), "saved.html", "<meta charset=\"gbk\"><ul><li>x</li></ul>");
    EXPECT_EQ(Propose(options).exitCode, 0);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(finder.seen.url, "http://bbs.example/forum");
    EXPECT_EQ(finder.seen.encoding, PageEncoding::kGbk);
    EXPECT_EQ(finder.seen.contentType, "");
}

TEST_F(ProposeTest, NoPageOrNoListIsExitOneWithTheReason) {
    finder.noList = true;
    CliOptions options = Address();
    options.json = true;
    Printed printed = Propose(options);
    EXPECT_EQ(printed.exitCode, 1);
    EXPECT_EQ(json::parse(printed.out)["candidates"], json::array());
    EXPECT_EQ(printed.err, "vela-cli: " + server.Url("/board") + ": no list found\n");

    options = Address();
    options.url = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/";
    finder.calls = 0;
    printed = Propose(options);
    EXPECT_EQ(printed.exitCode, 1);
    EXPECT_EQ(printed.err, "vela-cli: cannot fetch " + options.url + ": connection refused\n");
    EXPECT_EQ(finder.calls, 0);

    options = Address();
    options.pagePath = folder.dir() + "/missing.html";
    printed = Propose(options);
    EXPECT_EQ(printed.exitCode, 1);
    EXPECT_EQ(printed.err,
              "vela-cli: cannot read " + options.pagePath + ": No such file or directory\n");
}

// A GBK news page: a menu of links, the list of eight articles (titles with
// markup and an entity), a pager.
std::string NewsPage() {
    std::string page =
        "<html><head><meta charset=\"gbk\"><title>\xD0\xC2\xCE\xC5</title></head><body>\r\n"
        "<div id=\"nav\"><a href=\"/\">Home</a> <a href=\"/news/\">News</a> "
        "<a href=\"/about\">About</a></div>\r\n<ul class=\"list\">\r\n";
    for (int i = 1; i <= 8; ++i) {
        const std::string n = std::to_string(100 + i);
        page += "<li><span class=\"date\">12-0" + std::to_string(i % 9 + 1) +
                "</span><a href=\"/news/" + n + ".html\">" + Gbk("新闻标题") + n +
                (i == 3 ? " <b>&amp; more</b>" : "") + "</a></li>\r\n";
    }
    return page +
           "</ul>\r\n<div class=\"pages\"><a href=\"?p=1\">1</a> <a href=\"?p=2\">2</a> "
           "<a href=\"?p=3\">3</a></div></body></html>";
}

// With the real finder: what propose shows is what a run of its scheme stores.
class ProposeRoundTripTest : public ::testing::Test {
protected:
    ProposeRoundTripTest()
        : server([](const std::string&) {
              return test::CannedReply{test::SimpleResponse(
                  "200 OK", NewsPage(), "Content-Type: text/html; charset=gbk\r\n")};
          }) {
        ::setenv("XDG_CONFIG_HOME", (file.dir() + "/config").c_str(), 1);
    }

    ChildOutcome Cli(const std::vector<std::string>& args) {
        return test::RunChild(kCli, args, file.dir());
    }

    test::TestDatabaseFile file;
    test::LoopbackHttpServer server;
};

TEST_F(ProposeRoundTripTest, TheFirstCandidateIsTheListAndARunStoresExactlyItsItems) {
    const std::string url = server.Url("/news/");
    const ChildOutcome proposed = Cli({"propose", url, "--json"});
    ASSERT_EQ(proposed.exitCode, 0) << proposed.err;
    const json document = json::parse(proposed.out);
    EXPECT_EQ(document["encoding"], "gbk");
    ASSERT_FALSE(document["candidates"].empty());
    const json& items = document["candidates"][0]["items"];
    std::vector<std::pair<std::string, std::string>> shown;
    for (const json& item : items) shown.emplace_back(item["title"], item["link"]);
    ASSERT_EQ(shown.size(), 8u);
    EXPECT_EQ(shown[0], std::make_pair(std::string("新闻标题101"), server.Url("/news/101.html")));
    EXPECT_EQ(shown[2].first, "新闻标题103 & more");

    // A saved copy of the page, with the address it came from, gives the same.
    const std::string saved = test::WriteFile(file.dir(), "news.html", NewsPage());
    const ChildOutcome fromFile = Cli({"propose", "--page", saved, "--url", url, "--json"});
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
    EXPECT_EQ(fromFile.out, proposed.out);

    // The first candidate written, imported as it is, and run once.
    const std::string schemeFile = file.dir() + "/news.toml";
    ChildOutcome step = Cli({"propose", url, "-o", schemeFile});
    ASSERT_EQ(step.exitCode, 0) << step.err;
    step = Cli({"import", "--db", file.path(), schemeFile});
    ASSERT_EQ(step.exitCode, 0) << step.err;
    step = Cli({"run", "--db", file.path(), "--once", "--quiet", "--json"});
    ASSERT_EQ(step.exitCode, 0) << step.err;
    std::vector<std::pair<std::string, std::string>> printed;
    for (const std::string& line : Lines(step.out)) {
        const json article = json::parse(line);
        printed.emplace_back(article["title"], article["link"]);
    }
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    std::vector<std::pair<std::string, std::string>> stored;
    for (const auto& row : test::QueryRows(db, "select title,url from info")) {
        stored.emplace_back(GbkToUtf8(row.at(0)), GbkToUtf8(row.at(1)));
    }
    std::sort(shown.begin(), shown.end());
    std::sort(printed.begin(), printed.end());
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(printed, shown);
    EXPECT_EQ(stored, shown);
}

TEST(ProposeUsage, ErrorsAreExitTwoWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"propose"},
         "propose needs a URL, or --page FILE --url URL (vela-cli propose --help shows the usage)"},
        {{"propose", "--page", "p.html"},
         "--page needs --url URL, the address the page was saved from"},
        {{"propose", "http://a.example/", "--page", "p.html"},
         "URL excludes --page (vela-cli --help shows the usage)"},
        {{"propose", "--url", "http://a.example/"},
         "--url requires --page (vela-cli --help shows the usage)"},
        {{"propose", "http://a.example/", "--pick", "2"},
         "--pick requires --output (vela-cli --help shows the usage)"},
        {{"propose", "http://a.example/", "--candidates", "2", "--pick", "3", "-o", "f"},
         "--pick 3 is beyond --candidates 2"},
        {{"propose", "http://a.example/", "--encoding", "big5"},
         "--encoding: big5 not in {gbk,utf-8} (vela-cli --help shows the usage)"},
        {{"propose", "http://a.example/", "--candidates", "0"},
         "--candidates: Value 0 not in range 1 to 50 (vela-cli --help shows the usage)"},
        {{"propose", "http://a.example/", "--json", "-o", "-"},
         "-o - and --json both want standard output; give -o a file"},
        {{"propose", "ftp://a.example/"}, "'ftp://a.example/' is not an http or https address"},
        {{"propose", "http://a.example/", "--cookie", "a=\xF0\x9F\x98\x80"},
         "--cookie: U+1F600 '\xF0\x9F\x98\x80' has no GBK code"},
    };
    test::TestDatabaseFile folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const ChildOutcome outcome = test::RunChild(kCli, c.args, folder.dir());
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(Lines(outcome.err), (std::vector<std::string>{"vela-cli: " + c.error}));
    }
}

}  // namespace
}  // namespace vela
