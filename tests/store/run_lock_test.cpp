#include "store/run_lock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "tests/support/test_database.h"

namespace vela {
namespace {

namespace fs = std::filesystem;

// Two holders in one process exclude each other too: the window's worker and a
// test (or a second connection) must not both run a scheme at once.
TEST(RunLock, OneHolderPerDatabaseFileUntilItLetsGo) {
    test::TestDatabaseFile file;
    RunLock first(file.path());
    RunLock second(file.path());
    ASSERT_EQ(first.TryLock(), RunLockState::Held);
    EXPECT_EQ(first.TryLock(), RunLockState::Held) << "held already";
    EXPECT_EQ(second.TryLock(), RunLockState::Busy);
    first.Unlock();
    EXPECT_EQ(second.TryLock(), RunLockState::Held);
    {
        RunLock third(file.path());
        EXPECT_EQ(third.TryLock(), RunLockState::Busy);
    }
    second.Unlock();
    // Ending the holder lets go as well.
    {
        RunLock scoped(file.path());
        EXPECT_EQ(scoped.TryLock(), RunLockState::Held);
    }
    EXPECT_EQ(first.TryLock(), RunLockState::Held);
    EXPECT_EQ(first.LockPath(), RunLockPath(file.path()));
}

// Every path that reaches the file through links or folders names one lock file,
// beside the file's real path.
TEST(RunLock, EveryPathToTheFileSharesOneLock) {
    test::TestDatabaseFile file;
    const fs::path dir = file.dir();
    fs::create_directories(dir / "a/b");
    fs::create_symlink(file.path(), dir / "a/link.sdb");
    fs::create_directory_symlink(dir, dir / "a/b/up");
    const std::string real = fs::canonical(file.path()).string();
    RunLock holder(file.path());
    ASSERT_EQ(holder.TryLock(), RunLockState::Held);
    for (const fs::path& other : {dir / "a/link.sdb", dir / "a/b/../../vela.sdb",
                                  dir / "a/b/up/vela.sdb", dir / "./a/../vela.sdb"}) {
        SCOPED_TRACE(other.string());
        EXPECT_EQ(RunLockPath(other.string()), real + ".lock");
        RunLock another(other.string());
        EXPECT_EQ(another.TryLock(), RunLockState::Busy);
    }
    EXPECT_FALSE(fs::exists(dir / "a/link.sdb.lock"));
}

// A lock that cannot be taken is said so, naming the lock file, never taken for
// held: the runs would otherwise go unguarded.
TEST(RunLock, UnusableLockFileIsUnavailable) {
    test::TestDatabaseFile file;
    const std::string lockPath = RunLockPath(file.path());
    struct Case {
        const char* what;
        std::string database;
        std::function<void()> plant;
        std::string problem;
        int error;
    };
    const Case cases[] = {
        {"symbolic link at the lock path", file.path(),
         [&] { fs::create_symlink(file.dir() + "/elsewhere", lockPath); },
         "cannot open the lock file " + lockPath + ": it is a symbolic link", ELOOP},
        {"folder at the lock path", file.path(), [&] { fs::create_directory(lockPath); },
         "cannot open the lock file " + lockPath + ": Is a directory", EISDIR},
        {"database gone", file.dir() + "/gone.sdb", [] {},
         "cannot lock " + file.dir() + "/gone.sdb.lock: the database", ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(lockPath);
        c.plant();
        RunLock lock(c.database);
        EXPECT_EQ(lock.TryLock(), RunLockState::Unavailable);
        EXPECT_EQ(lock.Problem().rfind(c.problem, 0), 0u) << lock.Problem();
        EXPECT_EQ(lock.Error(), c.error);
    }
    EXPECT_FALSE(fs::exists(file.dir() + "/elsewhere"));
    // A database without a file has nothing to share.
    for (const char* none : {"", ":memory:"}) {
        RunLock lock(none);
        EXPECT_EQ(lock.TryLock(), RunLockState::Held);
    }
}

}  // namespace
}  // namespace vela
