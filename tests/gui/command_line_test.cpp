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
    };
    const Case cases[] = {
        {{}, "", false, false},
        {{"--database", "/tmp/a.sdb"}, "/tmp/a.sdb", false, false},
        {{"--database=rel/b.sdb"}, "rel/b.sdb", false, false},
        {{"--database", "--database"}, "--database", false, false},  // a file may be named so
        {{"--database=a.sdb", "--database", "b.sdb"}, "b.sdb", false, false},
        {{"--quit-after-start", "--database", "c.sdb"}, "c.sdb", true, false},
        {{"stray", "-x"}, "", false, false},  // ignored as before
        {{"--database"}, "", false, true},
        {{"--database="}, "", false, true},
        {{"--database", ""}, "", false, true},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += "[" + a + "]";
        SCOPED_TRACE(joined);
        CommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.databasePath, c.database);
        EXPECT_EQ(line.quitAfterStart, c.quit);
        EXPECT_EQ(!line.error.empty(), c.error);
    }
}

}  // namespace
}  // namespace vela
