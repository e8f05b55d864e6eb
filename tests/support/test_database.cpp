#include "test_database.h"

#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "store/database.h"

namespace vela::test {

TestDatabaseFile::TestDatabaseFile() : path_(dir_.filePath("vela.sdb").toStdString()) {
    std::ifstream in(VELA_SCHEMA);
    std::stringstream schema;
    schema << in.rdbuf();
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    int rc = sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK || schema.str().empty()) throw std::runtime_error("schema not applied");
}

TextTable QueryRows(Database& db, const std::string& sql) {
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
