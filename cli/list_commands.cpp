#include <string>

#include "commands.h"
#include "json_lines.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"
#include "store/row_id.h"
#include "store/scheme_fields.h"

namespace vela {
namespace {

int PrintRows(const Console& console, Database& db, const std::string& sql,
              std::string (*format)(const std::vector<std::string>&)) {
    TextTable rows;
    if (!ReadRows(db, sql, rows)) {
        PrintError(console, "cannot read " + db.Path());
        return kExitUsage;
    }
    for (const auto& row : rows) std::fprintf(console.out, "%s\n", format(row).c_str());
    std::fflush(console.out);
    return kExitOk;
}

}  // namespace

int ListCommand(const CliOptions& options, Database& db, const Console& console) {
    if (!options.json) return PrintRows(console, db, kSchemesInIdOrderQuery, SchemeRowLine);
    TextTable rows;
    std::unordered_map<int64_t, SchemeFields> fields;
    if (!ReadRows(db, kSchemesInIdOrderQuery, rows) || !ReadAllSchemeFields(db, fields)) {
        PrintError(console, "cannot read " + db.Path());
        return kExitUsage;
    }
    for (const auto& row : rows) {
        int64_t id = 0;
        const auto found = !row.empty() && ParseRowId(row[0], id) ? fields.find(id) : fields.end();
        const SchemeFields& own = found == fields.end() ? SchemeFields{} : found->second;
        std::fprintf(console.out, "%s\n", SchemeRowJson(row, own).c_str());
    }
    std::fflush(console.out);
    return kExitOk;
}

int ArticlesCommand(const CliOptions& options, Database& db, const Console& console) {
    return PrintRows(console, db, ArticleListQuery(options.limit, options.favourites),
                     options.json ? ArticleRowJson : ArticleRowLine);
}

}  // namespace vela
