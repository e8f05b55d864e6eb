#include "database_location.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace vela {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "vela.sdb";
// The delivered schema is a few hundred bytes; anything far larger is not ours.
constexpr std::uintmax_t kMaxSchemaBytes = 1 << 20;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The XDG base-directory rule: a relative path in the variable is ignored.
bool UsableBase(const std::string& dir) { return !dir.empty() && fs::path(dir).is_absolute(); }

// Creates each missing folder of `dir` with mode 0700, as the XDG rule asks for
// folders a program makes for its data.
bool MakeFolders(const fs::path& dir, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return true;
    if (dir.has_parent_path() && dir.parent_path() != dir &&
        !MakeFolders(dir.parent_path(), error)) {
        return false;
    }
    if (!fs::create_directory(dir, ec) && !fs::is_directory(dir)) {
        error = "cannot create folder " + dir.string() + ": " + ec.message();
        return false;
    }
    fs::permissions(dir, fs::perms::owner_all, ec);
    return true;
}

bool ReadSchema(const std::string& path, std::string& schema, std::string& error) {
    std::error_code ec;
    std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size == 0 || size > kMaxSchemaBytes) {
        error = "no usable schema at " + path;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    schema = text.str();
    if (!in || schema.size() != size) {
        error = "cannot read schema " + path;
        return false;
    }
    return true;
}

bool WriteTables(const std::string& path, const std::string& schema, std::string& error) {
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) error = std::string("cannot write the tables: ") + sqlite3_errstr(rc);
    if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK) {
        error = "cannot close " + path;
        rc = SQLITE_ERROR;
    }
    return rc == SQLITE_OK;
}

// Puts the prepared file at `target` unless a file is there already, in one step
// the kernel makes atomic: of two first starts at once, the second finds the
// first one's file and uses it, and neither replaces a file the other has opened.
// True when `target` exists afterwards, whoever made it.
bool PlaceUnlessPresent(const fs::path& prepared, const fs::path& target, std::string& error) {
    if (::renameat2(AT_FDCWD, prepared.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    int failure = errno;
    if (failure == EINVAL || failure == ENOSYS || failure == ENOTSUP) {
        // A file system without the no-replace rename: a hard link is atomic too.
        failure = ::link(prepared.c_str(), target.c_str()) == 0 ? 0 : errno;
    }
    if (failure == 0 || failure == EEXIST) return true;
    error = "cannot create " + target.string() + ": " + std::strerror(failure);
    return false;
}

}  // namespace

DatabaseLocation ChooseDatabaseLocation(const DatabaseLocationInput& input) {
    if (!input.explicitPath.empty()) return {input.explicitPath, ""};
    if (!input.installedSchemaPresent) {
        return {(fs::path(input.executableDir) / kFileName).string(), ""};
    }
    fs::path base;
    if (UsableBase(input.xdgDataHome)) {
        base = input.xdgDataHome;
    } else if (UsableBase(input.home)) {
        base = fs::path(input.home) / ".local" / "share";
    } else {
        return {"", ""};
    }
    return {(base / "vela" / kFileName).string(), InstalledSchemaPath(input.executableDir)};
}

std::string InstalledSchemaPath(const std::string& executableDir) {
    return (fs::path(executableDir) / ".." / "share" / "vela" / "schema.sql")
        .lexically_normal()
        .string();
}

DatabaseLocationInput GatherLocationInput(const std::string& executableDir,
                                          const std::string& explicitPath) {
    DatabaseLocationInput input;
    input.executableDir = executableDir;
    std::error_code ec;
    input.installedSchemaPresent = fs::is_regular_file(InstalledSchemaPath(executableDir), ec);
    input.xdgDataHome = Environment("XDG_DATA_HOME");
    input.home = Environment("HOME");
    input.explicitPath = explicitPath;
    return input;
}

bool EnsureDatabaseFile(const DatabaseLocation& location, std::string& error) {
    std::error_code ec;
    if (location.schemaPath.empty() || location.path.empty() || fs::exists(location.path, ec)) {
        return true;
    }
    std::string schema;
    if (!ReadSchema(location.schemaPath, schema, error)) return false;
    fs::path target(location.path);
    if (!MakeFolders(target.parent_path(), error)) return false;
    // A name of its own, so two first starts at once never write the same file.
    std::random_device random;
    fs::path temporary = target;
    temporary += ".new-" + std::to_string(random());
    const bool ok = WriteTables(temporary.string(), schema, error) &&
                    PlaceUnlessPresent(temporary, target, error);
    // Gone after the rename; still there after a link, or when another start's
    // file was in place first.
    fs::remove(temporary, ec);
    return ok;
}

}  // namespace vela
