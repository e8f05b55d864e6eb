// The runner's commands on schemes and scheme files, as its users start them: the
// built program, database files on disk, an editor played by a script.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "store/database.h"
#include "tests/support/board_page.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using test::ChildOutcome;
using test::Lines;

const std::string kCli = VELA_CLI;

class SchemeCommandsTest : public ::testing::Test {
protected:
    SchemeCommandsTest()
        : server([](const std::string&) {
              return test::CannedReply{test::SimpleResponse("200 OK", test::BoardPage({3, 2, 1}))};
          }) {
        db.OpenDatabase(file.path(), false);
        ::unsetenv("VISUAL");
    }

    // A file of `count` board schemes on the loopback server, the last one `extra`.
    std::string SchemeFile(int count, const std::string& extra = "") {
        std::string text;
        for (int i = 1; i <= count; ++i) {
            text += "[[scheme]]\nname = 'board " + std::to_string(i) + "'\nurl = '" +
                    server.Url("/board") +
                    "'\nencoding = 'gbk'\nbefore = '<ul>'\nafter = '</ul>'\n"
                    "pattern = '<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>'\n"
                    "link = 'http://bbs.example[2]'\ntitle_group = 3\n";
            if (i == count) text += extra;
            text += "\n";
        }
        return text;
    }

    ChildOutcome Cli(std::vector<std::string> args) {
        args.insert(args.begin() + 1, {"--db", file.path()});
        return test::RunChild(kCli, args, file.dir());
    }
    // A command line through the shell, for an answer on standard input.
    ChildOutcome Shell(const std::string& command) {
        return test::RunChild("/bin/sh", {"-c", command}, file.dir());
    }
    // An executable script in the test folder.
    std::string Script(const std::string& name, const std::string& body) {
        const std::string path = test::WriteFile(file.dir(), name, "#!/bin/sh\n" + body);
        ::chmod(path.c_str(), 0700);
        return path;
    }

    TextTable Rows(const std::string& sql) { return test::QueryRows(db, sql); }

    test::TestDatabaseFile file;
    Database db;
    test::LoopbackHttpServer server;
};

TEST_F(SchemeCommandsTest, ImportedSchemesAreRunAtOnceAndExportAsTheyWere) {
    const std::string path = test::WriteFile(file.dir(), "boards.toml", SchemeFile(2));
    ChildOutcome dry = Cli({"import", path, "--dry-run"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(Rows("select count(*) from rule"), (TextTable{{"0"}}));

    ChildOutcome import = Cli({"import", path});
    ASSERT_EQ(import.exitCode, 0) << import.err;
    EXPECT_EQ(Lines(import.out), (std::vector<std::string>{"1", "2"}));
    // The runner sees them on its next start: both ticked, fresh, and run.
    ChildOutcome run = Cli({"run", "--once", "--quiet"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Rows("select planid,count(*) from info group by planid"),
              (TextTable{{"1", "3"}, {"2", "3"}}));

    // Exported and imported again into a second file: the same schemes.
    const std::string copy = file.dir() + "/copy.toml";
    ASSERT_EQ(Cli({"export", "2", "-o", copy}).exitCode, 0);
    test::TestDatabaseFile other;
    ChildOutcome again = test::RunChild(kCli, {"import", "--db", other.path(), copy}, file.dir());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    Database otherDb;
    ASSERT_TRUE(otherDb.OpenDatabase(other.path(), false));
    const char* texts = "select name,url,code,before,after,regular,buquan,tindex,isdo from rule";
    EXPECT_EQ(test::QueryRows(otherDb, texts), TextTable{Rows(std::string(texts) + " where id=2")});
    // Standard output, every scheme, when none is named.
    EXPECT_NE(Cli({"export"}).out.find("name = 'board 1'"), std::string::npos);
    EXPECT_EQ(Cli({"export", "7"}).exitCode, 2);
}

TEST_F(SchemeCommandsTest, AFileWithAnErrorImportsNothing) {
    const std::string path =
        test::WriteFile(file.dir(), "bad.toml", SchemeFile(2, "title_grup = 3\n"));
    for (bool dryRun : {false, true}) {
        std::vector<std::string> args = {"import", path};
        if (dryRun) args.push_back("--dry-run");
        ChildOutcome import = Cli(args);
        EXPECT_EQ(import.exitCode, 1);
        EXPECT_EQ(Lines(import.err),
                  (std::vector<std::string>{path + ":20: title_grup: unknown key",
                                            "vela-cli: nothing imported"}));
        EXPECT_EQ(Rows("select count(*) from rule"), (TextTable{{"0"}}));
    }
}

TEST_F(SchemeCommandsTest, EditChangesExactlyItsRowAndOffersAnotherTry) {
    ASSERT_EQ(Cli({"import", test::WriteFile(file.dir(), "b.toml", SchemeFile(2))}).exitCode, 0);
    db.ExecSql("update rule set arttile='Title 2',lastid='5'");
    const char* all = "select * from rule order by id";
    const TextTable before = Rows(all);

    // An editor that saves the file unchanged changes nothing.
    ::setenv("EDITOR", "true", 1);
    ChildOutcome same = Cli({"edit", "2"});
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_EQ(Lines(same.err), std::vector<std::string>{"vela-cli: no changes made to scheme 2"});
    EXPECT_EQ(Rows(all), before);

    // A renamed, unticked scheme: only its own row changes, its marker stays.
    ::setenv("EDITOR",
             Script("rename.sh",
                    "sed -i -e \"s/^name = .*/name = '改名'/\" -e "
                    "'s/^ticked = true/ticked = false/' \"$1\"\n")
                 .c_str(),
             1);
    ChildOutcome rename = Cli({"edit", "2"});
    EXPECT_EQ(rename.exitCode, 0) << rename.err;
    TextTable expected = before;
    expected[1][3] = "\xB8\xC4\xC3\xFB";  // 改名 in GBK
    expected[1][17] = "0";
    EXPECT_EQ(Rows(all), expected);

    // A typo: shown with its line, and, refused another try, nothing changes.
    const std::string typo = Script("typo.sh", "sed -i 's/^title_group/title_grop/' \"$1\"\n");
    ::setenv("EDITOR", typo.c_str(), 1);
    ChildOutcome refused = Cli({"edit", "1"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find(": title_grop: unknown key\n"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("Edit again? (y/n) vela-cli: nothing changed"), std::string::npos);
    EXPECT_EQ(Rows(all), expected);

    // Another try taken: the second edit repairs the typo and changes the pattern.
    ::setenv("EDITOR",
             Script("twice.sh",
                    "if grep -q title_grop \"$1\"; then sed -i -e "
                    "'s/^title_grop/title_group/' -e 's/^title_group = 3/title_group = "
                    "2/' \"$1\"; else sed -i 's/^title_group/title_grop/' \"$1\"; fi\n")
                 .c_str(),
             1);
    ChildOutcome retried = Shell("printf 'y\\n' | " + kCli + " edit --db " + file.path() + " 1");
    EXPECT_EQ(retried.exitCode, 0) << retried.err;
    expected[0][14] = "2";
    EXPECT_EQ(Rows(all), expected);

    // A failing editor changes nothing.
    ::setenv("EDITOR", "false", 1);
    EXPECT_EQ(Cli({"edit", "1"}).exitCode, 1);
    EXPECT_EQ(Cli({"edit", "9"}).exitCode, 2);
    EXPECT_EQ(Rows(all), expected);
    ::unsetenv("EDITOR");
}

// Another program removes the scheme while its file is in the editor: the save
// finds no row and says so; no scheme is added in its place.
TEST_F(SchemeCommandsTest, EditOfASchemeRemovedMeanwhileSavesNothing) {
    ASSERT_EQ(Cli({"import", test::WriteFile(file.dir(), "b.toml", SchemeFile(2))}).exitCode, 0);
    ::setenv("EDITOR",
             Script("remove.sh", "sed -i \"s/^name = .*/name = 'x'/\" \"$1\"\n" + kCli +
                                     " remove --db " + file.path() + " 2\n")
                 .c_str(),
             1);
    ChildOutcome edit = Cli({"edit", "2"});
    EXPECT_EQ(edit.exitCode, 2);
    EXPECT_EQ(Lines(edit.err), std::vector<std::string>{
                                   "vela-cli: scheme 2 was removed meanwhile; nothing changed"});
    EXPECT_EQ(Rows("select id,name from rule"), (TextTable{{"1", "board 1"}}));
    ::unsetenv("EDITOR");
}

TEST_F(SchemeCommandsTest, RemoveTickAndUntickAsTheMenuDoes) {
    ASSERT_EQ(Cli({"import", test::WriteFile(file.dir(), "b.toml", SchemeFile(3))}).exitCode, 0);
    db.ExecSql("insert into info(planname,planid,title) values('board 2',2,'kept')");
    const char* ticks = "select id,isdo from rule order by id";

    EXPECT_EQ(Cli({"untick", "1", "3"}).exitCode, 0);
    EXPECT_EQ(Rows(ticks), (TextTable{{"1", "0"}, {"2", "1"}, {"3", "0"}}));
    // An unknown id changes none of them.
    EXPECT_EQ(Cli({"tick", "1", "9"}).exitCode, 2);
    EXPECT_EQ(Rows(ticks), (TextTable{{"1", "0"}, {"2", "1"}, {"3", "0"}}));
    EXPECT_EQ(Cli({"tick", "3"}).exitCode, 0);
    EXPECT_EQ(Rows(ticks), (TextTable{{"1", "0"}, {"2", "1"}, {"3", "1"}}));

    EXPECT_EQ(Cli({"remove", "2"}).exitCode, 0);
    EXPECT_EQ(Cli({"remove", "2"}).exitCode, 2);
    EXPECT_EQ(Rows(ticks), (TextTable{{"1", "0"}, {"3", "1"}}));
    EXPECT_EQ(Rows("select title from info"), (TextTable{{"kept"}}));
}

// A scheme's keywords and clean titles go with it: a tick or untick keeps them,
// `list --json` shows them, a removal takes them along.
TEST_F(SchemeCommandsTest, FieldsStayWithTheirSchemeAndListShowsThem) {
    const std::string extra =
        "include = ['相机', '/二手.*镜头/']\nexclude = ['出售']\nclean_titles = true\n";
    const std::string text = SchemeFile(2, extra) + SchemeFile(1, "exclude = ['求购']\n");
    ASSERT_EQ(Cli({"import", test::WriteFile(file.dir(), "b.toml", text)}).exitCode, 0);
    const char* fields = "select id,include,exclude,clean_titles from rule_field order by id";
    const TextTable stored = Rows(fields);
    ASSERT_EQ(stored.size(), 3u);

    ASSERT_EQ(Cli({"untick", "2", "3"}).exitCode, 0);
    ASSERT_EQ(Cli({"tick", "2"}).exitCode, 0);
    EXPECT_EQ(Rows(fields), stored);

    const ChildOutcome list = Cli({"list", "--json"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const std::vector<std::string> lines = Lines(list.out);
    ASSERT_EQ(lines.size(), 3u);
    struct Expected {
        std::vector<std::string> include, exclude;
        bool clean;
    };
    const Expected expected[] = {
        {{}, {}, false}, {{"相机", "/二手.*镜头/"}, {"出售"}, true}, {{}, {"求购"}, false}};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const nlohmann::json scheme = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(scheme["include"], nlohmann::json(expected[i].include));
        EXPECT_EQ(scheme["exclude"], nlohmann::json(expected[i].exclude));
        EXPECT_EQ(scheme["clean_titles"], expected[i].clean);
    }

    // `edit` shows them in the file: a rename keeps them, a changed key changes them.
    ::setenv("EDITOR", Script("rename.sh", "sed -i \"s/^name = .*/name = 'x'/\" \"$1\"\n").c_str(),
             1);
    ASSERT_EQ(Cli({"edit", "2"}).exitCode, 0);
    EXPECT_EQ(Rows(fields), stored);
    ::setenv("EDITOR", Script("clean.sh", "sed -i '/^clean_titles/d' \"$1\"\n").c_str(), 1);
    ASSERT_EQ(Cli({"edit", "2"}).exitCode, 0);
    TextTable edited = stored;
    edited[1][3] = "0";
    EXPECT_EQ(Rows(fields), edited);
    ::unsetenv("EDITOR");

    ASSERT_EQ(Cli({"remove", "2"}).exitCode, 0);
    EXPECT_EQ(Rows(fields), (TextTable{stored[0], stored[2]}));
}

// A scheme id is the decimal digits of one scheme's id: a number past 64 bits, a
// hex or signed number, a blank or 0 names no scheme, and no command takes it for
// another one.
TEST_F(SchemeCommandsTest, EveryCommandReadsSchemeIdsAlike) {
    ASSERT_EQ(Cli({"import", test::WriteFile(file.dir(), "b.toml", SchemeFile(4))}).exitCode, 0);
    db.ExecSql("update rule set id=9223372036854775807 where id=4");
    ::setenv("EDITOR", "false", 1);
    const char* all = "select id,isdo,name from rule order by id";
    const TextTable before = Rows(all);
    ASSERT_EQ(before.size(), 4u);
    const std::vector<std::vector<std::string>> commands = {
        {"remove"}, {"tick"}, {"untick"}, {"export"}, {"feed", "--scheme"}, {"edit"}, {"test"},
    };
    for (const std::string id :
         {"18446744073709551616", "9223372036854775808", "0x3", " 3", "3 ", "+3", "0", ""}) {
        for (std::vector<std::string> args : commands) {
            args.push_back(id);
            SCOPED_TRACE(args[0] + " [" + id + "]");
            ChildOutcome outcome = Cli(args);
            EXPECT_EQ(outcome.exitCode, 2);
            EXPECT_EQ(outcome.out, "");
            const std::string name = args[0] == "feed" ? "--scheme" : "SCHEME_ID";
            EXPECT_EQ(Lines(outcome.err),
                      std::vector<std::string>{"vela-cli: " + name + ": '" + id +
                                               "' is not a scheme id (see `vela-cli list`)"});
        }
    }
    EXPECT_EQ(Rows(all), before);
    // The largest id is one like any other.
    EXPECT_EQ(Cli({"untick", "9223372036854775807", "0003"}).exitCode, 0);
    EXPECT_EQ(Rows("select id from rule where isdo='0' order by id"),
              (TextTable{{"3"}, {"9223372036854775807"}}));
    ::unsetenv("EDITOR");
}

// Each named scheme goes into the file once; one that cannot be written (GBK bytes
// without a Unicode form) is named and left out, and the others still go in.
TEST_F(SchemeCommandsTest, ExportWritesEachSchemeOnceAndNamesEveryOneLeftOut) {
    ASSERT_EQ(Cli({"import", test::WriteFile(file.dir(), "b.toml", SchemeFile(3))}).exitCode, 0);
    auto tables = [](const std::string& text) {
        std::size_t count = 0;
        for (std::size_t at = 0; (at = text.find("[[scheme]]", at)) != std::string::npos; ++at) {
            ++count;
        }
        return count;
    };
    ChildOutcome twice = Cli({"export", "2", "2"});
    EXPECT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_EQ(tables(twice.out), 1u);

    db.ExecSql("update rule set regular='(.)' || cast(x'8120' as text) || '(.)' where id<>2");
    ChildOutcome all = Cli({"export"});
    EXPECT_EQ(all.exitCode, 1);
    EXPECT_EQ(tables(all.out), 1u);
    EXPECT_NE(all.out.find("name = 'board 2'"), std::string::npos);
    const std::vector<std::string> errors = Lines(all.err);
    ASSERT_EQ(errors.size(), 2u) << all.err;
    EXPECT_EQ(errors[0].rfind("vela-cli: scheme 1 (board 1): pattern: ", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("vela-cli: scheme 3 (board 3): pattern: ", 0), 0u) << errors[1];
    ChildOutcome none = Cli({"export", "3"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(Lines(none.err).size(), 1u);
}

// An output that cannot be written is a failure of the command (exit 1) that says
// why; a scheme file, which may hold a login cookie, is for its user alone.
TEST_F(SchemeCommandsTest, OutputFilesSayWhyTheyFailAndSchemeFilesArePrivate) {
    ASSERT_EQ(Cli({"import", test::WriteFile(file.dir(), "b.toml", SchemeFile(1))}).exitCode, 0);
    for (const std::string command : {"export", "feed"}) {
        SCOPED_TRACE(command);
        ChildOutcome outcome = Cli({command, "-o", file.dir() + "/missing/out"});
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(Lines(outcome.err),
                  std::vector<std::string>{"vela-cli: cannot create a file beside " + file.dir() +
                                           "/missing/out: No such file or directory"});
    }
    const std::string out = file.dir() + "/out.toml";
    ASSERT_EQ(Cli({"export", "-o", out}).exitCode, 0);
    struct stat status {};
    ASSERT_EQ(::stat(out.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    ChildOutcome missing = Cli({"import", file.dir() + "/missing.toml"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(Lines(missing.err), std::vector<std::string>{"vela-cli: cannot read " + file.dir() +
                                                           "/missing.toml: No such file or "
                                                           "directory"});
}

TEST_F(SchemeCommandsTest, UsageErrorsChangeNothing) {
    const std::string path = test::WriteFile(file.dir(), "g.toml", SchemeFile(1));
    const std::vector<std::vector<std::string>> cases = {
        {"import"},
        {"edit"},
        {"tick"},
        {"test", "--scheme", "2"},
        {"test", "1", "--file", path},
        {"test", "--file", path, "--scheme", "0"},
        {"import", file.dir() + "/missing.toml"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        ChildOutcome outcome = Cli(args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
    }
    EXPECT_EQ(Rows("select count(*) from rule"), (TextTable{{"0"}}));
}

TEST_F(SchemeCommandsTest, TestsAFilesSchemeWithoutADatabase) {
    const std::string path =
        test::WriteFile(file.dir(), "t.toml", SchemeFile(2, "pattern = '<li id=(\\d+)>'\n"));
    // The last scheme defines its pattern twice: not a scheme file.
    EXPECT_EQ(test::RunChild(kCli, {"test", "--file", path}, file.dir()).exitCode, 1);

    const std::string good = test::WriteFile(file.dir(), "g.toml", SchemeFile(2));
    ChildOutcome first = test::RunChild(kCli, {"test", "--file", good}, file.dir());
    EXPECT_EQ(first.exitCode, 0) << first.err;
    const std::vector<std::string> lines = Lines(first.out);
    ASSERT_EQ(lines.size(), 1u + 3 * 5);
    EXPECT_EQ(lines[1], "match 1");
    EXPECT_EQ(lines[5], "  [3] Title 3");
    EXPECT_EQ(test::RunChild(kCli, {"test", "--file", good, "--scheme", "2"}, file.dir()).exitCode,
              0);
    EXPECT_EQ(test::RunChild(kCli, {"test", "--file", good, "--scheme", "3"}, file.dir()).exitCode,
              2);
}

}  // namespace
}  // namespace vela
