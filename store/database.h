#pragma once

#include <chrono>
#include <functional>
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
    // Why the last OpenDatabase failed: SQLite's result code (SQLITE_NOTADB for a
    // file that is not a database, SQLITE_CORRUPT for a damaged one,
    // SQLITE_CANTOPEN with `OpenErrno` when the file could not be read); 0 after
    // a successful open.
    int OpenErrorCode() const { return openCode_; }
    int OpenErrno() const { return openErrno_; }
    // Runs every statement of `sql` in order, stopping at the first failure.
    bool ExecSql(const std::string& sql);
    // Result code of the most recent call; 0 when it succeeded or when closed.
    int LastErrorCode() const;
    void CloseDatabase();
    bool IsOpen() const;
    // Empty when the open file can be written; otherwise why not: SQLite opened it
    // read-only (the file is not writable for this user, or its format is newer),
    // or the file or its folder (where SQLite makes its journal) is not writable.
    std::string WriteProblem() const;

    // While another program holds the file's lock, a statement waits for it in
    // short steps, up to 5 s. `stop` is asked at every step; once it says true the
    // wait ends and the statement fails with SQLITE_BUSY, so a stop is never held
    // up by another program's lock. It is called on the thread that runs the
    // statement. Installed by the connection's owner; none by default.
    void SetStopPredicate(std::function<bool()> stop);
    // Waits up to `budget` instead of 5 s; `waiting`, when given, is called once in
    // a wait that has lasted a second, on the thread of the waiting statement and
    // under the connection's lock, so that the owner can say what it waits for.
    // Set before OpenDatabase to cover the reads of the open too.
    void SetBusyWait(std::chrono::milliseconds budget, std::function<void()> waiting);
    // The file given to the last successful OpenDatabase (during one, the file it
    // opens); empty when closed.
    const std::string& Path() const { return path_; }

    // For the query object: holds the connection across a prepare-count-read sequence.
    std::recursive_mutex& Mutex() const { return mutex_; }
    sqlite3* Handle() const { return db_; }
    void RecordResult(int code);

private:
    static int OnBusy(void* self, int count);

    mutable std::recursive_mutex mutex_;
    sqlite3* db_ = nullptr;
    int lastCode_ = 0;
    int openCode_ = 0;
    int openErrno_ = 0;
    std::string path_;
    std::function<bool()> stop_;
    std::chrono::milliseconds busyBudget_{5000};
    std::function<void()> busyWaiting_;
    std::chrono::steady_clock::time_point busySince_;
    bool busyTold_ = false;
};

}  // namespace vela
