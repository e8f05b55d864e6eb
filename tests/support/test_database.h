#pragma once

#include <string>

#include "store/query_cursor.h"

namespace vela::test {

// A fresh database file made from the delivered schema, in a temporary folder
// that goes away with the object. Like a file the program has opened once, it
// holds the table of the scheme fields, unless it stands for a file of an
// earlier version (`kWithoutSchemeFields`).
class TestDatabaseFile {
public:
    enum Version { kCurrent, kWithoutSchemeFields };
    explicit TestDatabaseFile(Version version = kCurrent);
    ~TestDatabaseFile();
    TestDatabaseFile(const TestDatabaseFile&) = delete;
    TestDatabaseFile& operator=(const TestDatabaseFile&) = delete;
    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::string path_;
};

// Every row `sql` yields, as texts; empty when the query fails.
TextTable QueryRows(Database& db, const BoundSql& sql);

// Writes `bytes` to a file in `dir` and returns its path.
std::string WriteFile(const std::string& dir, const std::string& name, const std::string& bytes);

}  // namespace vela::test
