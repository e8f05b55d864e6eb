#include "form_pages.h"

#include "web_text.h"

namespace vela {
namespace {

void Text(std::string& out, std::string_view utf8) { AppendEscaped(out, utf8); }

WebResponse Html(int status, std::string body) {
    WebResponse response;
    response.status = status;
    response.contentType = "text/html; charset=utf-8";
    response.body = std::move(body);
    return response;
}

}  // namespace

std::string SignInPage(const PageLinks& links, const std::string& csrf, bool asked,
                       const std::optional<Notice>& notice) {
    std::string out;
    PageHead(out, "登录", links, "");
    PageTopBar(out, links, -1);
    out += "<h1>登录</h1>\n";
    NoticeBox(out, notice);
    if (!asked) {
        out += "<p class=\"meta\">本服务不需要令牌。<a href=\"";
        Text(out, links.Href("/"));
        out += "\">查看最新文章</a></p>\n";
        PageTail(out);
        return out;
    }
    FormOpen(out, links.Href("/signin"), csrf, "card");
    out +=
        "<label for=\"token\">令牌</label>"
        "<input type=\"password\" id=\"token\" name=\"token\" autocomplete=\"current-password\" "
        "required autofocus>"
        "<p class=\"hint\">即启动 vela-cli serve 时给出的令牌（<code "
        "class=\"option\">--token</code>、"
        "<code class=\"option\">--token-file</code> 或 <code "
        "class=\"option\">VELA_SERVE_TOKEN</code>）。"
        "登录后本浏览器无需再输入。</p>"
        "<button type=\"submit\" class=\"primary\">登录</button></form>\n";
    PageTail(out);
    return out;
}

WebResponse SignInNeededPage() {
    std::string out;
    const PageLinks none;
    PageHead(out, "需要登录", none, "");
    out +=
        "<main>\n<h1>需要登录</h1>\n<p>本服务需要令牌。请先<a href=\"/signin\">登录</a>；"
        "订阅阅读器可在地址后加 ?token=，或用 Authorization: Bearer 头。</p>\n";
    PageTail(out);
    return Html(401, std::move(out));
}

std::string ConfirmPage(const PageLinks& links, const std::string& csrf, const ConfirmInput& in) {
    std::string out;
    PageHead(out, in.title, links, "");
    PageTopBar(out, links, in.current);
    out += "<h1>";
    Text(out, in.title);
    out += "</h1>\n";
    FormOpen(out, in.action, csrf, "card");
    for (const auto& [name, value] : in.fields) {
        out += "<input type=\"hidden\" name=\"";
        Text(out, name);
        out += "\" value=\"";
        Text(out, value);
        out += "\">";
    }
    out += "<p>";
    Text(out, in.question);
    out += "</p><button type=\"submit\" class=\"danger\">";
    Text(out, in.confirmLabel);
    out += "</button><a class=\"button\" href=\"";
    Text(out, in.cancelHref);
    out += "\">取消</a></form>\n";
    PageTail(out);
    return out;
}

std::string ChannelsPage(const ChannelsPageInput& in) {
    std::string out;
    PageHead(out, "通知渠道", in.links, "");
    PageTopBar(out, in.links, 3);
    out += "<h1>通知渠道</h1>\n";
    NoticeBox(out, in.notice);
    if (in.path.empty()) {
        out +=
            "<p class=\"empty\">没有放置 notify.conf 的位置（HOME 与 XDG_CONFIG_HOME "
            "均未设置）。</p>\n";
        PageTail(out);
        return out;
    }
    out += "<p class=\"meta\">每轮发现新文章时，发送到下列渠道（";
    Text(out, in.path);
    out += "）。密码与令牌不会显示。</p>\n";
    if (in.readableByOthers) {
        out +=
            "<div class=\"notice error\" role=\"alert\"><p>警告：其他用户可以读取该文件，"
            "而其中有密码和令牌（请 chmod 600）。</p></div>\n";
    }
    if (!in.fileError.empty()) {
        out += "<div class=\"notice error\" role=\"alert\"><p>";
        Text(out, in.fileError);
        out += "</p></div>\n";
    }
    if (in.masked.empty()) {
        out += "<p class=\"empty\">没有渠道。</p>\n";
    } else {
        out += "<ul class=\"channels\">\n";
        for (std::size_t i = 0; i < in.masked.size(); ++i) {
            const std::string base = "/channels/" + std::to_string(i + 1);
            out += "<li><code>";
            Text(out, in.masked[i]);
            out += "</code>";
            ActionButton(out, in.links.Href(base + "/test"), in.csrf, "测试",
                         {{"masked", in.masked[i]}}, "");
            out += "<a class=\"button danger\" href=\"";
            Text(out, in.links.Href(base + "/remove"));
            out += "\">删除</a></li>\n";
        }
        out += "</ul>\n";
    }
    FormOpen(out, in.links.Href("/channels/add"), in.csrf, "card");
    out +=
        "<label for=\"url\">添加渠道</label>"
        "<input type=\"text\" id=\"url\" name=\"url\" autocomplete=\"off\" autocapitalize=\"off\" "
        "spellcheck=\"false\" required placeholder=\"例如 tgram://bot_token/chat_id 或 "
        "mailto://...\">"
        "<button type=\"submit\" class=\"primary\">添加</button></form>\n";
    PageTail(out);
    return out;
}

WebResponse MessagePage(int status, std::string_view title, std::string_view text,
                        const PageLinks& links, const std::string& backHref) {
    std::string out;
    PageHead(out, title, links, "");
    PageTopBar(out, links, -1);
    out += "<h1>";
    Text(out, title);
    out += "</h1>\n<div class=\"notice error\" role=\"alert\"><p>";
    Text(out, text);
    out += "</p></div>\n<p><a href=\"";
    Text(out, backHref);
    out += "\">返回</a></p>\n";
    PageTail(out);
    return Html(status, std::move(out));
}

}  // namespace vela
