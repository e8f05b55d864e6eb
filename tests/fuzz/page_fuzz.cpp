// The processing of one page as a monitoring run does it, from the page bytes to
// the statements: page, markers, pattern, keywords and the scheme's other values
// come from the fuzzer. Every statement runs in an in-memory database made from the
// delivered schema and must stay the one statement it was meant to be: it stores
// its values byte for byte or fails, and leaves the tables as they were made.

#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/keyword_filter.h"
#include "engine/page_regex.h"
#include "engine/record_plan.h"
#include "engine/scheme.h"
#include "fetch/encoding.h"
#include "fetch/text_between.h"
#include "store/database.h"
#include "store/sql_clean.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr const char* kNow = "2024-05-06 07:08:09";
constexpr const char* kSchemeId = "7";

// The rows of a query, each value as its exact bytes; empty when it fails.
std::vector<std::vector<std::string>> Rows(vela::Database& db, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        return rows;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
            row.emplace_back(text ? std::string(text, sqlite3_column_bytes(statement, i))
                                  : std::string("<null>"));
        }
    }
    sqlite3_finalize(statement);
    return rows;
}

using Table = std::vector<std::vector<std::string>>;

// One database for every input: the schema is checked after each statement, the
// rows are put back before each input.
struct Store {
    Store() {
        std::ifstream file(VELA_SCHEMA);
        std::stringstream schema;
        schema << file.rdbuf();
        FUZZ_CHECK(db.OpenDatabase(":memory:", true));
        FUZZ_CHECK(db.ExecSql(schema.str()));
        tables = Schema();
        FUZZ_CHECK(tables.size() == 2);
    }
    Table Schema() { return Rows(db, "select type, name, tbl_name, sql from sqlite_master"); }
    Table Rule() { return Rows(db, "select * from rule"); }
    Table Info() { return Rows(db, "select * from info order by id"); }
    std::string InfoCount() { return Rows(db, "select count(*) from info").at(0).at(0); }
    void Reset() {
        FUZZ_CHECK(db.ExecSql(
            "delete from info; delete from rule; insert into rule(id, name, arttile, arturl, "
            "lasttime, lastid) values(7, 'scheme', 'marker', 'link', 'then', '0')"));
    }

    vela::Database db;
    Table tables;
};

bool HasZeroByte(const std::string& text) { return text.find('\0') != std::string::npos; }

// Runs one statement of the run: afterwards the tables are the ones the schema
// made. Without a zero byte (which ends the text SQLite is given) it must succeed.
bool Run(Store& store, const std::string& sql) {
    const bool ok = store.db.ExecSql(sql);
    FUZZ_CHECK(store.Schema() == store.tables);
    if (!HasZeroByte(sql)) FUZZ_CHECK(ok);
    return ok;
}

int32_t Group(FuzzedDataProvider& in) { return in.ConsumeIntegralInRange<int32_t>(-2, 12); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Store store;
    FuzzedDataProvider in(data, size);
    vela::Scheme scheme;
    scheme.id = kSchemeId;
    scheme.gbk = in.ConsumeBool();
    const int mode = in.ConsumeIntegralInRange(0, 3);
    scheme.type = mode == 0 ? 0 : mode == 1 ? 2 : mode == 2 ? 8 : in.ConsumeIntegral<int32_t>();
    scheme.titleGroup = Group(in);
    scheme.idGroup = Group(in);
    scheme.otherGroup = Group(in);
    scheme.lastId = in.ConsumeIntegralInRange<int64_t>(-2, 253);
    scheme.fields.cleanTitles = in.ConsumeBool();
    scheme.name = in.ConsumeRandomLengthString(32);
    scheme.lastMarker = in.ConsumeRandomLengthString(32);
    scheme.before = in.ConsumeRandomLengthString(32);
    scheme.after = in.ConsumeRandomLengthString(32);
    scheme.pattern = in.ConsumeRandomLengthString(128);
    scheme.linkTemplate = in.ConsumeRandomLengthString(64);
    scheme.fields.include = in.ConsumeRandomLengthString(64);
    scheme.fields.exclude = in.ConsumeRandomLengthString(64);
    const std::string body = in.ConsumeRemainingBytesAsString();

    const std::string page =
        vela::RemoveCrLf(scheme.gbk ? vela::BytesToText(body) : vela::Utf8ToGbk(body));
    const std::string region = vela::TextBetween(page, scheme.before, scheme.after);
    vela::PageRegex regex;
    regex.CompilePattern(scheme.pattern, false);
    const std::vector<vela::MatchRecord> matches = vela::FindJudgedMatches(scheme, regex, region);
    for (const vela::MatchRecord& match : matches) {
        FUZZ_CHECK(match.size() == static_cast<std::size_t>(regex.CaptureGroupCount()) + 1);
        for (const vela::SubMatch& group : match) {
            if (!group.matched) continue;
            FUZZ_CHECK(group.start >= 0 && group.length >= 0);
            FUZZ_CHECK(static_cast<std::size_t>(group.start) + group.length <= region.size());
        }
    }

    const vela::RecordPlan plan = vela::PlanRecords(scheme, region, matches);
    FUZZ_CHECK(plan.inserts.size() + plan.dropped <= matches.size());
    // Keywords that cannot be used record nothing; every article stored is one
    // they keep, judged by its title as recorded (readable text, no blank at
    // either end, when titles are cleaned).
    const vela::KeywordFilter keywords(scheme.fields);
    if (!keywords.Problem().empty()) FUZZ_CHECK(!plan.update && plan.dropped == 0);
    for (const vela::ArticleInsert& article : plan.inserts) {
        FUZZ_CHECK(keywords.Keeps(article.marker));
        if (scheme.fields.cleanTitles && !article.marker.empty()) {
            FUZZ_CHECK(article.marker.front() != ' ' && article.marker.back() != ' ');
        }
    }
    // Each placeholder of the template gives at most the region.
    for (const vela::ArticleInsert& article : plan.inserts) {
        FUZZ_CHECK(article.link.size() <= scheme.linkTemplate.size() * (region.size() + 1));
    }
    // An empty title never becomes the marker.
    FUZZ_CHECK(!plan.update || !plan.lastMarker.empty() || scheme.lastMarker.empty());
    // The marker's match, if any, is never stored again.
    const std::size_t marker = vela::FindMarkerMatch(scheme, region, matches);
    if (marker != vela::kNoMarker) FUZZ_CHECK(plan.inserts.size() < matches.size());
    if (!plan.update) return 0;

    store.Reset();
    const Table rule = store.Rule();
    std::set<std::string> untitledLinks;
    for (const vela::ArticleInsert& article : plan.inserts) {
        const std::string before = store.InfoCount();
        const bool ok = Run(store, vela::InsertStatement(scheme, article, kNow));
        FUZZ_CHECK(store.Rule() == rule);
        const std::string count = store.InfoCount();
        // An untitled article is stored once per link: the same insert again adds nothing.
        const bool again = article.untitled && untitledLinks.count(std::string(article.link)) > 0;
        FUZZ_CHECK(std::stoll(count) == std::stoll(before) + (ok && !again ? 1 : 0));
        if (ok && article.untitled) untitledLinks.insert(std::string(article.link));
        if (!ok || again) continue;
        if (article.untitled) {
            FUZZ_CHECK(Run(store, vela::InsertStatement(scheme, article, kNow)));
            FUZZ_CHECK(store.InfoCount() == count);
        }
        // id, planname, planid, title, url, other, addtime, issoucang. The title
        // and the other value went in cleaned, apostrophes doubled.
        const Table last = Rows(store.db, "select * from info order by id desc limit 1");
        FUZZ_CHECK(last.size() == 1 && last.front().size() == 8);
        const std::vector<std::string>& row = last.front();
        FUZZ_CHECK(row[1] == scheme.name && row[2] == kSchemeId);
        FUZZ_CHECK(vela::SqlQuote(row[3]) == article.title);
        FUZZ_CHECK(row[4] == article.link);
        FUZZ_CHECK(vela::SqlQuote(row[5]) == article.other);
        FUZZ_CHECK(row[6] == kNow && row[7] == "0");
        // The marker moves to the article just stored, and nothing else changes.
        const Table info = store.Info();
        const std::string markerStatement = vela::MarkerStatement(scheme, article);
        FUZZ_CHECK(markerStatement.empty() == article.untitled);
        const bool moved = !markerStatement.empty() && Run(store, markerStatement);
        FUZZ_CHECK(store.Info() == info);
        std::vector<std::string> expected = rule.front();
        if (moved) {
            if (vela::ToJudgeMode(scheme.type) == vela::JudgeMode::CompareArticleId) {
                expected[18] = article.id.Text();
            } else {
                expected[7] = article.marker;
                expected[8] = article.link;
            }
        }
        FUZZ_CHECK(store.Rule().size() == 1 && store.Rule().front() == expected);
        FUZZ_CHECK(Run(store, "update rule set arttile='marker', arturl='" +
                                  vela::SqlQuote(rule.front()[8]) + "', lastid='0' where id=7"));
    }

    const Table info = store.Info();
    const bool ok = Run(store, vela::UpdateStatement(scheme, plan, kNow));
    FUZZ_CHECK(store.Info() == info);
    const Table after = store.Rule();
    FUZZ_CHECK(after.size() == 1);
    if (!ok) {
        FUZZ_CHECK(after == rule);
        return 0;
    }
    // id, spare, code, name, url, cookie, ua, arttile, arturl, lasttime, buquan, …, lastid, type
    std::vector<std::string> expected = rule.front();
    expected[7] = plan.lastMarker;
    expected[8] = plan.lastLink;
    expected[9] = kNow;
    expected[18] = plan.highestId.Text();
    FUZZ_CHECK(after.front() == expected);
    return 0;
}
