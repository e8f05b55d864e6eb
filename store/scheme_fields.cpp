#include "scheme_fields.h"

#include <string_view>
#include <vector>

#include "database.h"
#include "read_rows.h"
#include "row_id.h"

namespace vela {
namespace {

// The table's columns in their order; empty when there is no table. False when
// the schema could not be read.
bool TableColumns(Database& db, std::vector<std::string>& columns) {
    columns.clear();
    TextTable rows;
    if (!ReadRows(db, "select name from pragma_table_info('rule_field')", rows)) return false;
    for (const auto& row : rows) {
        if (!row.empty()) columns.push_back(row[0]);
    }
    return true;
}

bool HasColumn(const std::vector<std::string>& columns, std::string_view name) {
    for (const std::string& column : columns) {
        if (column == name) return true;
    }
    return false;
}

// The select of the fields; a column an earlier version's table lacks reads as null.
std::string FieldsSelect(const std::vector<std::string>& columns) {
    return std::string("select id, include, exclude, clean_titles, ") +
           (HasColumn(columns, "fetch") ? "fetch" : "null") + " from rule_field";
}

SchemeFields FieldsFromCells(const std::vector<std::string>& cells) {
    SchemeFields fields;
    if (cells.size() > 1) fields.include = cells[1];
    if (cells.size() > 2) fields.exclude = cells[2];
    fields.cleanTitles = cells.size() > 3 && cells[3] == "1";
    if (cells.size() > 4) ParseFetchMode(cells[4], fields.fetch);
    return fields;
}

}  // namespace

bool EnsureSchemeFieldTable(Database& db) {
    if (!db.ExecSql(kSchemeFieldTableSql)) return false;
    std::vector<std::string> columns;
    if (!TableColumns(db, columns)) return false;
    if (HasColumn(columns, "fetch")) return true;
    return db.ExecSql("alter table rule_field add column fetch TEXT");
}

BoundSql SchemeFieldsSaveStatement(int64_t id, const SchemeFields& fields) {
    return {
        "insert or replace into rule_field (id, include, exclude, clean_titles, fetch) "
        "values (?, ?, ?, ?, ?)",
        {id, fields.include, fields.exclude, std::string(fields.cleanTitles ? "1" : "0"),
         std::string(FetchModeName(fields.fetch))}};
}

BoundSql CopySchemeFieldsStatement(int64_t from, int64_t to) {
    return {
        "insert or replace into rule_field (id, include, exclude, clean_titles, fetch) "
        "select ?, include, exclude, clean_titles, fetch from rule_field where id=?",
        {to, from}};
}

bool ReadSchemeFields(Database& db, int64_t id, SchemeFields& fields) {
    fields = {};
    std::vector<std::string> columns;
    if (!TableColumns(db, columns)) return false;
    if (columns.empty()) return true;
    TextTable rows;
    if (!ReadRows(db, {FieldsSelect(columns) + " where id=?", {id}}, rows)) {
        return false;
    }
    if (!rows.empty()) fields = FieldsFromCells(rows[0]);
    return true;
}

bool ReadAllSchemeFields(Database& db, std::unordered_map<int64_t, SchemeFields>& fields) {
    fields.clear();
    std::vector<std::string> columns;
    if (!TableColumns(db, columns)) return false;
    if (columns.empty()) return true;
    TextTable rows;
    if (!ReadRows(db, FieldsSelect(columns), rows)) {
        return false;
    }
    for (const auto& row : rows) {
        int64_t id = 0;
        if (!row.empty() && ParseRowId(row[0], id)) fields[id] = FieldsFromCells(row);
    }
    return true;
}

}  // namespace vela
