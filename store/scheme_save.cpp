#include "scheme_save.h"

#include <sqlite3.h>

#include <mutex>

#include "database.h"
#include "row_id.h"

namespace vela {
namespace {

// Runs `sql` inside an open transaction; on failure rolls it back and fills `outcome`.
// A text without values runs as the editor's statements always have (ExecSql).
bool Step(Database& db, const BoundSql& sql, StatementOutcome& outcome) {
    if (sql.values.empty() ? db.ExecSql(sql.sql) : ExecBound(db, sql)) return true;
    outcome.ok = false;
    outcome.code = db.LastErrorCode();
    db.ExecSql("rollback");
    db.RecordResult(outcome.code);
    return false;
}

// Runs the save statement `sql` inside an open transaction and checks that it
// wrote exactly one row: an update of a row another program removed changes none
// and would otherwise pass for a save. On failure rolls back and fills `outcome`
// (code 0 when the statement ran but found no row).
bool SaveRow(Database& db, const std::string& sql, StatementOutcome& outcome) {
    if (!Step(db, sql, outcome)) return false;
    outcome.changes = sqlite3_changes(db.Handle());
    if (outcome.changes == 1) return true;
    outcome.ok = false;
    outcome.code = 0;
    db.ExecSql("rollback");
    db.RecordResult(0);
    return false;
}

// Begins the transaction of a save and makes the table of the scheme fields
// where the file still lacks it (the open could not make it while another
// program held the file): a save never stores a row without its fields. On
// failure fills `outcome` and names the statement in `failed`.
bool BeginSave(Database& db, StatementOutcome& outcome, std::string& failed) {
    if (!db.ExecSql("begin immediate")) {
        outcome.code = db.LastErrorCode();
        failed = "begin immediate";
        return false;
    }
    if (Step(db, kSchemeFieldTableSql, outcome)) return true;
    failed = kSchemeFieldTableSql;
    return false;
}

}  // namespace

BoundSql SchemeTickStatement(int64_t schemeId, bool ticked) {
    return {std::string("update rule set isdo=") + (ticked ? "1" : "0") + " where id=?",
            {schemeId}};
}

BoundSql RemoveSchemeStatement(int64_t schemeId) {
    return {"delete from rule where id=?", {schemeId}};
}

SchemeSavesOutcome ExecuteSchemeSaves(Database& db, const std::vector<SchemeSave>& saves,
                                      const std::function<bool()>& stillAsRead) {
    std::lock_guard lock(db.Mutex());
    SchemeSavesOutcome result;
    StatementOutcome& outcome = result.outcome;
    if (!BeginSave(db, outcome, result.failedStatement)) return result;
    if (stillAsRead && !stillAsRead()) {
        db.ExecSql("rollback");
        outcome.ok = false;
        outcome.code = 0;
        result.changedMeanwhile = true;
        return result;
    }
    for (const SchemeSave& save : saves) {
        const bool insert = save.rowId == 0;
        // The editor's statement, its id written from the number: the form's own
        // id text is not read here.
        SchemeForm form = save.form;
        form.id = std::to_string(save.rowId);
        const std::string sql = SchemeSaveStatement(form);
        if (!SaveRow(db, sql, outcome)) {
            result.failedStatement = sql;
            if (outcome.code == 0) result.missingId = save.rowId;
            result.ids.clear();
            return result;
        }
        const int64_t id = insert ? sqlite3_last_insert_rowid(db.Handle()) : save.rowId;
        const BoundSql fields = SchemeFieldsSaveStatement(id, save.form.fields);
        if (!Step(db, fields, outcome)) {
            result.failedStatement = fields.Shown();
            result.ids.clear();
            return result;
        }
        // An insert ticks the new row already; an update leaves the tick as it was.
        if (!insert || !save.ticked) {
            const BoundSql tick = SchemeTickStatement(id, save.ticked);
            if (!Step(db, tick, outcome)) {
                result.failedStatement = tick.Shown();
                result.ids.clear();
                return result;
            }
        }
        result.ids.push_back(id);
    }
    if (!Step(db, "commit", outcome)) {
        result.failedStatement = "commit";
        result.ids.clear();
        return result;
    }
    outcome.ok = true;
    outcome.code = 0;
    return result;
}

StatementOutcome ExecuteFormSave(Database& db, const SchemeForm& form) {
    std::lock_guard lock(db.Mutex());
    StatementOutcome outcome;
    std::string failed;
    if (!BeginSave(db, outcome, failed)) return outcome;
    if (!SaveRow(db, SchemeSaveStatement(form), outcome)) return outcome;
    int64_t id = 0;
    bool rowKnown = true;
    if (form.id == "0") {
        id = sqlite3_last_insert_rowid(db.Handle());
    } else {
        rowKnown = ParseRowId(form.id, id);
    }
    if (rowKnown) {
        if (!Step(db, SchemeFieldsSaveStatement(id, form.fields), outcome)) return outcome;
    } else if (!form.fields.IsDefault()) {
        // The update found its row by a text that names no row id plainly: the
        // keywords cannot be tied to it, and a scheme must not run without them.
        outcome.ok = false;
        outcome.code = 0;
        db.ExecSql("rollback");
        db.RecordResult(0);
        return outcome;
    }
    if (!Step(db, "commit", outcome)) return outcome;
    outcome.ok = true;
    outcome.changes = 1;
    return outcome;
}

StatementOutcome ExecuteInTransaction(Database& db, const std::vector<BoundSql>& statements) {
    std::lock_guard lock(db.Mutex());
    StatementOutcome outcome;
    if (!db.ExecSql("begin immediate")) {
        outcome.code = db.LastErrorCode();
        return outcome;
    }
    for (const BoundSql& sql : statements) {
        if (!Step(db, sql, outcome)) return outcome;
    }
    if (!Step(db, "commit", outcome)) return outcome;
    outcome.ok = true;
    return outcome;
}

}  // namespace vela
