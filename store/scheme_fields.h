#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "bound_sql.h"

namespace vela {

class Database;

// How a scheme's page is fetched: with the program's own request (the default), or
// rendered by a headless browser, for pages that build their list with script.
enum class FetchMode { kHttp, kBrowser };

// The names kept in table rule_field and scheme files: "http", "browser". Here
// rather than in a source file, so that the scheme file's reader (and its fuzz
// target) needs nothing of the database for them.
inline const char* FetchModeName(FetchMode mode) {
    return mode == FetchMode::kBrowser ? "browser" : "http";
}
// False (and `mode` unchanged) for any other name.
inline bool ParseFetchMode(std::string_view name, FetchMode& mode) {
    if (name != "http" && name != "browser") return false;
    mode = name == "browser" ? FetchMode::kBrowser : FetchMode::kHttp;
    return true;
}

// What a scheme holds beyond its row of table `rule`. Kept in table `rule_field`,
// one row per scheme keyed by the scheme's id, so that table `rule` stays exactly
// as files of earlier versions and other programs know it. GBK texts, as the
// editor holds them; the defaults are how every scheme behaved before.
struct SchemeFields {
    // Keywords, one per line (LF; a CR before it is no part of the keyword). A
    // title must hold one of `include` (any title when there is none) and none of
    // `exclude`. A keyword written /.../ is a regular expression.
    std::string include;
    std::string exclude;
    // Titles and other values as a person reads them: tags removed, entities
    // decoded, runs of blanks folded.
    bool cleanTitles = false;
    FetchMode fetch = FetchMode::kHttp;

    bool operator==(const SchemeFields&) const = default;
    bool IsDefault() const { return *this == SchemeFields{}; }
};

// The table of the fields and its two triggers: removing a scheme's row removes
// its fields, whoever removes it (the window, the runner, the SQL console, an
// earlier version), and a new row never inherits the fields of a removed one that
// had its id. Made when missing; the statements change nothing in a file that has
// them.
inline constexpr const char* kSchemeFieldTableSql =
    "create table if not exists rule_field (id INTEGER PRIMARY KEY, include TEXT, "
    "exclude TEXT, clean_titles TEXT, fetch TEXT);"
    "create trigger if not exists rule_field_removed after delete on rule begin "
    "delete from rule_field where id=old.id; end;"
    "create trigger if not exists rule_field_fresh after insert on rule begin "
    "delete from rule_field where id=new.id; end;";

// Makes the table and its triggers where the file lacks them, and adds the
// columns a table made by an earlier version lacks (`fetch`). False when that
// fails (a read-only file): its schemes then read with default fields, and a
// table without a column reads as that field's default.
bool EnsureSchemeFieldTable(Database& db);

// Stores `fields` as scheme `id`'s, replacing what it had.
BoundSql SchemeFieldsSaveStatement(int64_t id, const SchemeFields& fields);
// Gives scheme `to` the fields of scheme `from` (none when `from` has none).
BoundSql CopySchemeFieldsStatement(int64_t from, int64_t to);

// The fields of scheme `id`: defaults when it has no row or the file has no
// table. False when the table exists but cannot be read.
bool ReadSchemeFields(Database& db, int64_t id, SchemeFields& fields);
// The fields of every scheme that has a row, by id. False as above.
bool ReadAllSchemeFields(Database& db, std::unordered_map<int64_t, SchemeFields>& fields);

}  // namespace vela
