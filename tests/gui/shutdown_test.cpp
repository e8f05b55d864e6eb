// The program's end while monitoring waits for a stalled page: every wait returns,
// the worker is stopped and joined in time, and nothing is written afterwards.
// A test of its own: the end of the program cannot be undone for later tests.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QTimer>
#include <chrono>

#include "gui/window_events.h"
#include "monitor_fixture.h"

namespace vela {
namespace {

class ShutdownTest : public ::testing::Test, public test::MonitorFixture {};

TEST_F(ShutdownTest, ExitWhileMonitoringEndsPromptly) {
    AddScheme();
    stall = true;
    context.process.timings.stallTimeoutMs = 60'000;
    window.Control<QCheckBox>("自动监控框")->setChecked(true);
    std::chrono::steady_clock::time_point exitAt;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(!server.Requests().empty(), 5000);
        exitAt = std::chrono::steady_clock::now();
        OnExit();
    });
    ToggleMonitoring(context);  // returns once the program is ending
    EXPECT_TRUE(StopMonitoringForExit(context));
    db.CloseDatabase();
    auto took = std::chrono::steady_clock::now() - exitAt;
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_TRUE(ProgramEnding());
    EXPECT_EQ(state.WorkerBusy, 0);
    Database reopened;
    ASSERT_TRUE(reopened.OpenDatabase(file.path(), false));
    EXPECT_EQ(test::QueryRows(reopened, "select count(*) from info"), (TextTable{{"0"}}));
}

}  // namespace
}  // namespace vela
