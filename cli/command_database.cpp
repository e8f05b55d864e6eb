#include "command_database.h"

#include <sqlite3.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "store/database.h"
#include "store/database_location.h"
#include "store/read_rows.h"
#include "store/scheme_fields.h"

namespace vela {

std::string ExecutableDir() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

namespace {

// Why an installed program found no data folder: each variable unset, or set but
// not an absolute path (which the XDG rule ignores).
std::string NoDataFolderText(const DatabaseLocationInput& input) {
    auto state = [](const char* name, const std::string& value) {
        return value.empty() ? std::string(name) + " is not set"
                             : std::string(name) + " (" + value + ") is not an absolute path";
    };
    return "no place for the database: " + state("XDG_DATA_HOME", input.xdgDataHome) + " and " +
           state("HOME", input.home) + " (use --db)";
}

// A failed open, in words: a file SQLite does not take for a database, a damaged
// one, or one that cannot be read at all.
std::string OpenFailureText(const Database& db, const std::string& path) {
    switch (db.OpenErrorCode()) {
        case SQLITE_NOTADB:
            return path + " is not an SQLite database, or it is damaged";
        case SQLITE_CORRUPT:
            return path + " is damaged (SQLite: " + sqlite3_errstr(SQLITE_CORRUPT) + ")";
        case SQLITE_CANTOPEN:
            if (db.OpenErrno() != 0) {
                return "cannot read the database " + path + ": " + std::strerror(db.OpenErrno());
            }
            break;
        default:
            break;
    }
    return "cannot read the database " + path + " (SQLite: " + sqlite3_errstr(db.OpenErrorCode()) +
           ")";
}

}  // namespace

void WaitLongForDatabaseLock(Database& db) {
    db.SetBusyWait(kDatabaseLockWait, [&db] {
        // Not the run lock of vela.sdb.lock, which only this program's runs take:
        // SQLite's own lock on the file, which any program reading or writing it may
        // hold.
        std::fprintf(
            stderr,
            "vela-cli: waiting for %s: another program holds SQLite's lock on it "
            "(a database viewer, or another program writing it); waiting up to %lld s\n",
            db.Path().c_str(),
            static_cast<long long>(
                std::chrono::duration_cast<std::chrono::seconds>(kDatabaseLockWait).count()));
        std::fflush(stderr);
    });
}

std::string CommandDatabasePath(const std::string& explicitPath, std::string& error) {
    const DatabaseLocationInput input = GatherLocationInput(ExecutableDir(), explicitPath);
    const DatabaseLocation location = ChooseDatabaseLocation(input);
    if (location.path.empty()) error = NoDataFolderText(input);
    return location.path;
}

bool OpenCommandDatabase(const std::string& explicitPath, Database& db, std::string& error) {
    const DatabaseLocationInput input = GatherLocationInput(ExecutableDir(), explicitPath);
    const DatabaseLocation location = ChooseDatabaseLocation(input);
    if (location.path.empty()) {
        error = NoDataFolderText(input);
        return false;
    }
    if (::access(location.path.c_str(), F_OK) != 0) {
        error = "no database at " + location.path;
        if (!location.schemaPath.empty()) error += " (the window creates it on its first start)";
        return false;
    }
    if (!db.OpenDatabase(location.path, false)) {
        error = OpenFailureText(db, location.path);
        return false;
    }
    TextTable rows;
    if (!ReadRows(db, "select id from rule limit 1", rows) ||
        !ReadRows(db, "select id from info limit 1", rows)) {
        // The tables' pages are read only now: damage beyond the schema shows here.
        const int code = db.LastErrorCode();
        db.CloseDatabase();
        if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) {
            error = location.path + " is damaged (SQLite: " + sqlite3_errstr(code) + ")";
        } else if (code == SQLITE_BUSY) {
            error =
                "cannot read the database " + location.path +
                ": another program held SQLite's lock on it for " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(kDatabaseLockWait).count()) +
                " s";
        } else {
            error =
                location.path + " is not a database of this program (no scheme or article table)";
        }
        return false;
    }
    // A file of an earlier version gets the table of the scheme fields now; a
    // read-only one reads its schemes with default fields.
    EnsureSchemeFieldTable(db);
    return true;
}

}  // namespace vela
