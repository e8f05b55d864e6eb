#include "scheme_fields.h"

#include "database.h"
#include "read_rows.h"
#include "row_id.h"

namespace vela {
namespace {

// True with `present` set when the schema could be read.
bool TablePresent(Database& db, bool& present) {
    TextTable rows;
    if (!ReadRows(db, "select 1 from sqlite_master where type='table' and name='rule_field'",
                  rows)) {
        return false;
    }
    present = !rows.empty();
    return true;
}

SchemeFields FieldsFromCells(const std::vector<std::string>& cells) {
    SchemeFields fields;
    if (cells.size() > 1) fields.include = cells[1];
    if (cells.size() > 2) fields.exclude = cells[2];
    fields.cleanTitles = cells.size() > 3 && cells[3] == "1";
    return fields;
}

}  // namespace

bool EnsureSchemeFieldTable(Database& db) { return db.ExecSql(kSchemeFieldTableSql); }

BoundSql SchemeFieldsSaveStatement(int64_t id, const SchemeFields& fields) {
    return {"insert or replace into rule_field (id, include, exclude, clean_titles) "
            "values (?, ?, ?, ?)",
            {id, fields.include, fields.exclude, std::string(fields.cleanTitles ? "1" : "0")}};
}

BoundSql CopySchemeFieldsStatement(int64_t from, int64_t to) {
    return {"insert or replace into rule_field (id, include, exclude, clean_titles) "
            "select ?, include, exclude, clean_titles from rule_field where id=?",
            {to, from}};
}

bool ReadSchemeFields(Database& db, int64_t id, SchemeFields& fields) {
    fields = {};
    bool present = false;
    if (!TablePresent(db, present)) return false;
    if (!present) return true;
    TextTable rows;
    if (!ReadRows(db, {"select id, include, exclude, clean_titles from rule_field where id=?", {id}},
                  rows)) {
        return false;
    }
    if (!rows.empty()) fields = FieldsFromCells(rows[0]);
    return true;
}

bool ReadAllSchemeFields(Database& db, std::unordered_map<int64_t, SchemeFields>& fields) {
    fields.clear();
    bool present = false;
    if (!TablePresent(db, present)) return false;
    if (!present) return true;
    TextTable rows;
    if (!ReadRows(db, "select id, include, exclude, clean_titles from rule_field", rows)) {
        return false;
    }
    for (const auto& row : rows) {
        int64_t id = 0;
        if (!row.empty() && ParseRowId(row[0], id)) fields[id] = FieldsFromCells(row);
    }
    return true;
}

}  // namespace vela
