#include "read_connections.h"

#include <sqlite3.h>

#include <string_view>

#include "fetch/gbk_search.h"

namespace vela {
namespace {

void GbkContainsFunction(sqlite3_context* context, int, sqlite3_value** values) {
    const auto text = [](sqlite3_value* value) {
        const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
        return std::string_view(bytes ? bytes : "",
                                static_cast<std::size_t>(sqlite3_value_bytes(value)));
    };
    sqlite3_result_int(context, GbkContains(text(values[0]), text(values[1]), true) ? 1 : 0);
}

// The time a query may read. It starts at SQLite's first progress call, after the
// query holds its read lock, so a wait for a writer does not count.
struct ReadBudget {
    std::chrono::milliseconds limit;
    std::chrono::steady_clock::time_point deadline{};
    bool started = false;
};

// Asked by SQLite every kProgressSteps steps of a query with a time limit;
// nonzero ends the query with SQLITE_INTERRUPT.
int PastBudget(void* data) {
    auto& budget = *static_cast<ReadBudget*>(data);
    const auto now = std::chrono::steady_clock::now();
    if (!budget.started) {
        budget.started = true;
        budget.deadline = now + budget.limit;
        return 0;
    }
    return now > budget.deadline ? 1 : 0;
}
constexpr int kProgressSteps = 1000;

}  // namespace

ReadConnections::ReadConnections(std::string path, int busyTimeoutMs)
    : path_(std::move(path)), busyTimeoutMs_(busyTimeoutMs) {}

ReadConnections::~ReadConnections() {
    for (const Connection& c : idle_) sqlite3_close_v2(c.db);
}

bool ReadConnections::Borrow(Connection& out) {
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            out = idle_.back();
            idle_.pop_back();
            return true;
        }
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_busy_timeout(db, busyTimeoutMs_);
    sqlite3_create_function_v2(db, "gbk_contains", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               GbkContainsFunction, nullptr, nullptr, nullptr);
    out = Connection{db, -1};
    return true;
}

void ReadConnections::Return(Connection connection) {
    std::lock_guard lock(mutex_);
    idle_.push_back(connection);
}

uint64_t ReadConnections::Generation() {
    Connection c;
    if (!Borrow(c)) return 0;
    sqlite3_stmt* stmt = nullptr;
    int64_t version = -1;
    if (sqlite3_prepare_v2(c.db, "pragma data_version", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        version = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        // A new connection has seen nothing yet: what it reads may be newer than
        // any answer made so far.
        if (version < 0 || version != c.dataVersion) ++generation_;
        generation = version < 0 ? 0 : generation_;
    }
    c.dataVersion = version;
    Return(c);
    return generation;
}

bool ReadConnections::Query(const BoundSql& query, TextTable& rows) {
    return Read(query, rows, std::chrono::milliseconds(0)) == ReadOutcome::kRead;
}

ReadOutcome ReadConnections::Read(const BoundSql& query, TextTable& rows,
                                  std::chrono::milliseconds timeLimit) {
    rows.clear();
    Connection c;
    if (!Borrow(c)) return ReadOutcome::kFailed;
    sqlite3* db = c.db;
    ReadBudget budget{timeLimit};
    if (timeLimit.count() > 0) sqlite3_progress_handler(db, kProgressSteps, PastBudget, &budget);
    int rc = SQLITE_OK;
    bool ok = false;
    // Finalized before the connection goes back: another thread may take it next.
    if (const PreparedSql prepared(db, query); prepared.code() == SQLITE_OK) {
        sqlite3_stmt* stmt = prepared.get();
        const int columns = sqlite3_column_count(stmt);
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::vector<std::string>& row = rows.emplace_back();
            row.reserve(columns);
            for (int c = 0; c < columns; ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                row.emplace_back(
                    text ? text : "",
                    text ? static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)) : 0);
            }
        }
        ok = rc == SQLITE_DONE;
    }
    if (timeLimit.count() > 0) sqlite3_progress_handler(db, 0, nullptr, nullptr);
    Return(c);
    if (ok) return ReadOutcome::kRead;
    rows.clear();
    return rc == SQLITE_INTERRUPT ? ReadOutcome::kTooLong : ReadOutcome::kFailed;
}

}  // namespace vela
