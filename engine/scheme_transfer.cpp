#include "scheme_transfer.h"

#include <unordered_map>
#include <unordered_set>

#include "fetch/encoding.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"
#include "store/row_id.h"
#include "store/scheme_fields.h"

namespace vela {

SchemeFileText ExportSchemes(Database& db, const std::vector<int64_t>& ids) {
    SchemeFileText file;
    TextTable rows;
    std::unordered_map<int64_t, SchemeFields> fields;
    if (!ReadRows(db, kSchemesInIdOrderQuery, rows) || !ReadAllSchemeFields(db, fields)) {
        file.error = "cannot read the schemes of " + db.Path();
        return file;
    }
    // The file of a scheme carries its fields beside its row.
    auto saveOf = [&fields](const std::vector<std::string>& row) {
        SchemeSave save = SchemeSaveFromRow(row);
        int64_t id = 0;
        const auto found = !row.empty() && ParseRowId(row[0], id) ? fields.find(id) : fields.end();
        if (found != fields.end()) save.form.fields = found->second;
        return save;
    };
    std::vector<SchemeSave> schemes;
    if (ids.empty()) {
        for (const auto& row : rows) schemes.push_back(saveOf(row));
    } else {
        std::unordered_map<int64_t, const std::vector<std::string>*> byId;
        for (const auto& row : rows) {
            int64_t id = 0;
            if (!row.empty() && ParseRowId(row[0], id)) byId.emplace(id, &row);
        }
        std::unordered_set<int64_t> named;
        for (const int64_t id : ids) {
            // A scheme named twice is written once: imported, it would be two.
            if (!named.insert(id).second) continue;
            const auto row = byId.find(id);
            if (row == byId.end()) {
                file.error = "no scheme with id " + std::to_string(id);
                return file;
            }
            schemes.push_back(saveOf(*row->second));
        }
    }
    // One scheme that cannot be written does not keep the others from the file.
    std::vector<SchemeSave> writable;
    std::string refused;
    for (const SchemeSave& scheme : schemes) {
        const SchemeFileText alone = WriteSchemeFile({scheme});
        if (alone.ok) {
            writable.push_back(scheme);
        } else {
            refused += (refused.empty() ? "" : "\n") + alone.error;
        }
    }
    if (refused.empty()) return WriteSchemeFile(writable);
    if (!writable.empty()) file.text = WriteSchemeFile(writable).text;
    file.error = refused;
    return file;
}

SchemeImport ImportSchemes(Database& db, const std::vector<FileScheme>& schemes) {
    SchemeImport import;
    std::vector<SchemeSave> saves;
    saves.reserve(schemes.size());
    for (const FileScheme& scheme : schemes) {
        saves.push_back(scheme.save);
        saves.back().rowId = 0;
    }
    const SchemeSavesOutcome outcome = ExecuteSchemeSaves(db, saves);
    if (!outcome.outcome.ok) {
        import.error = "nothing imported: the database answered error code " +
                       std::to_string(outcome.outcome.code) + " to " +
                       GbkToUtf8(outcome.failedStatement).substr(0, 200);
        return import;
    }
    import.ok = true;
    import.ids = outcome.ids;
    return import;
}

}  // namespace vela
