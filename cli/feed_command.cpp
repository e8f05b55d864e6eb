#include <algorithm>
#include <string>

#include "commands.h"
#include "output_file.h"
#include "store/database.h"
#include "web/atom_feed.h"
#include "web/database_identity.h"
#include "web/read_connections.h"
#include "web/web_text.h"

namespace vela {

int FeedCommand(const CliOptions& options, Database& db, const Console& console) {
    ArticleFilter filter;
    filter.schemeIds = options.schemeIds;
    std::sort(filter.schemeIds.begin(), filter.schemeIds.end());
    filter.schemeIds.erase(std::unique(filter.schemeIds.begin(), filter.schemeIds.end()),
                           filter.schemeIds.end());
    filter.limit = options.limit;

    // The same read-only path as the web view: a stored zero byte is kept, not
    // taken for the end of the text.
    ReadConnections reader(db.Path());
    FeedHead head;
    head.identity = DatabaseIdentity(db);
    head.key = "articles";
    head.title = "vela：最新文章";
    if (!filter.schemeIds.empty()) {
        TextTable schemes;
        if (!reader.Query(kSchemeSummaryQuery, schemes)) {
            PrintError(console, "cannot read " + db.Path());
            return kExitUsage;
        }
        head.key = "schemes/";
        head.title = "vela：";
        for (std::size_t i = 0; i < filter.schemeIds.size(); ++i) {
            const std::string id = std::to_string(filter.schemeIds[i]);
            const auto row = std::find_if(schemes.begin(), schemes.end(),
                                          [&](const auto& r) { return !r.empty() && r[0] == id; });
            if (row == schemes.end()) {
                PrintError(console, "no scheme with the id " + id);
                return kExitUsage;
            }
            head.key += (i > 0 ? "," : "") + id;
            head.title += (i > 0 ? "、" : "") + StoredUtf8((*row)[1]);
        }
    }
    TextTable rows;
    if (!reader.Query(ArticleQuery(filter), rows)) {
        PrintError(console, "cannot read the articles of " + db.Path());
        return kExitUsage;
    }
    const std::string document = AtomFeed(head, ArticlesFromRows(rows));
    if (options.outputPath.empty()) {
        std::fwrite(document.data(), 1, document.size(), console.out);
        std::fflush(console.out);
        return kExitOk;
    }
    std::string error;
    // A feed is published, by a web server or a feed reader of another user.
    if (!WriteOutputFile(options.outputPath, document, FileMode::Shared, error)) {
        PrintError(console, error);
        return kExitSchemeFailed;
    }
    return kExitOk;
}

}  // namespace vela
