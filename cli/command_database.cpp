#include "command_database.h"

#include <unistd.h>

#include <climits>

#include "store/database.h"
#include "store/database_location.h"
#include "store/read_rows.h"

namespace vela {

std::string ExecutableDir() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string CommandDatabasePath(const std::string& explicitPath, std::string& error) {
    const DatabaseLocation location =
        ChooseDatabaseLocation(GatherLocationInput(ExecutableDir(), explicitPath));
    if (location.path.empty()) {
        error = "no place for the database: neither XDG_DATA_HOME nor HOME is set (use --db)";
    }
    return location.path;
}

bool OpenCommandDatabase(const std::string& explicitPath, Database& db, std::string& error) {
    const DatabaseLocation location =
        ChooseDatabaseLocation(GatherLocationInput(ExecutableDir(), explicitPath));
    if (location.path.empty()) {
        error = "no place for the database: neither XDG_DATA_HOME nor HOME is set (use --db)";
        return false;
    }
    if (::access(location.path.c_str(), F_OK) != 0) {
        error = "no database at " + location.path;
        if (!location.schemaPath.empty()) error += " (the window creates it on its first start)";
        return false;
    }
    if (!db.OpenDatabase(location.path, false)) {
        error = "cannot read the database " + location.path;
        return false;
    }
    TextTable rows;
    if (!ReadRows(db, "select id from rule limit 1", rows) ||
        !ReadRows(db, "select id from info limit 1", rows)) {
        db.CloseDatabase();
        error = location.path + " is not a database of this program (no scheme or article table)";
        return false;
    }
    return true;
}

}  // namespace vela
