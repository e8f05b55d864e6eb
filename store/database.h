#pragma once

#include <mutex>
#include <string>

struct sqlite3;

namespace vela {

// The one connection to the database file. Every statement runs under one lock, so
// the GUI thread and the monitoring worker never use the connection at the same time.
class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file; `create` is accepted for completeness but a missing
    // file is never created. A file SQLite does not recognise is refused here.
    bool OpenDatabase(const std::string& path, bool create);
    // Runs every statement of `sql` in order, stopping at the first failure.
    bool ExecSql(const std::string& sql);
    // Result code of the most recent call; 0 when it succeeded or when closed.
    int LastErrorCode() const;
    void CloseDatabase();
    bool IsOpen() const;
    // The file given to the last successful OpenDatabase; empty when closed.
    const std::string& Path() const { return path_; }

    // For the query object: holds the connection across a prepare-count-read sequence.
    std::recursive_mutex& Mutex() const { return mutex_; }
    sqlite3* Handle() const { return db_; }
    void RecordResult(int code);

private:
    mutable std::recursive_mutex mutex_;
    sqlite3* db_ = nullptr;
    int lastCode_ = 0;
    std::string path_;
};

}  // namespace vela
