#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "store/bound_sql.h"
#include "store/query_cursor.h"

struct sqlite3;

namespace vela {

enum class ReadOutcome { kRead, kFailed, kTooLong };

// Read-only connections of their own to the database file, for the threads that
// answer web requests: the window and the runner stay the only writers. Each
// query is one statement, so its read transaction lasts only as long as the
// statement; a writer's lock is waited for up to the busy time-out. A connection
// is opened when no idle one is left and kept for the next query, so there are
// never more than the threads that read at one time.
class ReadConnections {
public:
    explicit ReadConnections(std::string path, int busyTimeoutMs = 2000);
    ~ReadConnections();
    ReadConnections(const ReadConnections&) = delete;
    ReadConnections& operator=(const ReadConnections&) = delete;

    // Every row of `query` (its values bound), NULL read as the empty text. False when the file
    // cannot be opened or the query fails. The connections know gbk_contains(text, needle): whether
    // the GBK text holds the needle at a character boundary, ASCII letters folded.
    bool Query(const BoundSql& query, TextTable& rows);
    // The same, given up once it has run `timeLimit` (0: no limit) not counting a
    // wait for a writer's lock: kTooLong then, and no rows.
    ReadOutcome Read(const BoundSql& query, TextTable& rows, std::chrono::milliseconds timeLimit);

    // A number that changes whenever another connection (the window, a runner)
    // has committed a change to the file since the last call; 0 when the file
    // cannot be read. Each connection learns of a commit at its first statement
    // after it (SQLite's data_version), and the first to learn moves the number
    // on, so an answer made under one number holds what was committed before it.
    uint64_t Generation();

private:
    struct Connection {
        sqlite3* db = nullptr;
        int64_t dataVersion = -1;  // as this connection last saw it
    };
    bool Borrow(Connection& out);
    void Return(Connection connection);

    std::string path_;
    int busyTimeoutMs_;
    std::mutex mutex_;
    std::vector<Connection> idle_;
    uint64_t generation_ = 1;
};

}  // namespace vela
