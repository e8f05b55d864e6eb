#include "database_identity.h"

#include <cstdlib>
#include <memory>
#include <random>

#include "store/database.h"
#include "store/read_rows.h"
#include "web_text.h"

namespace vela {
namespace {

constexpr const char* kReadIdentity = "select id from feed_identity limit 1";

// What may stand in a tag: URI; anything else read from the file is not taken.
bool FitForTag(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (const char c : id) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string ReadIdentity(Database& db) {
    TextTable rows;
    if (!ReadRows(db, kReadIdentity, rows) || rows.empty() || rows[0].empty()) return {};
    return FitForTag(rows[0][0]) ? rows[0][0] : std::string();
}

std::string RandomIdentity() {
    try {
        std::random_device device;
        const uint64_t value = (static_cast<uint64_t>(device()) << 32) ^ device();
        return "db-" + Hex64(value);
    } catch (const std::exception&) {
        return {};
    }
}

// Makes the identity unless another program made one first: both then read the
// same one.
void MakeIdentity(Database& db) {
    TextTable rows;
    const bool hasArticles = ReadRows(db, "select 1 from info limit 1", rows) && !rows.empty();
    const std::string id = hasArticles ? PathIdentity(db.Path()) : RandomIdentity();
    if (!FitForTag(id)) return;
    // The id holds only letters, digits and '-': nothing to quote.
    if (!db.ExecSql("begin immediate;"
                    "create table if not exists feed_identity(id text not null);"
                    "insert into feed_identity(id) select '" +
                    id +
                    "' where not exists (select 1 from feed_identity);"
                    "commit;")) {
        db.ExecSql("rollback");
    }
}

}  // namespace

std::string DatabaseIdentity(Database& db) {
    std::string id = ReadIdentity(db);
    if (id.empty() && db.WriteProblem().empty()) {
        MakeIdentity(db);
        id = ReadIdentity(db);
    }
    return id.empty() ? PathIdentity(db.Path()) : id;
}

std::string PathIdentity(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return "db-" + Hex64(Digest64(resolved ? resolved.get() : path));
}

}  // namespace vela
