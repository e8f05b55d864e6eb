// The example scheme files of docs/examples, imported and rule-tested against the
// sample pages beside their expected entries in tests/data/examples.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/record_plan.h"
#include "engine/scheme_file.h"
#include "engine/scheme_run.h"
#include "engine/scheme_transfer.h"
#include "fetch/encoding.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/silent_report.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(SchemeExamplesTest, EachExampleFindsTheEntriesWrittenBesideItsPage) {
    struct Example {
        const char* name;
        const char* page;
    };
    const Example examples[] = {
        {"discuz-board", "discuz-board.gbk.html"},
        {"phpbb-board", "phpbb-board.html"},
        {"news-list", "news-list.html"},
    };
    for (const Example& example : examples) {
        SCOPED_TRACE(example.name);
        const std::string page = FileBytes(std::string(VELA_TEST_DATA "/examples/") + example.page);
        ASSERT_FALSE(page.empty());
        test::LoopbackHttpServer server([&](const std::string&) {
            return test::CannedReply{test::SimpleResponse("200 OK", page)};
        });

        const std::string name = std::string(example.name) + ".toml";
        const SchemeFileRead read =
            ReadSchemeFile(FileBytes(std::string(VELA_EXAMPLES "/") + name), name);
        ASSERT_TRUE(read.ok()) << read.errors.front();
        ASSERT_EQ(read.schemes.size(), 1u);
        test::TestDatabaseFile file;
        Database db;
        ASSERT_TRUE(db.OpenDatabase(file.path(), false));
        const SchemeImport import = ImportSchemes(db, read.schemes);
        ASSERT_TRUE(import.ok) << import.error;
        const TextTable rows = test::QueryRows(db, SchemeRowQuery(import.ids.at(0)));
        ASSERT_EQ(rows.size(), 1u);
        Scheme scheme = SchemeFromCells(rows[0]);
        scheme.url = server.Url("/list");

        test::SilentReport report;
        const SchemeRun run = TestScheme(scheme, MonitorTimings{}, report);
        std::string found;
        for (const MatchRecord& match : run.matches) {
            found += GbkToUtf8(SubMatchText(match, run.region, scheme.titleGroup)) + "\t" +
                     GbkToUtf8(ComposeLink(scheme.linkTemplate, match, run.region)) + "\n";
        }
        EXPECT_EQ(found,
                  FileBytes(std::string(VELA_TEST_DATA "/examples/") + example.name + ".expected"));
    }
}

}  // namespace
}  // namespace vela
