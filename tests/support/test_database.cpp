#include "test_database.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "store/database.h"
#include "store/scheme_fields.h"

namespace vela::test {

namespace {

std::string MakeTemporaryDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vela-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
    return pattern;
}

}  // namespace

TestDatabaseFile::TestDatabaseFile(Version version)
    : dir_(MakeTemporaryDir()), path_(dir_ + "/vela.sdb") {
    std::ifstream in(VELA_SCHEMA);
    std::stringstream schema;
    schema << in.rdbuf();
    if (schema.str().empty()) throw std::runtime_error("schema not read");
    if (version == kCurrent) schema << kSchemeFieldTableSql;
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    int rc = sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("schema not applied");
}

TestDatabaseFile::~TestDatabaseFile() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

TextTable QueryRows(Database& db, const BoundSql& sql) {
    QueryCursor cursor;
    if (!cursor.PrepareQuery(sql, db) || !cursor.CountRows()) return {};
    return cursor.AllRowsAsText(false);
}

std::string WriteFile(const std::string& dir, const std::string& name, const std::string& bytes) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

}  // namespace vela::test
