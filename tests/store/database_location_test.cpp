#include "store/database_location.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <thread>

namespace vela {
namespace {

namespace fs = std::filesystem;

// A temporary folder that goes away with the object.
class TempDir {
public:
    TempDir() {
        path_ =
            fs::temp_directory_path() / ("vela-location-" + std::to_string(std::random_device()()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names of the tables in a database file; empty when it does not open.
std::vector<std::string> Tables(const fs::path& path) {
    std::vector<std::string> names;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_exec(
            db, "select name from sqlite_master where type='table' order by name",
            [](void* out, int, char** values, char**) {
                static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
                return 0;
            },
            &names, nullptr);
    }
    sqlite3_close(db);
    return names;
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DatabaseLocation, DecisionTable) {
    const std::string schema = "/opt/vela/share/vela/schema.sql";
    struct Case {
        const char* what;
        DatabaseLocationInput input;
        DatabaseLocation expected;
    };
    const Case cases[] = {
        {"build tree",
         {"/src/vela/build", false, "/x/data", "/home/u", ""},
         {"/src/vela/build/vela.sdb", ""}},
        {"copied folder",
         {"/media/stick/vela", false, "", "/home/u", ""},
         {"/media/stick/vela/vela.sdb", ""}},
        {"installed",
         {"/opt/vela/bin", true, "/x/data", "/home/u", ""},
         {"/x/data/vela/vela.sdb", schema}},
        {"installed, XDG_DATA_HOME unset",
         {"/opt/vela/bin", true, "", "/home/u", ""},
         {"/home/u/.local/share/vela/vela.sdb", schema}},
        {"installed, relative XDG_DATA_HOME is ignored",
         {"/opt/vela/bin", true, "data", "/home/u", ""},
         {"/home/u/.local/share/vela/vela.sdb", schema}},
        {"installed, trailing slash",
         {"/opt/vela/bin/", true, "/x/data/", "", ""},
         {"/x/data/vela/vela.sdb", schema}},
        {"installed, no data folder at all", {"/opt/vela/bin", true, "", "", ""}, {"", ""}},
        {"installed, relative HOME only", {"/opt/vela/bin", true, "", "home", ""}, {"", ""}},
        {"--database in the build tree",
         {"/src/vela/build", false, "", "/home/u", "/tmp/a.sdb"},
         {"/tmp/a.sdb", ""}},
        {"--database when installed",
         {"/opt/vela/bin", true, "/x/data", "/home/u", "b.sdb"},
         {"b.sdb", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DatabaseLocation got = ChooseDatabaseLocation(c.input);
        EXPECT_EQ(got.path, c.expected.path);
        EXPECT_EQ(got.schemaPath, c.expected.schemaPath);
    }
}

// The real folder layouts, read from the file system and the environment, and what
// the first start then finds.
TEST(DatabaseLocation, LayoutsOnDisk) {
    TempDir root;
    fs::path data = root.path() / "data";
    ScopedEnv xdg("XDG_DATA_HOME", data.string());
    ScopedEnv home("HOME", (root.path() / "home").string());
    const std::string schema = ReadText(VELA_SCHEMA);

    // A copied folder with its file: that file, untouched.
    fs::path copied = root.path() / "copied";
    WriteText(copied / "vela.sdb", "kept");
    DatabaseLocation location = ChooseDatabaseLocation(GatherLocationInput(copied.string(), ""));
    EXPECT_EQ(location.path, (copied / "vela.sdb").string());
    std::string error;
    EXPECT_TRUE(EnsureDatabaseFile(location, error));
    EXPECT_EQ(ReadText(copied / "vela.sdb"), "kept");

    // A copied folder without one: still beside the program, and never created (the
    // start-up reports the missing file).
    fs::path bare = root.path() / "bare";
    fs::create_directories(bare);
    location = ChooseDatabaseLocation(GatherLocationInput(bare.string(), ""));
    EXPECT_EQ(location.path, (bare / "vela.sdb").string());
    EXPECT_TRUE(EnsureDatabaseFile(location, error));
    EXPECT_FALSE(fs::exists(bare / "vela.sdb"));

    // Installed: the schema under ../share/vela, the file created in the data folder.
    fs::path prefix = root.path() / "prefix";
    WriteText(prefix / "share/vela/schema.sql", schema);
    fs::create_directories(prefix / "bin");
    location = ChooseDatabaseLocation(GatherLocationInput((prefix / "bin").string(), ""));
    EXPECT_EQ(location.path, (data / "vela/vela.sdb").string());
    EXPECT_EQ(location.schemaPath, (prefix / "share/vela/schema.sql").string());
    ASSERT_TRUE(EnsureDatabaseFile(location, error)) << error;
    EXPECT_EQ(Tables(location.path), (std::vector<std::string>{"info", "rule"}));
    EXPECT_EQ(fs::status(data / "vela").permissions(), fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(data / "vela"), {}), 1) << "no leftovers";

    // A later start keeps the user's data.
    sqlite3* db = nullptr;
    sqlite3_open(location.path.c_str(), &db);
    sqlite3_exec(db, "insert into info(title) values('mine')", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    auto before = ReadText(location.path);
    EXPECT_TRUE(EnsureDatabaseFile(location, error));
    EXPECT_EQ(ReadText(location.path), before);

    // --database names the file whatever the layout, and it is never created.
    location = ChooseDatabaseLocation(
        GatherLocationInput((prefix / "bin").string(), (root.path() / "other.sdb").string()));
    EXPECT_EQ(location.path, (root.path() / "other.sdb").string());
    EXPECT_TRUE(EnsureDatabaseFile(location, error));
    EXPECT_FALSE(fs::exists(root.path() / "other.sdb"));
}

// Two first starts at once (the window and a second window, or the window twice)
// each prepare the file; both must end up using the one that is in place, never one
// that the other then replaces.
TEST(DatabaseLocation, TwoFirstStartsAtOnceUseOneFile) {
    TempDir root;
    WriteText(root.path() / "schema.sql", ReadText(VELA_SCHEMA));
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const fs::path target = root.path() / std::to_string(round) / "vela.sdb";
        const DatabaseLocation location{target.string(), (root.path() / "schema.sql").string()};
        std::atomic<int> ready{0};
        ino_t used[2] = {0, 0};
        std::string errors[2];
        auto start = [&](int i) {
            ++ready;
            while (ready < 2) std::this_thread::yield();
            if (!EnsureDatabaseFile(location, errors[i])) return;
            // What the start then opens and keeps open.
            struct stat opened {};
            if (::stat(target.c_str(), &opened) == 0) used[i] = opened.st_ino;
        };
        std::thread first(start, 0);
        std::thread second(start, 1);
        first.join();
        second.join();
        struct stat placed {};
        ASSERT_EQ(::stat(target.c_str(), &placed), 0);
        EXPECT_EQ(errors[0] + errors[1], "");
        EXPECT_EQ(used[0], placed.st_ino);
        EXPECT_EQ(used[1], placed.st_ino);
        EXPECT_EQ(Tables(target), (std::vector<std::string>{"info", "rule"}));
        EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), {}), 1)
            << "no leftovers";
    }
}

// A first start that cannot make the file says why and leaves nothing behind that a
// later start would take for the database.
TEST(DatabaseLocation, FailedCreationLeavesNoFile) {
    TempDir root;
    fs::path good = root.path() / "schema.sql";
    WriteText(good, ReadText(VELA_SCHEMA));
    fs::path broken = root.path() / "broken.sql";
    WriteText(broken, "CREATE TABLE rule (id INTEGER PRIMARY KEY);\nCREATE TABLE oops (");
    WriteText(root.path() / "blocker", "a file where a folder should be");
    WriteText(root.path() / "empty.sql", "");
    struct Case {
        const char* what;
        fs::path schema;
        fs::path target;
    };
    const Case cases[] = {
        {"no schema", root.path() / "absent.sql", root.path() / "a/vela.sdb"},
        {"empty schema", root.path() / "empty.sql", root.path() / "b/vela.sdb"},
        {"broken schema", broken, root.path() / "c/vela.sdb"},
        {"folder cannot be made", good, root.path() / "blocker/vela/vela.sdb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        EXPECT_FALSE(EnsureDatabaseFile({c.target.string(), c.schema.string()}, error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(fs::exists(c.target));
        std::error_code ec;
        if (fs::is_directory(c.target.parent_path(), ec)) {
            EXPECT_TRUE(fs::is_empty(c.target.parent_path())) << "no temporary file left";
        }
    }
}

}  // namespace
}  // namespace vela
