// Signing in, and what the schemes page changes: a scheme's tick, its removal
// and a check of it now.

#include <string>
#include <thread>
#include <vector>

#include "access_rules.h"
#include "action_routes.h"
#include "article_query.h"
#include "engine/exclusive_run.h"
#include "engine/record_plan.h"
#include "engine/scheme.h"
#include "form_pages.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"
#include "store/scheme_save.h"
#include "web_text.h"
#include "write_connection.h"
#include "writing_route.h"

namespace vela {
namespace {

WebResponse Html(std::string body) {
    WebResponse response;
    response.contentType = "text/html; charset=utf-8";
    response.body = std::move(body);
    return response;
}

Notice Failure(std::string text) { return Notice{true, std::move(text), {}, {}, {}}; }
Notice Done(std::string text) { return Notice{false, std::move(text), {}, {}, {}}; }

std::string Shown(const Scheme& scheme) {
    return scheme.name.empty() ? "#" + scheme.id : StoredUtf8(scheme.name);
}

// The scheme named by the route's "*", read through `db`; a failure notice when
// there is none.
bool ReadScheme(const RouteCall& call, Database& db, int64_t& id, Scheme& scheme, Notice& failure) {
    TextTable rows;
    if (!ParseId(std::string(call.part), id)) {
        failure = Failure("没有这个方案。");
        return false;
    }
    if (!ReadRows(db, SchemeRowQuery(id), rows)) {
        failure = Failure("读取方案失败：数据库返回错误码 " + std::to_string(db.LastErrorCode()));
        return false;
    }
    if (rows.empty()) {
        failure = Failure("没有 id 为 " + std::to_string(id) + " 的方案（可能已被删除）。");
        return false;
    }
    scheme = SchemeFromCells(rows[0]);
    return true;
}

// What a check run now tells: the articles it stored, as they are stored.
class CollectingReport : public RunReport {
public:
    explicit CollectingReport(const std::function<bool()>& stopped) : stopped_(stopped) {}

    bool Stopped() override { return stopped_(); }
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert& article, const std::string&) override {
        titles.push_back(StoredUtf8(article.title));
    }
    // Only the waits for another program's run of the scheme come here (the
    // articles are stored without a pause, as the runner stores them); each is
    // one short step of that wait, and the stop is asked between them.
    void Pause(int milliseconds) override {
        if (!stopped_()) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    std::vector<std::string> titles;

private:
    const std::function<bool()>& stopped_;
};

// The error lines of a check run now, as the window and the runner say them.
std::vector<std::string> CheckErrors(const Scheme& scheme, const SchemeRun& run) {
    std::vector<std::string> errors;
    if (run.noAnswer) {
        errors.push_back("网址没有回应：" + StoredUtf8(scheme.url) +
                         (run.fetchFailureText.empty() ? "" : "（" + run.fetchFailureText + "）"));
    } else {
        if (!run.fetchFailureText.empty()) errors.push_back(run.fetchFailureText);
        if (run.markerMissing && !run.firstRun) errors.push_back(kMarkerMissingText);
        if (run.regionEmpty) errors.push_back(kRegionEmptyText);
    }
    if (!run.patternError.empty())
        errors.push_back("正则表达式有误：" + StoredUtf8(run.patternError));
    if (run.stale) errors.push_back("另一程序已先存入更新的文章，本次取得的页面未存入。");
    if (run.recordFailure != 0) {
        errors.push_back("数据库拒绝了语句（SQLite 错误码 " + std::to_string(run.recordFailure) +
                         "）");
    }
    if (run.stopped) errors.push_back("检查被中止。");
    return errors;
}

}  // namespace

RouteAnswer SeeOther(const RouteCall& call, const std::string& path, Notice notice) {
    if (call.tools.sessions && !call.session.id.empty()) {
        call.tools.sessions->SetNotice(call.session.id, std::move(notice));
    }
    WebResponse response;
    response.status = 303;
    response.Set("Location", call.links.Href(path));
    return response;
}

RouteAnswer SignInPageRoute(const RouteCall& call) {
    return Html(
        SignInPage(call.links, call.session.csrf, !call.tools.token.empty(), call.session.notice));
}

RouteAnswer SignInRoute(const RouteCall& call) {
    if (call.tools.token.empty()) return SeeOther(call, "/", Done("本服务不需要令牌。"));
    const auto given = QueryParam(call.form, "token");
    if (!given || !TokensMatch(*given, call.tools.token)) {
        return SeeOther(call, "/signin", Failure("令牌不对。"));
    }
    const auto session = call.tools.sessions->SignIn(call.session.id, call.now);
    if (!session) return Plain(503, "no random bytes for a session: try again");
    WebResponse response;
    response.status = 303;
    response.Set("Location", "/");
    response.Set("Set-Cookie", SessionCookie(session->id, call.session.secure));
    return response;
}

RouteAnswer SchemeTickRoute(const RouteCall& call) {
    const auto value = QueryParam(call.form, "ticked");
    if (value != "1" && value != "0") return Plain(400, "ticked is 1 or 0");
    const bool ticked = *value == "1";
    return Writing(call, [&](Database& db) {
        int64_t id = 0;
        Scheme scheme;
        Notice failure;
        if (!ReadScheme(call, db, id, scheme, failure)) return SeeOther(call, "/schemes", failure);
        const StatementOutcome outcome =
            ExecuteInTransaction(db, {SchemeTickStatement(id, ticked)});
        if (!outcome.ok) {
            return SeeOther(
                call, "/schemes",
                Failure("什么也没有改变：数据库返回错误码 " + std::to_string(outcome.code)));
        }
        return SeeOther(call, "/schemes",
                        Done((ticked ? "已勾选方案 " : "已取消勾选方案 ") + Shown(scheme)));
    });
}

RouteAnswer RemoveSchemePageRoute(const RouteCall& call) {
    int64_t id = 0;
    if (!ParseId(std::string(call.part), id)) return Plain(404, "not found");
    TextTable rows;
    if (!call.reader.Query(kSchemeSummaryQuery, rows)) {
        return Plain(503, "the database cannot be read");
    }
    const std::string canonical = std::to_string(id);
    for (const SchemeSummary& s : SchemesFromRows(rows)) {
        if (s.id != canonical) continue;
        const std::string name = s.name.empty() ? "#" + s.id : StoredUtf8(s.name);
        ConfirmInput in;
        in.title = "删除方案";
        in.question = "确定删除方案「" + name + "」？它找到的文章仍然保留。";
        in.action = call.links.Href("/schemes/" + canonical + "/remove");
        in.confirmLabel = "删除";
        in.cancelHref = call.links.Href("/schemes");
        in.current = 2;
        return Html(ConfirmPage(call.links, call.session.csrf, in));
    }
    return MessagePage(404, "删除方案", "没有 id 为 " + canonical + " 的方案。", call.links,
                       call.links.Href("/schemes"));
}

RouteAnswer RemoveSchemeRoute(const RouteCall& call) {
    return Writing(call, [&](Database& db) {
        int64_t id = 0;
        Scheme scheme;
        Notice failure;
        if (!ReadScheme(call, db, id, scheme, failure)) return SeeOther(call, "/schemes", failure);
        const StatementOutcome outcome = ExecuteInTransaction(db, {RemoveSchemeStatement(id)});
        if (!outcome.ok) {
            return SeeOther(
                call, "/schemes",
                Failure("什么也没有删除：数据库返回错误码 " + std::to_string(outcome.code)));
        }
        return SeeOther(call, "/schemes",
                        Done("已删除方案 " + Shown(scheme) + "（它找到的文章仍然保留）"));
    });
}

RouteAnswer CheckSchemeRoute(const RouteCall& call) {
    return Writing(call, [&](Database& db) {
        int64_t id = 0;
        Scheme scheme;
        Notice failure;
        if (!ReadScheme(call, db, id, scheme, failure)) return SeeOther(call, "/schemes", failure);
        // As the runner: no pause between two stored articles.
        MonitorTimings timings = call.tools.timings;
        timings.insertPauseMs = 0;
        CollectingReport report(call.tools.stopped);
        const SchemeRun run = MonitorSchemeExclusively(scheme, db, timings, report);
        Notice notice;
        if (!run.lockProblem.empty()) {
            notice = Failure("没有检查 " + Shown(scheme) + "：取不到运行锁（" + run.lockProblem +
                             "），不加保护地检查可能把文章存入两次。");
            return SeeOther(call, "/schemes", notice);
        }
        const std::vector<std::string> errors = CheckErrors(scheme, run);
        notice.error = !errors.empty();
        notice.text = "立即检查 " + Shown(scheme) + "：存入 " +
                      std::to_string(report.titles.size()) + " 篇新文章" +
                      (errors.empty() ? "。" : "，出错：");
        notice.lines = errors;
        notice.lines.insert(notice.lines.end(), report.titles.begin(), report.titles.end());
        notice.link = call.links.Href("/", {{"scheme", scheme.id}});
        notice.linkText = "查看该方案的文章";
        return SeeOther(call, "/schemes", notice);
    });
}

}  // namespace vela
