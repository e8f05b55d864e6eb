#include "html_pages.h"

#include "fetch/percent_codec.h"
#include "fetch/url_parts.h"
#include "readable_time.h"
#include "web_text.h"

namespace vela {
namespace {

constexpr std::string_view kStyle = R"css(:root {
  --bg: #f7f7f5; --fg: #1d1f21; --muted: #6a6f75; --line: #dcdcd6;
  --card: #ffffff; --link: #0b5cad; --visited: #6b3fa0; --accent: #c0392b;
  color-scheme: light dark;
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #15171a; --fg: #e4e6e8; --muted: #9aa0a6; --line: #2c3035;
    --card: #1d2024; --link: #7fb4ff; --visited: #c3a6f0; --accent: #ff7a6b;
  }
}
* { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body {
  margin: 0; background: var(--bg); color: var(--fg);
  font: 15px/1.55 system-ui, -apple-system, "PingFang SC", "Noto Sans CJK SC",
        "WenQuanYi Zen Hei", "Microsoft YaHei", sans-serif;
}
a { color: var(--link); text-decoration: none; }
a:visited { color: var(--visited); }
a:hover, a:focus { text-decoration: underline; }
header.top {
  display: flex; flex-wrap: wrap; align-items: baseline; gap: .25rem 1.5rem;
  padding: .75rem 1rem; background: var(--card); border-bottom: 1px solid var(--line);
}
header.top .brand { font-weight: 700; font-size: 1.2rem; color: var(--fg); }
header.top nav { display: flex; flex-wrap: wrap; gap: .25rem 1rem; }
header.top nav a[aria-current] { color: var(--accent); font-weight: 600; }
main { max-width: 72rem; margin: 0 auto; padding: 1rem; }
h1 { font-size: 1.25rem; margin: 0 0 .75rem; }
form.filter { display: flex; flex-wrap: wrap; gap: .5rem; margin-bottom: .75rem; }
form.filter select, form.filter input, form.filter button {
  font: inherit; padding: .35rem .5rem; border: 1px solid var(--line);
  border-radius: 6px; background: var(--card); color: var(--fg);
}
form.filter input[type=search] { flex: 1 1 12rem; min-width: 0; }
form.filter button { cursor: pointer; }
p.meta { color: var(--muted); font-size: .9rem; margin: 0 0 .75rem; }
table.list {
  width: 100%; border-collapse: collapse; background: var(--card);
  border: 1px solid var(--line); border-radius: 8px; overflow: hidden;
}
table.list th, table.list td {
  text-align: left; vertical-align: top; padding: .5rem .75rem;
  border-bottom: 1px solid var(--line);
}
table.list th { font-size: .85rem; color: var(--muted); font-weight: 600; white-space: nowrap; }
table.list tr:last-child td { border-bottom: 0; }
td.site, td.time { white-space: nowrap; color: var(--muted); font-size: .9rem; }
td.title { word-break: break-word; }
td.other, td.error { color: var(--muted); font-size: .9rem; word-break: break-word; }
td.error { color: var(--accent); }
p.empty { color: var(--muted); padding: 2rem 0; text-align: center; }
nav.pager { display: flex; justify-content: space-between; margin: 1rem 0; }
form.inline { display: inline; margin: 0; }
button, a.button {
  display: inline-block; font: inherit; font-size: .9rem; line-height: 1.4;
  padding: .3rem .65rem; margin: 0 .25rem .25rem 0; border: 1px solid var(--line);
  border-radius: 6px; background: var(--card); color: var(--fg); cursor: pointer;
}
a.button:visited { color: var(--fg); }
a.button:hover, a.button:focus { text-decoration: none; border-color: var(--link); }
button.danger, a.button.danger { color: var(--accent); border-color: var(--accent); }
button.primary, a.button.primary { background: var(--link); border-color: var(--link); color: var(--card); }
td.actions { white-space: nowrap; }
div.notice {
  border: 1px solid var(--line); border-left: 4px solid var(--link); background: var(--card);
  border-radius: 6px; padding: .5rem .75rem; margin: 0 0 .75rem; word-break: break-word;
}
div.notice.error { border-left-color: var(--accent); }
div.notice p { margin: .25rem 0; }
div.notice ul { margin: .25rem 0; padding-left: 1.25rem; }
form.card {
  background: var(--card); border: 1px solid var(--line); border-radius: 8px;
  padding: 1rem; margin: 0 0 1rem; max-width: 40rem;
}
form.card label { display: block; font-weight: 600; margin: 0 0 .35rem; }
form.card input[type=text], form.card input[type=password], form.card input[type=url] {
  display: block; width: 100%; font: inherit; padding: .4rem .5rem; margin: 0 0 .75rem;
  border: 1px solid var(--line); border-radius: 6px; background: var(--bg); color: var(--fg);
}
form.card textarea, form.card select {
  display: block; width: 100%; font: inherit; padding: .4rem .5rem; margin: 0 0 .75rem;
  border: 1px solid var(--line); border-radius: 6px; background: var(--bg); color: var(--fg);
}
form.card textarea { font-family: ui-monospace, monospace; font-size: .9rem; resize: vertical; }
form.card input.number { max-width: 8rem; }
form.card label.check { display: inline; font-weight: 600; margin: 0 0 0 .35rem; }
form.card input[type=checkbox] { margin: 0 0 .75rem; }
div.field.wrong textarea, div.field.wrong input, div.field.wrong select { border-color: var(--accent); }
p.field-error { color: var(--accent); margin: -.5rem 0 .75rem; font-size: .9rem; }
div.buttons { display: flex; flex-wrap: wrap; gap: .5rem; }
ol.matches, ol.candidates { padding-left: 1.5rem; }
ol.matches li, ol.candidates > li { margin: 0 0 .5rem; overflow-wrap: anywhere; }
ol.matches li.dropped .title { text-decoration: line-through; color: var(--muted); }
ol.matches span.link { font-size: .85rem; color: var(--muted); }
span.tag { font-size: .8rem; border: 1px solid var(--line); border-radius: 4px; padding: 0 .3rem; }
form.card p { margin: 0 0 .75rem; }
form.card p.hint { color: var(--muted); font-size: .85rem; }
code.option { white-space: nowrap; }
ul.channels { list-style: none; padding: 0; margin: 0 0 1rem; }
ul.channels li {
  background: var(--card); border: 1px solid var(--line); border-radius: 8px;
  padding: .5rem .75rem; margin: 0 0 .5rem;
}
ul.channels code { display: block; word-break: break-all; margin: 0 0 .35rem; }
@media (max-width: 640px) {
  main { padding: .5rem; }
  table.list, table.list tbody { display: block; width: 100%; }
  table.list thead { display: none; }
  /* A row becomes a card: the title first, then scheme and time on one line. */
  table.list tr {
    display: flex; flex-wrap: wrap; column-gap: .75rem;
    padding: .5rem .75rem; border-bottom: 1px solid var(--line);
  }
  table.list tr:last-child { border-bottom: 0; }
  table.list td { display: block; flex: 1 1 100%; border: 0; padding: .1rem 0; }
  table.list td.title { font-size: 1.05rem; order: -1; }
  table.list td.site, table.list td.time { flex: 0 1 auto; }
  table.list td.other:empty, table.list td.error:empty { display: none; }
  table.list td[data-label]::before { content: attr(data-label) "："; color: var(--muted); }
  table.list td.actions { white-space: normal; padding-top: .35rem; }
  button, a.button { padding: .45rem .8rem; }
  form.card { padding: .75rem; }
}
)css";

void Text(std::string& out, std::string_view utf8) { AppendEscaped(out, utf8); }
void Stored(std::string& out, std::string_view gbk) { AppendEscaped(out, StoredUtf8(gbk)); }

}  // namespace

void PageHead(std::string& out, std::string_view title, const PageLinks& links,
              std::string_view feedPath) {
    out +=
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<meta name=\"color-scheme\" content=\"light dark\">\n"
        "<meta name=\"referrer\" content=\"same-origin\">\n<title>";
    Text(out, title);
    out += " · vela</title>\n<link rel=\"stylesheet\" href=\"/style.css\">\n";
    if (!feedPath.empty()) {
        out += "<link rel=\"alternate\" type=\"application/atom+xml\" title=\"Atom\" href=\"";
        Text(out, links.Href(feedPath));
        out += "\">\n";
    }
    out += "</head>\n<body>\n";
}

void PageTopBar(std::string& out, const PageLinks& links, int current) {
    out += "<header class=\"top\"><a class=\"brand\" href=\"";
    Text(out, links.Href("/"));
    out += "\">vela</a><nav>";
    const struct {
        const char* label;
        std::string href;
    } items[] = {{"最新文章", links.Href("/")},
                 {"我的收藏", links.Href("/", {{"view", "favourites"}})},
                 {"监控方案", links.Href("/schemes")},
                 {"通知渠道", links.Href("/channels")}};
    for (int i = 0; i < 4; ++i) {
        out += "<a href=\"";
        Text(out, items[i].href);
        out += i == current ? "\" aria-current=\"page\">" : "\">";
        out += items[i].label;
        out += "</a>";
    }
    out += "</nav></header>\n<main>\n";
}

void PageTail(std::string& out) { out += "</main>\n</body>\n</html>\n"; }

void NoticeBox(std::string& out, const std::optional<Notice>& notice) {
    if (!notice) return;
    out += notice->error ? "<div class=\"notice error\" role=\"alert\"><p>"
                         : "<div class=\"notice\" role=\"status\"><p>";
    Text(out, notice->text);
    out += "</p>";
    if (!notice->lines.empty()) {
        out += "<ul>";
        for (const std::string& line : notice->lines) {
            out += "<li>";
            Text(out, line);
            out += "</li>";
        }
        out += "</ul>";
    }
    if (!notice->link.empty()) {
        out += "<p><a href=\"";
        Text(out, notice->link);
        out += "\">";
        Text(out, notice->linkText);
        out += "</a></p>";
    }
    out += "</div>\n";
}

void FormOpen(std::string& out, const std::string& action, const std::string& csrf,
              std::string_view cssClass) {
    out += "<form method=\"post\" action=\"";
    Text(out, action);
    out += "\" class=\"";
    Text(out, cssClass);
    out += "\"><input type=\"hidden\" name=\"csrf\" value=\"";
    Text(out, csrf);
    out += "\">";
}

void ActionButton(std::string& out, const std::string& action, const std::string& csrf,
                  std::string_view label,
                  const std::vector<std::pair<std::string, std::string>>& fields,
                  std::string_view buttonClass) {
    FormOpen(out, action, csrf, "inline");
    for (const auto& [name, value] : fields) {
        out += "<input type=\"hidden\" name=\"";
        Text(out, name);
        out += "\" value=\"";
        Text(out, value);
        out += "\">";
    }
    out += "<button type=\"submit\"";
    if (!buttonClass.empty()) {
        out += " class=\"";
        Text(out, buttonClass);
        out += "\"";
    }
    out += ">";
    Text(out, label);
    out += "</button></form>";
}

namespace {

// A stored link as an anchor around `label` when it is a web address, else the
// label alone.
void LinkOrText(std::string& out, const std::string& storedLink, std::string_view labelHtml) {
    const std::string link = StoredUtf8(storedLink);
    if (!IsHttpLink(link)) {
        out += labelHtml;
        return;
    }
    out += "<a href=\"";
    Text(out, link);
    out += "\" rel=\"noopener noreferrer nofollow\">";
    out += labelHtml;
    out += "</a>";
}

// A stored time as a person reads it; a text that is no time, as it stands.
void Time(std::string& out, const std::string& stored, std::time_t now) {
    ReadableTime time;
    if (!ReadStoredTime(stored, now, time)) {
        Stored(out, stored);
        return;
    }
    out += "<time datetime=\"" + time.rfc3339 + "\"";
    // A time shown as how long ago keeps the full time for a pointer resting on it.
    if (time.text != time.full) out += " title=\"" + time.full + "\"";
    out += '>';
    Text(out, time.text);
    out += "</time>";
}

void CycleNote(std::string& out, bool cycles, const std::string& lastCycle, std::time_t now) {
    if (!cycles) return;
    out += " · 上次检查结束：";
    if (lastCycle.empty()) {
        out += "尚未结束";
    } else {
        Time(out, lastCycle, now);
    }
}

}  // namespace

std::vector<SchemeSummary> SchemesFromRows(const TextTable& rows) {
    std::vector<SchemeSummary> schemes;
    for (const auto& row : rows) {
        if (row.size() < 6) continue;
        schemes.push_back({row[0], row[1], row[2], row[3], row[4], row[5]});
    }
    return schemes;
}

std::string PageLinks::Href(std::string_view path,
                            std::vector<std::pair<std::string, std::string>> params) const {
    if (!token.empty()) params.emplace_back("token", token);
    std::string href(path);
    char separator = '?';
    for (const auto& [name, value] : params) {
        href += separator;
        separator = '&';
        AppendPercentEncoded(href, name);
        href += '=';
        AppendPercentEncoded(href, value);
    }
    return href;
}

std::string ArticlesPage(const ArticlesPageInput& in) {
    const std::string schemeParam = in.schemeId >= 0 ? std::to_string(in.schemeId) : "";
    const std::string feedPath = in.favourites      ? "/favourites.atom"
                                 : in.schemeId >= 0 ? "/schemes/" + schemeParam + "/feed.atom"
                                                    : "/feed.atom";
    std::string out;
    out.reserve(4096 + in.articles.size() * 400);
    const char* heading = in.favourites ? "我的收藏" : "最新文章";
    PageHead(out, heading, in.links, feedPath);
    PageTopBar(out, in.links, in.favourites ? 1 : 0);
    out += "<h1>";
    out += heading;
    out += "</h1>\n<form class=\"filter\" method=\"get\" action=\"/\">";
    if (in.favourites) out += "<input type=\"hidden\" name=\"view\" value=\"favourites\">";
    if (!in.links.token.empty()) {
        out += "<input type=\"hidden\" name=\"token\" value=\"";
        Text(out, in.links.token);
        out += "\">";
    }
    out += "<select name=\"scheme\" aria-label=\"站点\"><option value=\"\">全部站点</option>";
    for (const SchemeSummary& s : in.schemes) {
        out += "<option value=\"";
        Text(out, s.id);
        out += s.id == schemeParam ? "\" selected>" : "\">";
        Stored(out, s.name.empty() ? "#" + s.id : s.name);
        out += "</option>";
    }
    out +=
        "</select><input type=\"search\" name=\"q\" placeholder=\"搜索标题\" "
        "aria-label=\"搜索标题\" value=\"";
    Text(out, in.search);
    out += "\"><button type=\"submit\">筛选</button></form>\n<p class=\"meta\">本页 ";
    out += std::to_string(in.articles.size());
    out += " 篇";
    CycleNote(out, in.cycles, in.lastCycle, in.now);
    out += " · <a href=\"";
    Text(out, in.links.Href(feedPath));
    out += "\">Atom 订阅</a></p>\n";
    if (in.articles.empty()) {
        out += "<p class=\"empty\">没有文章。</p>\n";
    } else {
        out +=
            "<table class=\"list articles\">\n<thead><tr><th>站点</th><th>标题</th><th>时间</th>"
            "<th>备用</th></tr></thead>\n<tbody>\n";
        for (const Article& a : in.articles) {
            out += "<tr id=\"a";
            out += std::to_string(a.id);
            out += "\"><td class=\"site\">";
            Stored(out, a.scheme);
            out += "</td><td class=\"title\">";
            LinkOrText(out, a.url, Escaped(StoredUtf8(a.title)));
            out += "</td><td class=\"time\">";
            Time(out, a.time, in.now);
            out += "</td><td class=\"other\">";
            Stored(out, a.other);
            out += "</td></tr>\n";
        }
        out += "</tbody>\n</table>\n";
    }
    std::vector<std::pair<std::string, std::string>> kept;
    if (in.favourites) kept.emplace_back("view", "favourites");
    if (in.schemeId >= 0) kept.emplace_back("scheme", schemeParam);
    if (!in.search.empty()) kept.emplace_back("q", in.search);
    out += "<nav class=\"pager\"><span>";
    if (in.beforeId > 0) {
        out += "<a href=\"";
        Text(out, in.links.Href("/", kept));
        out += "\">« 最新</a>";
    }
    out += "</span><span>";
    if (in.olderFrom > 0) {
        auto older = kept;
        older.emplace_back("before", std::to_string(in.olderFrom));
        out += "<a href=\"";
        Text(out, in.links.Href("/", older));
        out += "\" rel=\"next\">更早 »</a>";
    }
    out += "</span></nav>\n";
    PageTail(out);
    return out;
}

std::string SchemesPage(const std::vector<SchemeSummary>& schemes,
                        const std::map<std::string, SchemeCheck>& checks, bool cycles,
                        const std::string& lastCycle, const PageLinks& links, std::time_t now,
                        const std::string& csrf, const std::optional<Notice>& notice) {
    std::string out;
    PageHead(out, "监控方案", links, "");
    PageTopBar(out, links, 2);
    out += "<h1>监控方案</h1>\n";
    NoticeBox(out, notice);
    out += "<p class=\"meta\">共 ";
    out += std::to_string(schemes.size());
    out += " 个方案";
    CycleNote(out, cycles, lastCycle, now);
    out += cycles ? " · 检查时间与错误来自本服务自己的检查"
                  : " · 本服务不做检查（serve 未带 --every）";
    out += "</p>\n<p class=\"buttons\"><a class=\"button primary\" href=\"";
    Text(out, links.Href("/schemes/new"));
    out += "\">添加</a></p>\n";
    if (schemes.empty()) {
        out += "<p class=\"empty\">没有方案。</p>\n";
        PageTail(out);
        return out;
    }
    out +=
        "<table class=\"list schemes\">\n<thead><tr><th>方案</th><th>勾选</th><th>网址</th>"
        "<th>最新文章</th><th>上次检查</th><th>上次错误</th><th>订阅</th><th>操作</th></tr>"
        "</thead>\n<tbody>\n";
    for (const SchemeSummary& s : schemes) {
        const auto check = checks.find(s.id);
        out += "<tr><td class=\"title\"><a href=\"";
        Text(out, links.Href("/", {{"scheme", s.id}}));
        out += "\">";
        Stored(out, s.name.empty() ? "#" + s.id : s.name);
        out += "</a></td><td data-label=\"勾选\">";
        out += s.ticked == "1" ? "是" : "否";
        out += "</td><td class=\"other\" data-label=\"网址\">";
        LinkOrText(out, s.url, Escaped(StoredUtf8(s.url)));
        out += "</td><td class=\"other\" data-label=\"最新文章\">";
        Stored(out, s.lastTitle);
        if (!s.lastTime.empty()) {
            out += "（";
            Time(out, s.lastTime, now);
            out += "）";
        }
        out += "</td><td class=\"time\" data-label=\"上次检查\">";
        if (check == checks.end()) {
            out += "—";
        } else {
            Time(out, check->second.checkedAt, now);
        }
        out += "</td><td class=\"error\" data-label=\"上次错误\">";
        if (check != checks.end()) Text(out, check->second.error);
        out += "</td><td data-label=\"订阅\"><a href=\"";
        Text(out, links.Href("/schemes/" + s.id + "/feed.atom"));
        out += "\">Atom</a></td><td class=\"actions\">";
        const std::string base = "/schemes/" + s.id;
        const bool ticked = s.ticked == "1";
        ActionButton(out, links.Href(base + "/tick"), csrf, ticked ? "取消勾选" : "勾选",
                     {{"ticked", ticked ? "0" : "1"}}, "");
        ActionButton(out, links.Href(base + "/check"), csrf, "立即检查", {}, "");
        out += "<a class=\"button\" href=\"";
        Text(out, links.Href(base + "/edit"));
        out += "\">编辑</a><a class=\"button danger\" href=\"";
        Text(out, links.Href(base + "/remove"));
        out += "\">删除</a></td></tr>\n";
    }
    out += "</tbody>\n</table>\n";
    PageTail(out);
    return out;
}

std::string_view StyleSheet() { return kStyle; }

}  // namespace vela
