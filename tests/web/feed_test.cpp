// `vela-cli feed` read by an independent, strict parser (Debian's feedparser) over
// a database of hostile texts.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fetch/encoding.h"
#include "store/database.h"
#include "tests/support/child_process.h"
#include "tests/support/test_database.h"
#include "web/database_identity.h"

namespace vela {
namespace {

const std::string kCli = VELA_CLI;

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// An SQL literal of any bytes, zero bytes included, read back as text.
std::string Literal(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return "cast(X'" + hex + "' as text)";
}

struct Row {
    std::string title, url, other, time;  // as stored (GBK)
    std::string wantTitle, wantLink, wantUpdated, wantSummary;
};

class FeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Entry times carry the local offset; fix it for the expectations.
        ::setenv("TZ", "CST-8", 1);
        ::tzset();
        ASSERT_TRUE(db.OpenDatabase(file.path(), false));
        AddScheme(3, Gbk("论坛<&>\"站\""));
        AddScheme(4, "other");
    }
    void AddScheme(int id, const std::string& name) {
        ASSERT_TRUE(db.ExecSql("insert into rule(id,name,url,isdo) values(" + std::to_string(id) +
                               "," + Literal(name) + ",'http://bbs.example/','1')"));
    }
    void AddArticle(int scheme, const std::string& name, const std::string& title) {
        AddArticle(scheme, name, Row{title, "http://a/", "", "", "", "", "", ""});
    }
    void AddArticle(int scheme, const std::string& name, const Row& r) {
        ASSERT_TRUE(db.ExecSql(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values(" +
            Literal(name) + ",'" + std::to_string(scheme) + "'," + Literal(r.title) + "," +
            Literal(r.url) + "," + Literal(r.other) + "," + Literal(r.time) + ",'0')"));
    }
    // Runs `vela-cli feed` into a file and parses that file.
    nlohmann::json Feed(std::vector<std::string> extra = {}, std::string database = "") {
        const std::string out = file.dir() + "/feed.atom";
        std::vector<std::string> args = {"feed", "--db", database.empty() ? file.path() : database,
                                         "-o", out};
        args.insert(args.end(), extra.begin(), extra.end());
        const test::ChildOutcome run = test::RunChild(kCli, args, file.dir());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const test::ChildOutcome parsed =
            test::RunChild("/usr/bin/python3", {VELA_PARSE_FEED, out}, file.dir());
        EXPECT_EQ(parsed.exitCode, 0) << parsed.err;
        lastDocument = FileBytes(out);
        return nlohmann::json::parse(parsed.out, nullptr, false);
    }

    test::TestDatabaseFile file;
    Database db;
    std::string lastDocument;
};

TEST_F(FeedTest, HostileTextsParseStrictlyAsStored) {
    const std::string scheme = Gbk("论坛<&>\"站\"");
    const std::string replacement = "\xEF\xBF\xBD";
    const std::vector<Row> rows = {
        {Gbk("“引号” \"quoted\" & 'apos'"), "http://bbs.example/a?b=1&c=2", Gbk("备用<b>"),
         "2016-9-9 8:5 7", "“引号” \"quoted\" & 'apos'", "http://bbs.example/a?b=1&c=2",
         "2016-09-09T08:05:07+08:00", "备用<b>"},
        {"<script>alert(1)</script><img src=x onerror=alert(2)>", "javascript:alert(1)", "",
         "not a time", "<script>alert(1)</script><img src=x onerror=alert(2)>", "",
         "1970-01-01T00:00:00Z", ""},
        {"ctl\x01\x07\x1b\ttab\r\nline\x7f", "HTTPS://x.example/", "\x02", "2024-2-29 23:59 59",
         "ctl" + replacement + replacement + replacement + " tab  line" + replacement,
         "HTTPS://x.example/", "2024-02-29T23:59:59+08:00", replacement},
        // A lead byte without its trail byte has no Unicode form; nor has a zero byte.
        {Gbk("半个") + "\x81", "http://x.example/\x81", "", "2024-13-1 1:1 1", "半个?",
         "http://x.example/?", "1970-01-01T00:00:00Z", ""},
        {std::string("A\0B", 3), "http://x.example/z", "", "2024-1-1 0:0 0", "A?B",
         "http://x.example/z", "2024-01-01T00:00:00+08:00", ""},
    };
    for (const Row& r : rows) AddArticle(3, scheme, r);

    const nlohmann::json feed = Feed();
    ASSERT_TRUE(feed.is_object());
    EXPECT_FALSE(feed["bozo"].get<bool>()) << feed["error"] << "\n" << lastDocument;
    EXPECT_EQ(feed["updated"], "2024-01-01T00:00:00+08:00");  // the newest entry's
    const auto& entries = feed["entries"];
    ASSERT_EQ(entries.size(), rows.size());
    std::string idPrefix;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // Newest first: the last row inserted comes first.
        const Row& want = rows[rows.size() - 1 - i];
        const auto& e = entries[i];
        SCOPED_TRACE(want.wantTitle);
        const std::string id = e["id"];
        const std::string suffix = "/article/" + std::to_string(rows.size() - i);
        ASSERT_GT(id.size(), suffix.size());
        EXPECT_EQ(id.substr(id.size() - suffix.size()), suffix);
        if (i == 0) idPrefix = id.substr(0, id.size() - suffix.size());
        EXPECT_EQ(id.substr(0, id.size() - suffix.size()), idPrefix);
        EXPECT_EQ(id.rfind("tag:", 0), 0u);
        EXPECT_EQ(e["title"], want.wantTitle);
        if (want.wantLink.empty()) {
            EXPECT_TRUE(e["links"].empty()) << e["links"];
        } else {
            EXPECT_EQ(e["links"], nlohmann::json::array({want.wantLink}));
        }
        EXPECT_EQ(e["updated"], want.wantUpdated);
        EXPECT_EQ(e["summary"], want.wantSummary.empty() && want.wantLink.empty()
                                    ? want.wantTitle  // the title stands as the content
                                    : want.wantSummary);
        EXPECT_EQ(e["author"], "论坛<&>\"站\"");
        EXPECT_EQ(e["category"], nlohmann::json::array({"论坛<&>\"站\""}));
    }
}

TEST_F(FeedTest, IdsStayAndTheFileIsReplacedWhole) {
    for (int i = 0; i < 3; ++i) AddArticle(3, "a", "t" + std::to_string(i));
    AddArticle(4, "b", "only b");
    const nlohmann::json first = Feed();
    const std::string firstDocument = lastDocument;
    ASSERT_EQ(first["entries"].size(), 4u);

    // Another run over the same file: the same document.
    Feed();
    EXPECT_EQ(lastDocument, firstDocument);

    // A new article: the older entries keep their ids.
    AddArticle(3, "a", "t3");
    const nlohmann::json later = Feed();
    ASSERT_EQ(later["entries"].size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(later["entries"][i + 1]["id"], first["entries"][i]["id"]);
    }

    // One scheme, a limit; the temporary file is gone after each write.
    const nlohmann::json one = Feed({"--scheme", "3", "--limit", "2"});
    ASSERT_EQ(one["entries"].size(), 2u);
    EXPECT_EQ(one["entries"][0]["title"], "t3");
    EXPECT_EQ(one["title"], "vela：论坛<&>\"站\"");  // the scheme's name
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file.dir())) {
        files += entry.path().filename().string().rfind("feed.atom", 0) == 0;
    }
    EXPECT_EQ(files, 1);

    const test::ChildOutcome unknown =
        test::RunChild(kCli, {"feed", "--db", file.path(), "--scheme", "99"}, file.dir());
    EXPECT_EQ(unknown.exitCode, 2);
}

// Installing (moving the file into the data folder) or restoring a backup must
// not make every feed reader show every entry again.
TEST_F(FeedTest, IdsStayWhenTheDatabaseMoves) {
    for (int i = 0; i < 3; ++i) AddArticle(3, "a", "t" + std::to_string(i));
    const nlohmann::json here = Feed();
    ASSERT_EQ(here["entries"].size(), 3u);
    // A database that already had feeds keeps the ids they had.
    const std::string firstId = here["entries"][0]["id"];
    EXPECT_NE(firstId.find(PathIdentity(file.path()) + "/article/3"), std::string::npos) << firstId;

    db.CloseDatabase();
    const std::string moved = file.dir() + "/moved/vela.sdb";
    std::filesystem::create_directory(file.dir() + "/moved");
    std::filesystem::copy_file(file.path(), moved);
    std::filesystem::remove(file.path());
    const nlohmann::json there = Feed({}, moved);
    ASSERT_EQ(there["entries"].size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(there["entries"][i]["id"], here["entries"][i]["id"]);
    }

    // A new database at the old place is another database: other ids.
    std::filesystem::copy_file(moved, file.path());
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    ASSERT_TRUE(db.ExecSql("delete from info; drop table feed_identity;"));
    Feed();
    AddArticle(3, "a", "new");
    const nlohmann::json fresh = Feed();
    ASSERT_EQ(fresh["entries"].size(), 1u);
    const std::string freshId = fresh["entries"][0]["id"];
    EXPECT_EQ(freshId.find(PathIdentity(file.path())), std::string::npos) << freshId;
}

}  // namespace
}  // namespace vela
