// A monitoring run killed (SIGKILL) at any moment of its inserts, followed by a
// normal run: every article of the page is stored exactly once.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "gui/process_scheme.h"
#include "monitor_fixture.h"

extern char** environ;

namespace vela {
namespace {

class KillTest : public ::testing::Test, public test::MonitorFixture {
protected:
    // Starts record_child on the fixture's database.
    pid_t StartChild(const char* pauseMs) {
        std::string program = VELA_RECORD_CHILD;
        std::string path = file.path();
        char* args[] = {program.data(), path.data(), const_cast<char*>(pauseMs), nullptr};
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, args, environ), 0);
        return pid;
    }
    // Rows stored so far, read through a connection of this process.
    int Stored() { return std::stoi(Rows("select count(*) from info").at(0).at(0)); }
};

TEST_F(KillTest, KilledAtAnyMomentThenANormalRunStoresEachArticleOnce) {
    // Two-digit ids: no title is the beginning of another, so each marker is
    // found where its own entry stands.
    page = test::BoardPage({19, 18, 17, 16, 15, 14, 13, 12, 11, 10});
    TextTable expected;
    for (int i = 10; i <= 19; ++i) expected.push_back({"Title " + std::to_string(i)});
    struct Moment {
        int afterRows;
        const char* pauseMs;  // 0: the kill most likely lands inside a transaction
    };
    for (Moment kill : {Moment{1, "0"}, Moment{3, "0"}, Moment{5, "20"}, Moment{8, "0"}}) {
        SCOPED_TRACE(testing::Message() << "kill after " << kill.afterRows << " rows");
        ASSERT_TRUE(db.ExecSql("delete from info; delete from rule"));
        AddScheme(0);
        pid_t child = StartChild(kill.pauseMs);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Stored() < kill.afterRows && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_GE(Stored(), kill.afterRows);
        FillSchemeList(window, cursor, db);  // a new start reads the stored marker
        state.CheckedSchemeRows = {0};
        state.CheckedSchemeCount = 1;
        state.CurrentTask = 1;
        state.StopRequested = 0;
        state.WorkerBusy = 1;
        std::thread worker([this, scheme = SchemeOfCurrentTask(window, state)] {
            RunMonitorTask(context.process, scheme);
        });
        QTRY_VERIFY_WITH_TIMEOUT(state.WorkerBusy == 0, 20000);
        worker.join();
        EXPECT_EQ(Rows("select title from info order by title"), expected) << Status();
        EXPECT_EQ(Rows("pragma integrity_check"), (TextTable{{"ok"}}));
    }
}

}  // namespace
}  // namespace vela
