#include "scheme_transfer.h"

#include <algorithm>

#include "fetch/encoding.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"

namespace vela {

SchemeFileText ExportSchemes(Database& db, const std::vector<int64_t>& ids) {
    SchemeFileText file;
    TextTable rows;
    if (!ReadRows(db, kSchemesInIdOrderQuery, rows)) {
        file.error = "cannot read the schemes of " + db.Path();
        return file;
    }
    std::vector<SchemeSave> schemes;
    if (ids.empty()) {
        for (const auto& row : rows) schemes.push_back(SchemeSaveFromRow(row));
    } else {
        for (const int64_t id : ids) {
            const std::string key = std::to_string(id);
            const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& cells) {
                return !cells.empty() && cells[0] == key;
            });
            if (row == rows.end()) {
                file.error = "no scheme with id " + key;
                return file;
            }
            schemes.push_back(SchemeSaveFromRow(*row));
        }
    }
    return WriteSchemeFile(schemes);
}

SchemeImport ImportSchemes(Database& db, const std::vector<FileScheme>& schemes) {
    SchemeImport import;
    std::vector<SchemeSave> saves;
    saves.reserve(schemes.size());
    for (const FileScheme& scheme : schemes) {
        saves.push_back(scheme.save);
        saves.back().form.id = "0";
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
