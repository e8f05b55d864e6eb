#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "commands.h"
#include "store/database.h"
#include "web/atom_feed.h"
#include "web/database_identity.h"
#include "web/read_connections.h"
#include "web/web_text.h"

namespace vela {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes `bytes` to a temporary file beside `path` and renames it over `path`, so
// a web server publishing the file serves the old feed or the new one, never part
// of one. The file gets the permissions a new file would get.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    error = "cannot write " + path + ": " + std::strerror(ok ? errno : writeErrno);
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

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
    if (!WriteFileAtomically(options.outputPath, document, error)) {
        PrintError(console, error);
        return kExitSchemeFailed;
    }
    return kExitOk;
}

}  // namespace vela
