#include "store/run_lock.h"

#include <gtest/gtest.h>

#include "tests/support/test_database.h"

namespace vela {
namespace {

// Two holders in one process exclude each other too: the window's worker and a
// test (or a second connection) must not both run a scheme at once.
TEST(RunLock, OneHolderPerDatabaseFileUntilItLetsGo) {
    test::TestDatabaseFile file;
    RunLock first(file.path());
    RunLock second(file.path());
    ASSERT_TRUE(first.TryLock());
    EXPECT_TRUE(first.TryLock()) << "held already";
    EXPECT_FALSE(second.TryLock());
    first.Unlock();
    EXPECT_TRUE(second.TryLock());
    {
        RunLock third(file.path());
        EXPECT_FALSE(third.TryLock());
    }
    second.Unlock();
    // Ending the holder lets go as well.
    {
        RunLock scoped(file.path());
        EXPECT_TRUE(scoped.TryLock());
    }
    EXPECT_TRUE(first.TryLock());
    EXPECT_EQ(RunLockPath(file.path()), file.path() + ".lock");
}

// A place where no lock file can be made leaves the runs unguarded, not stopped.
TEST(RunLock, NoLockFileMeansUnguarded) {
    test::TestDatabaseFile file;
    RunLock lock(file.dir() + "/no such folder/vela.sdb");
    EXPECT_TRUE(lock.TryLock());
    RunLock unnamed("");
    EXPECT_TRUE(unnamed.TryLock());
}

}  // namespace
}  // namespace vela
