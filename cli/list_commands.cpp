#include <string>

#include "commands.h"
#include "json_lines.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"

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
    return PrintRows(console, db, kSchemesInIdOrderQuery,
                     options.json ? SchemeRowJson : SchemeRowLine);
}

int ArticlesCommand(const CliOptions& options, Database& db, const Console& console) {
    return PrintRows(console, db, ArticleListQuery(options.limit, options.favourites),
                     options.json ? ArticleRowJson : ArticleRowLine);
}

}  // namespace vela
