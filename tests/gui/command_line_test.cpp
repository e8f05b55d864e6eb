#include "gui/command_line.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

TEST(CommandLine, DatabaseOptionAndTheStartHook) {
    struct Case {
        std::vector<std::string> args;
        std::string database;
        bool quit;
        bool error;
        bool help = false;
    };
    const Case cases[] = {
        {{}, "", false, false},
        {{"--database", "/tmp/a.sdb"}, "/tmp/a.sdb", false, false},
        {{"--database=rel/b.sdb"}, "rel/b.sdb", false, false},
        {{"--database", "--database"}, "--database", false, false},  // a file may be named so
        {{"--database=a.sdb", "--database", "b.sdb"}, "b.sdb", false, false},
        {{"--quit-after-start", "--database", "c.sdb"}, "c.sdb", true, false},
        {{"stray", "-"}, "", false, false},  // words are ignored as before
        {{"--database"}, "", false, true},
        {{"--database="}, "", false, true},
        {{"--database", ""}, "", false, true},
        // A mistyped or unknown option never opens the window.
        {{"--databse", "a.sdb"}, "", false, true},
        {{"-x"}, "", false, true},
        {{"--quit-after-start=1"}, "", false, true},
        // The help wins wherever it stands; a file may still be named so.
        {{"--help"}, "", false, false, true},
        {{"--databse", "-h"}, "", false, true, true},
        {{"--database", "--help"}, "--help", false, false, false},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += "[" + a + "]";
        SCOPED_TRACE(joined);
        CommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.databasePath, c.database);
        EXPECT_EQ(line.quitAfterStart, c.quit);
        EXPECT_EQ(!line.error.empty(), c.error);
        EXPECT_EQ(line.help, c.help);
    }
    EXPECT_EQ(ParseCommandLine({"--databse"}).error, "unknown option '--databse'");
}

}  // namespace
}  // namespace vela
