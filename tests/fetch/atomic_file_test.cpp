#include "fetch/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace vela {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vela_atomic_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, ignored);
        fs::remove_all(dir_, ignored);
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

TEST_F(AtomicFileTest, ReplacesTheFileWithItsModeAndLeavesNothingBeside) {
    const mode_t mask = ::umask(022);
    struct Case {
        const char* name;
        FileMode mode;
        TemporaryName temporary;
        std::string bytes;
        mode_t expected;
    };
    const Case cases[] = {
        {"owner", FileMode::Owner, {}, "secret\n", 0600},
        {"shared", FileMode::Shared, {}, "feed", 0644},
        {"hidden", FileMode::Owner, {true, ".tmp"}, std::string("a\0b", 3), 0600},
        {"empty", FileMode::Shared, {}, "", 0644},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir_ / c.name;
        {
            std::ofstream old(path);
            old << "old text, longer than the new one";
        }
        fs::permissions(path, fs::perms::all);
        const FileWrite written = WriteFileAtomically(path.string(), c.bytes, c.mode, c.temporary);
        EXPECT_EQ(written.step, FileWriteStep::Done);
        EXPECT_TRUE(written.Replaced());
        EXPECT_EQ(Read(path), c.bytes);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.expected);
    }
    ::umask(mask);
    EXPECT_EQ(Names(), (std::vector<std::string>{"empty", "hidden", "owner", "shared"}));
}

TEST_F(AtomicFileTest, AFailedWriteLeavesTheTargetAndNoTemporary) {
    const fs::path path = dir_ / "kept";
    {
        std::ofstream old(path);
        old << "old";
    }
    // A folder in the target's place: the rename fails after the write.
    const fs::path folder = dir_ / "folder";
    fs::create_directories(folder / "inside");
    FileWrite written = WriteFileAtomically(folder.string(), "new", FileMode::Owner);
    EXPECT_EQ(written.step, FileWriteStep::Write);
    EXPECT_NE(written.error, 0);
    EXPECT_FALSE(written.Replaced());
    EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "kept"}));
    // A missing folder: no temporary can be made.
    written = WriteFileAtomically((dir_ / "missing" / "x").string(), "new", FileMode::Owner);
    EXPECT_EQ(written.step, FileWriteStep::Create);
    EXPECT_EQ(written.error, ENOENT);
    EXPECT_EQ(Read(path), "old");
}

}  // namespace
}  // namespace vela
