// The scheme form (new, and editing a stored scheme), its rule test and its
// save, and adding a page from its address through the proposer.

#include "scheme_form_routes.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "action_routes.h"
#include "article_query.h"
#include "engine/leading_integer.h"
#include "engine/record_plan.h"
#include "engine/scheme.h"
#include "engine/scheme_file.h"
#include "engine/scheme_form_check.h"
#include "engine/scheme_run.h"
#include "fetch/encoding.h"
#include "propose/page_proposal.h"
#include "scheme_form_page.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"
#include "store/scheme_save.h"
#include "web_text.h"
#include "writing_route.h"

namespace vela {
namespace {

WebResponse Html(std::string body, int status = 200) {
    WebResponse response;
    response.status = status;
    response.contentType = "text/html; charset=utf-8";
    response.body = std::move(body);
    return response;
}

// What the form saves of a stored scheme, as a short text: a save compares it
// with what the form was made from, so that another program's change in between
// is not overwritten unseen. The run's own columns (its marker, last id) are no
// part of it: a check storing articles changes nothing the form shows.
std::string SchemeDigest(const SchemeSave& save) {
    const SchemeForm& f = save.form;
    uint64_t hash = 14695981039346656037ull;
    const auto add = [&](std::string_view text) {
        const std::string length = std::to_string(text.size()) + ":";
        for (const char c : length + std::string(text)) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
    };
    for (const std::string* text :
         {&f.name, &f.url, &f.code, &f.before, &f.after, &f.regular, &f.buquan, &f.cookie, &f.ua,
          &f.tindex, &f.uindex, &f.oindex, &f.type, &f.fields.include, &f.fields.exclude}) {
        add(*text);
    }
    add(f.fields.cleanTitles ? "1" : "0");
    add(FetchModeName(f.fields.fetch));
    add(save.ticked ? "1" : "0");
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

// Stored scheme `id` with its fields, read through `db`; false when it is gone
// or cannot be read (`gone` tells which).
bool ReadStored(Database& db, int64_t id, SchemeSave& save, bool& gone) {
    TextTable rows;
    gone = false;
    if (!ReadRows(db, SchemeRowQuery(id), rows)) return false;
    if (rows.empty()) {
        gone = true;
        return false;
    }
    save = SchemeSaveFromRow(rows[0]);
    return ReadSchemeFields(db, id, save.form.fields);
}

// A rule test reports nothing as it goes: the page shows what it found.
class QuietReport : public RunReport {
public:
    explicit QuietReport(const std::function<bool()>& stopped) : stopped_(stopped) {}
    bool Stopped() override { return stopped_ && stopped_(); }
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert&, const std::string&) override {}
    void Pause(int) override {}

private:
    const std::function<bool()>& stopped_;
};

RuleTestView RunRuleTest(const Scheme& scheme, const SiteTools& tools) {
    QuietReport report(tools.stopped);
    const SchemeRun run = TestScheme(scheme, tools.timings, report);
    RuleTestView view;
    if (run.noAnswer) {
        view.errors.push_back(
            "网址没有回应：" + StoredUtf8(scheme.url) +
            (run.fetchFailureText.empty() ? "" : "（" + run.fetchFailureText + "）"));
    } else {
        if (!run.fetchFailureText.empty()) view.errors.push_back(run.fetchFailureText);
        if (run.regionEmpty) view.errors.push_back(kRegionEmptyText);
    }
    if (!run.patternError.empty()) {
        view.errors.push_back("正则表达式有误：" + StoredUtf8(run.patternError));
    }
    if (run.stopped) view.errors.push_back("测试被中止。");
    view.regionBytes = run.region.size();
    for (std::size_t m = 0; m < run.matches.size(); ++m) {
        RuleTestView::Match match;
        match.title = StoredUtf8(RecordedTitle(scheme, run.matches[m], run.region));
        match.link = StoredUtf8(ComposeLink(scheme.linkTemplate, run.matches[m], run.region));
        match.dropped = m < run.droppedMatches.size() && run.droppedMatches[m];
        view.matches.push_back(std::move(match));
    }
    return view;
}

SchemeFormPageInput FormInput(const RouteCall& call, int64_t id) {
    SchemeFormPageInput in;
    in.id = id;
    in.action =
        call.links.Href(id == 0 ? "/schemes/new/form" : "/schemes/" + std::to_string(id) + "/edit");
    in.links = call.links;
    in.csrf = call.session.csrf;
    return in;
}

Notice Failure(std::string text) { return Notice{true, std::move(text), {}, {}, {}}; }

bool HttpAddress(std::string_view url) {
    std::string lower(url.substr(0, 8));
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return (lower.starts_with("http://") && url.size() > 7) ||
           (lower.starts_with("https://") && url.size() > 8);
}

std::string Trim(std::string text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

}  // namespace

RouteAnswer AddPageRoute(const RouteCall& call) {
    AddPageInput in;
    in.links = call.links;
    in.csrf = call.session.csrf;
    return Html(AddPage(in));
}

RouteAnswer ProposeRoute(const RouteCall& call) {
    AddPageInput in;
    in.links = call.links;
    in.csrf = call.session.csrf;
    in.url = Trim(QueryParam(call.form, "url").value_or(""));
    in.encoding = QueryParam(call.form, "encoding").value_or("detect");
    if (in.encoding != "gbk" && in.encoding != "utf-8") in.encoding = "detect";
    in.cookie = QueryParam(call.form, "cookie").value_or("");
    in.userAgent = QueryParam(call.form, "user_agent").value_or("");
    in.proposed = true;
    if (!HttpAddress(in.url)) {
        in.error = "网址须以 http:// 或 https:// 开头。";
        return Html(AddPage(in));
    }
    ProposeInput input;
    input.url = in.url;
    input.encoding = in.encoding == "gbk"     ? PageEncoding::kGbk
                     : in.encoding == "utf-8" ? PageEncoding::kUtf8
                                              : PageEncoding::kDetect;
    input.cookie = Utf8ToGbk(in.cookie);
    input.userAgent = Utf8ToGbk(in.userAgent.empty() ? kDefaultUserAgent : in.userAgent);
    const AddressProposal proposal =
        ProposeAddress(input, in.encoding == "gbk", call.tools.timings, call.tools.stopped);
    if (proposal.stopped) {
        in.error = "识别被中止。";
    } else if (!proposal.gotPage) {
        in.error = "取不到页面：" + proposal.failureText;
    } else {
        in.error = proposal.proposal.error;
    }
    for (const Candidate& c : proposal.proposal.candidates) {
        CandidateView view;
        view.score = static_cast<int>(c.score * 100 + 0.5);
        view.count = c.items.size();
        for (std::size_t i = 0; i < c.items.size() && i < 5; ++i) {
            view.titles.push_back(StoredUtf8(c.items[i].title));
        }
        view.values = SchemeFormValuesOf(SchemeSave{SchemeFormOf(c.scheme), true, 0});
        in.candidates.push_back(std::move(view));
    }
    return Html(AddPage(in));
}

RouteAnswer NewSchemeFormRoute(const RouteCall& call) {
    SchemeFormPageInput in = FormInput(call, 0);
    in.values.userAgent = kDefaultUserAgent;
    in.values.titleGroup = "1";
    return Html(SchemeFormPage(in));
}

RouteAnswer EditSchemeFormRoute(const RouteCall& call) {
    int64_t id = 0;
    if (!ParseId(std::string(call.part), id)) return Plain(404, "not found");
    return Writing(call, [&](Database& db) -> RouteAnswer {
        SchemeSave stored;
        bool gone = false;
        if (!ReadStored(db, id, stored, gone)) {
            return MessagePage(
                gone ? 404 : 503, "编辑方案",
                gone ? "没有 id 为 " + std::to_string(id) + " 的方案。"
                     : "读取方案失败：数据库返回错误码 " + std::to_string(db.LastErrorCode()),
                call.links, call.links.Href("/schemes"));
        }
        SchemeFormPageInput in = FormInput(call, id);
        in.values = SchemeFormValuesOf(stored);
        in.digest = SchemeDigest(stored);
        // A text with GBK bytes that have no Unicode form cannot stand in a page
        // (nor in a file) as it is: saving from here would change it.
        if (const SchemeFileText file = WriteSchemeFile({stored}); !file.ok) {
            in.notice =
                Failure("注意：" + file.error + "。在这里保存会改变这些文字，请在窗口中编辑它们。");
        }
        return Html(SchemeFormPage(in));
    });
}

RouteAnswer SchemeFormRoute(const RouteCall& call) {
    int64_t id = 0;
    if (!call.part.empty() && !ParseId(std::string(call.part), id)) {
        return Plain(404, "not found");
    }
    SchemeFormPageInput in = FormInput(call, id);
    in.values = SchemeFormValuesFrom(call.form);
    in.digest = QueryParam(call.form, "digest").value_or("");
    const std::string action = QueryParam(call.form, "do").value_or("save");
    if (action == "fill") return Html(SchemeFormPage(in));
    if (action == "test") {
        const SchemeFormCheck check = CheckSchemeForm(in.values);
        in.errors = check.errors;
        if (check.ok()) {
            // The editor's test shows every group; this one shows the titles as
            // a run records them, so it needs the groups and the mode too.
            const SchemeForm& form = check.save.form;
            Scheme scheme = SchemeFromForm(form);
            scheme.titleGroup = LeadingInteger(form.tindex);
            scheme.idGroup = LeadingInteger(form.uindex);
            scheme.otherGroup = LeadingInteger(form.oindex);
            scheme.type = LeadingInteger(form.type);
            in.test = RunRuleTest(scheme, call.tools);
        }
        return Html(SchemeFormPage(in));
    }
    const SchemeFormCheck check = CheckSchemeForm(in.values);
    if (!check.ok()) {
        in.errors = check.errors;
        return Html(SchemeFormPage(in), 422);
    }
    return Writing(call, [&](Database& db) -> RouteAnswer {
        std::vector<SchemeSave> saves{check.save};
        saves[0].rowId = id;
        bool gone = false;
        std::string nowDigest;
        // Under the save's transaction: the stored scheme is still what the form
        // was made from. Its tick is the schemes page's, kept as it is now.
        const auto stillAsRead = [&] {
            SchemeSave stored;
            if (!ReadStored(db, id, stored, gone)) return false;
            nowDigest = SchemeDigest(stored);
            saves[0].ticked = stored.ticked;
            return nowDigest == in.digest;
        };
        const SchemeSavesOutcome outcome =
            id == 0 ? ExecuteSchemeSaves(db, saves) : ExecuteSchemeSaves(db, saves, stillAsRead);
        if (outcome.changedMeanwhile || outcome.missingId != 0) {
            if (gone || outcome.missingId != 0) {
                in.notice = Failure("没有保存：该方案已被其他程序删除。");
            } else {
                in.notice = Failure(
                    "没有保存：打开本表单后，该方案已被其他程序修改。下面仍是你填写的内容；"
                    "再按保存将覆盖对方的修改，或重新打开编辑页查看现在的内容。");
                in.notice->link = call.links.Href("/schemes/" + std::to_string(id) + "/edit");
                in.notice->linkText = "重新打开编辑页";
                in.digest = nowDigest;
            }
            return Html(SchemeFormPage(in), 409);
        }
        if (!outcome.outcome.ok) {
            in.notice =
                Failure("什么也没有保存：数据库返回错误码 " + std::to_string(outcome.outcome.code));
            return Html(SchemeFormPage(in), 503);
        }
        return SeeOther(call, "/schemes",
                        Notice{false, "已保存方案 " + in.values.name, {}, {}, {}});
    });
}

}  // namespace vela
