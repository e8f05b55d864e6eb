#include "database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace vela {
namespace {

// The longest single step of a wait for another program's lock: a stop is seen
// within one step. After a second of waiting the owner hears of it.
constexpr std::chrono::milliseconds kBusyTellAfter{1000};
constexpr std::chrono::milliseconds kBusySteps[] = {
    std::chrono::milliseconds(1), std::chrono::milliseconds(2), std::chrono::milliseconds(5),
    std::chrono::milliseconds(10), std::chrono::milliseconds(20)};

bool Writable(const std::string& path, int mode) {
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

}  // namespace

Database::~Database() { CloseDatabase(); }

bool Database::OpenDatabase(const std::string& path, bool create) {
    std::lock_guard lock(mutex_);
    CloseDatabase();
    openCode_ = SQLITE_CANTOPEN;
    openErrno_ = 0;
    if (path.empty()) return false;
    if (!create && ::access(path.c_str(), R_OK) != 0) {
        openErrno_ = errno;
        return false;
    }
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* db = nullptr;
    // A wait for the lock during the open can already name the file.
    path_ = path;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc == SQLITE_OK) {
        // Another program reading the file (a backup, a database browser) holds
        // its lock only briefly: wait for it instead of failing the statement.
        sqlite3_busy_handler(db, &Database::OnBusy, this);
        // Opening does not read the file; reading the schema does, and refuses a
        // file that is not a database.
        rc = sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        openCode_ = rc;
        path_.clear();
        return false;
    }
    db_ = db;
    lastCode_ = 0;
    openCode_ = 0;
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

std::string Database::WriteProblem() const {
    std::lock_guard lock(mutex_);
    if (!db_) return "it is not open";
    if (sqlite3_db_readonly(db_, "main") == 1) {
        return "SQLite opened it read-only (the file is not writable, or its format is newer)";
    }
    if (!Writable(path_, W_OK)) return "the file is not writable";
    const std::size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path_.substr(0, slash);
    if (!Writable(folder, W_OK | X_OK)) {
        return "its folder " + folder + " is not writable (SQLite keeps its journal there)";
    }
    return {};
}

void Database::SetStopPredicate(std::function<bool()> stop) {
    std::lock_guard lock(mutex_);
    stop_ = std::move(stop);
}

void Database::SetBusyWait(std::chrono::milliseconds budget, std::function<void()> waiting) {
    std::lock_guard lock(mutex_);
    busyBudget_ = budget;
    busyWaiting_ = std::move(waiting);
}

// SQLite calls this, on the thread of the waiting statement and under the
// connection's lock, each time the file's lock is found taken. 0 gives up.
int Database::OnBusy(void* self, int count) {
    auto& db = *static_cast<Database*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) {
        db.busySince_ = now;
        db.busyTold_ = false;
    }
    if (db.stop_ && db.stop_()) return 0;
    const auto waited = now - db.busySince_;
    if (waited >= db.busyBudget_) return 0;
    if (!db.busyTold_ && waited >= kBusyTellAfter && db.busyWaiting_) {
        db.busyTold_ = true;
        db.busyWaiting_();
    }
    const auto step = kBusySteps[std::min<std::size_t>(static_cast<std::size_t>(count),
                                                       std::size(kBusySteps) - 1)];
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(step, db.busyBudget_ - waited));
    return 1;
}

void Database::RecordResult(int code) {
    std::lock_guard lock(mutex_);
    lastCode_ = code;
}

}  // namespace vela
