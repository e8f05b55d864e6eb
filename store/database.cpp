#include "database.h"

#include <sqlite3.h>
#include <unistd.h>

namespace vela {
namespace {

constexpr int kBusyTimeoutMs = 5000;

}  // namespace

Database::~Database() { CloseDatabase(); }

bool Database::OpenDatabase(const std::string& path, bool create) {
    std::lock_guard lock(mutex_);
    CloseDatabase();
    if (path.empty()) return false;
    if (!create && ::access(path.c_str(), R_OK) != 0) return false;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc == SQLITE_OK) {
        // Another program reading the file (a backup, a database browser) holds
        // its lock only briefly: wait for it instead of failing the statement.
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // Opening does not read the file; reading the schema does, and refuses a
        // file that is not a database.
        rc = sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return false;
    }
    db_ = db;
    lastCode_ = 0;
    path_ = path;
    return true;
}

bool Database::ExecSql(const std::string& sql) {
    std::lock_guard lock(mutex_);
    if (sql.empty() || !db_) return false;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    lastCode_ = rc;
    return rc == SQLITE_OK;
}

int Database::LastErrorCode() const {
    std::lock_guard lock(mutex_);
    return db_ ? lastCode_ : 0;
}

void Database::CloseDatabase() {
    std::lock_guard lock(mutex_);
    if (!db_) return;
    // close_v2 waits for a statement the query object may still hold.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    lastCode_ = 0;
    path_.clear();
}

bool Database::IsOpen() const {
    std::lock_guard lock(mutex_);
    return db_ != nullptr;
}

void Database::RecordResult(int code) {
    std::lock_guard lock(mutex_);
    lastCode_ = code;
}

}  // namespace vela
