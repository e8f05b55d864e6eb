#include "scheme_form_page.h"

#include <string_view>

#include "fetch/url_parts.h"
#include "web_text.h"

namespace vela {
namespace {

void Text(std::string& out, std::string_view utf8) { AppendEscaped(out, utf8); }

// A value as a field holds it: escaped as every text is, but with its line
// breaks and tabs as character references, which the page's parser leaves as
// they are (a marker or a pattern may hold them).
void FieldText(std::string& out, std::string_view utf8) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c != '\n' && c != '\r' && c != '\t') continue;
        AppendEscaped(out, utf8.substr(start, i - start));
        out += c == '\n' ? "&#10;" : c == '\r' ? "&#13;" : "&#9;";
        start = i + 1;
    }
    AppendEscaped(out, utf8.substr(start));
}

// A browser sends every line break of a field as CR LF. The fields that may
// hold line breaks say which kind the value they were given had, so that a
// marker of a page with bare LF comes back as it was.
constexpr const char* kMultiLine[] = {"before", "after", "pattern"};

std::string EolOf(std::string_view value) {
    if (value.find('\n') == std::string_view::npos) return {};
    return value.find("\r\n") == std::string_view::npos ? "lf" : "crlf";
}

enum class Kind { kLine, kArea, kNumber, kCheck, kMode };

// Every field of the form: its name (the scheme file's key, which names its
// errors too), the window's caption, and its kind.
struct Field {
    const char* key;
    const char* caption;
    Kind kind;
    const char* hint;
};
constexpr Field kFields[] = {
    {"name", "方案名称", Kind::kLine, ""},
    {"url", "监控网址", Kind::kLine, "http:// 或 https:// 开头的网址"},
    {"encoding", "gbk编码", Kind::kCheck, ""},
    {"fetch", "浏览器渲染", Kind::kCheck, "用无头浏览器取得页面（页面由脚本生成列表时）"},
    {"before", "采集前", Kind::kArea, ""},
    {"after", "采集后", Kind::kArea, ""},
    {"pattern", "正则匹配", Kind::kArea, ""},
    {"link", "合成网址", Kind::kLine, "[n] 为第 n 组"},
    {"title_group", "标题索引", Kind::kNumber, ""},
    {"id_group", "文章id索引", Kind::kNumber, "判断模式为文章id时用它比较文章"},
    {"other_group", "备用索引", Kind::kNumber, ""},
    {"mode", "判断模式", Kind::kMode, ""},
    {"cookie", "cookie", Kind::kLine, ""},
    {"user_agent", "浏览器UA", Kind::kLine, ""},
    {"include", "包含关键词", Kind::kArea, "每行一个；/.../ 为正则表达式"},
    {"exclude", "排除关键词", Kind::kArea, "每行一个；/.../ 为正则表达式"},
    {"clean_titles", "清理标题", Kind::kCheck, "去掉标签、解码实体、合并空白"},
};

struct ModeChoice {
    const char* word;
    const char* caption;
};
constexpr ModeChoice kModes[] = {
    {"newest-first", "新文章在前"},
    {"oldest-first", "新文章在后"},
    {"article-id", "文章id"},
};

std::string* TextOf(SchemeFormValues& v, std::string_view key) {
    if (key == "name") return &v.name;
    if (key == "url") return &v.url;
    if (key == "before") return &v.before;
    if (key == "after") return &v.after;
    if (key == "pattern") return &v.pattern;
    if (key == "link") return &v.link;
    if (key == "title_group") return &v.titleGroup;
    if (key == "id_group") return &v.idGroup;
    if (key == "other_group") return &v.otherGroup;
    if (key == "mode") return &v.mode;
    if (key == "cookie") return &v.cookie;
    if (key == "user_agent") return &v.userAgent;
    if (key == "include") return &v.include;
    if (key == "exclude") return &v.exclude;
    return nullptr;
}

bool* FlagOf(SchemeFormValues& v, std::string_view key) {
    if (key == "encoding") return &v.gbk;
    if (key == "fetch") return &v.browser;
    if (key == "clean_titles") return &v.cleanTitles;
    return nullptr;
}

void Hidden(std::string& out, std::string_view name, std::string_view value) {
    out += "<input type=\"hidden\" name=\"";
    Text(out, name);
    out += "\" value=\"";
    FieldText(out, value);
    out += "\">";
}

// The values as hidden fields, so that a POST carries them as the form would.
void HiddenValues(std::string& out, const SchemeFormValues& values) {
    SchemeFormValues v = values;
    for (const Field& f : kFields) {
        if (const std::string* text = TextOf(v, f.key)) {
            Hidden(out, f.key, *text);
            for (const char* key : kMultiLine) {
                if (std::string_view(key) == f.key && !EolOf(*text).empty()) {
                    Hidden(out, std::string(key) + "_eol", EolOf(*text));
                }
            }
        } else if (const bool* flag = FlagOf(v, f.key); flag && *flag) {
            Hidden(out, f.key, "1");
        }
    }
}

void OneField(std::string& out, const Field& f, SchemeFormValues& v,
              const std::map<std::string, std::string>& errors) {
    const auto error = errors.find(f.key);
    const bool wrong = error != errors.end();
    const std::string id = std::string("f-") + f.key;
    const std::string describedBy =
        wrong ? " aria-invalid=\"true\" aria-describedby=\"" + id + "-error\"" : "";
    out += wrong ? "<div class=\"field wrong\">" : "<div class=\"field\">";
    if (f.kind == Kind::kCheck) {
        out += "<input type=\"checkbox\" id=\"" + id + "\" name=\"" + f.key + "\" value=\"1\"";
        if (*FlagOf(v, f.key)) out += " checked";
        out += describedBy + "><label class=\"check\" for=\"" + id + "\">";
        Text(out, f.caption);
        out += "</label>";
    } else {
        out += "<label for=\"" + id + "\">";
        Text(out, f.caption);
        out += "</label>";
        const std::string& value = *TextOf(v, f.key);
        if (f.kind == Kind::kArea) {
            out += "<textarea id=\"" + id + "\" name=\"" + f.key +
                   "\" rows=\"3\" spellcheck=\"false\" autocapitalize=\"off\"" + describedBy + ">";
            // A browser drops one line break right after the tag.
            out += "\n";
            FieldText(out, value);
            out += "</textarea>";
        } else if (f.kind == Kind::kMode) {
            out += "<select id=\"" + id + "\" name=\"" + f.key + "\"" + describedBy + ">";
            for (const ModeChoice& m : kModes) {
                out += "<option value=\"";
                out += m.word;
                out += value == m.word ? "\" selected>" : "\">";
                Text(out, m.caption);
                out += "</option>";
            }
            out += "</select>";
        } else {
            out += "<input type=\"text\" id=\"" + id + "\" name=\"" + f.key + "\" value=\"";
            FieldText(out, value);
            out += "\" autocomplete=\"off\" autocapitalize=\"off\" spellcheck=\"false\"";
            if (f.kind == Kind::kNumber) out += " inputmode=\"numeric\" class=\"number\"";
            out += describedBy + ">";
        }
    }
    if (*f.hint) {
        out += "<p class=\"hint\">";
        Text(out, f.hint);
        out += "</p>";
    }
    if (wrong) {
        out += "<p class=\"field-error\" id=\"" + id + "-error\">";
        Text(out, error->second);
        out += "</p>";
    }
    out += "</div>\n";
}

void TestResult(std::string& out, const RuleTestView& test) {
    out += "<section class=\"test\" id=\"test\"><h2>规则测试</h2>\n";
    if (!test.errors.empty()) {
        out += "<div class=\"notice error\" role=\"alert\"><ul>";
        for (const std::string& e : test.errors) {
            out += "<li>";
            Text(out, e);
            out += "</li>";
        }
        out += "</ul></div>\n";
    }
    std::size_t dropped = 0;
    for (const auto& m : test.matches) dropped += m.dropped ? 1 : 0;
    out += "<p class=\"meta\">采集区域 " + std::to_string(test.regionBytes) + " 字节，匹配 " +
           std::to_string(test.matches.size()) + " 条";
    if (dropped) out += "，其中 " + std::to_string(dropped) + " 条被关键词排除";
    out += "。</p>\n";
    if (test.matches.empty()) {
        out += "</section>\n";
        return;
    }
    out += "<ol class=\"matches\">\n";
    for (const auto& m : test.matches) {
        out += m.dropped ? "<li class=\"dropped\">" : "<li>";
        out += "<span class=\"title\">";
        Text(out, m.title);
        out += "</span>";
        if (m.dropped) out += " <span class=\"tag\">关键词排除</span>";
        out += "<br><span class=\"link\">";
        if (IsHttpLink(m.link)) {
            out += "<a href=\"";
            Text(out, m.link);
            out += "\" rel=\"noopener noreferrer nofollow\">";
            Text(out, m.link);
            out += "</a>";
        } else {
            Text(out, m.link);
        }
        out += "</span></li>\n";
    }
    out += "</ol></section>\n";
}

}  // namespace

SchemeFormValues SchemeFormValuesFrom(const QueryParams& form) {
    SchemeFormValues v;
    for (const Field& f : kFields) {
        const auto value = QueryParam(form, f.key);
        if (std::string* text = TextOf(v, f.key)) {
            if (value) *text = *value;
            // Back to bare LF where the value given to the field had them.
            if (QueryParam(form, std::string(f.key) + "_eol") == "lf") {
                std::string bare;
                for (std::size_t i = 0; i < text->size(); ++i) {
                    if ((*text)[i] == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n')
                        continue;
                    bare += (*text)[i];
                }
                *text = std::move(bare);
            }
        } else if (bool* flag = FlagOf(v, f.key)) {
            *flag = value && *value == "1";
        }
    }
    return v;
}

std::string SchemeFormPage(const SchemeFormPageInput& in) {
    const std::string title = in.id == 0 ? "新建方案" : "编辑方案 #" + std::to_string(in.id);
    std::string out;
    PageHead(out, title, in.links, "");
    PageTopBar(out, in.links, 2);
    out += "<h1>";
    Text(out, title);
    out += "</h1>\n";
    NoticeBox(out, in.notice);
    if (const auto general = in.errors.find(""); general != in.errors.end()) {
        out += "<div class=\"notice error\" role=\"alert\"><p>";
        Text(out, general->second);
        out += "</p></div>\n";
    }
    if (!in.errors.empty()) {
        out +=
            "<div class=\"notice error\" role=\"alert\"><p>没有保存：请改正标出的项。</p></div>\n";
    }
    if (in.test) TestResult(out, *in.test);
    FormOpen(out, in.action, in.csrf, "card scheme");
    if (!in.digest.empty()) Hidden(out, "digest", in.digest);
    SchemeFormValues values = in.values;
    for (const char* key : kMultiLine) {
        if (const std::string eol = EolOf(*TextOf(values, key)); !eol.empty()) {
            Hidden(out, std::string(key) + "_eol", eol);
        }
    }
    for (const Field& f : kFields) OneField(out, f, values, in.errors);
    out +=
        "<div class=\"buttons\"><button type=\"submit\" name=\"do\" value=\"save\" "
        "class=\"primary\">保存</button><button type=\"submit\" name=\"do\" value=\"test\">"
        "规则测试</button><a class=\"button\" href=\"";
    Text(out, in.links.Href("/schemes"));
    out += "\">返回</a></div></form>\n";
    PageTail(out);
    return out;
}

std::string AddPage(const AddPageInput& in) {
    std::string out;
    PageHead(out, "添加页面", in.links, "");
    PageTopBar(out, in.links, 2);
    out += "<h1>添加页面</h1>\n";
    FormOpen(out, in.links.Href("/schemes/new"), in.csrf, "card");
    out +=
        "<label for=\"f-address\">网址</label><input type=\"url\" id=\"f-address\" name=\"url\" "
        "required autocomplete=\"off\" autocapitalize=\"off\" spellcheck=\"false\" value=\"";
    Text(out, in.url);
    out += "\"><label for=\"f-encoding\">编码</label><select id=\"f-encoding\" name=\"encoding\">";
    const struct {
        const char* value;
        const char* caption;
    } encodings[] = {{"detect", "自动识别"}, {"gbk", "GBK"}, {"utf-8", "UTF-8"}};
    for (const auto& e : encodings) {
        out += "<option value=\"";
        out += e.value;
        out += in.encoding == e.value ? "\" selected>" : "\">";
        out += e.caption;
        out += "</option>";
    }
    out +=
        "</select><label for=\"f-cookie\">cookie（可不填）</label>"
        "<input type=\"text\" id=\"f-cookie\" name=\"cookie\" autocomplete=\"off\" value=\"";
    Text(out, in.cookie);
    out +=
        "\"><label for=\"f-ua\">浏览器UA（可不填）</label>"
        "<input type=\"text\" id=\"f-ua\" name=\"user_agent\" autocomplete=\"off\" value=\"";
    Text(out, in.userAgent);
    out +=
        "\"><div class=\"buttons\"><button type=\"submit\" class=\"primary\">识别列表</button>"
        "<a class=\"button\" href=\"";
    Text(out, in.links.Href("/schemes/new/form"));
    out += "\">手工填写</a></div></form>\n";
    if (in.proposed && in.candidates.empty()) {
        out += "<div class=\"notice error\" role=\"alert\"><p>";
        Text(out, in.error.empty() ? std::string("页面中没有找到文章列表。") : in.error);
        out += "</p></div>\n";
    }
    if (!in.candidates.empty()) {
        out += "<h2>找到 " + std::to_string(in.candidates.size()) +
               " 个候选列表</h2>\n<ol class=\"candidates\">\n";
        for (std::size_t i = 0; i < in.candidates.size(); ++i) {
            const CandidateView& c = in.candidates[i];
            out += "<li><p><strong>";
            Text(out, c.values.name);
            out += "</strong> <span class=\"meta\">" + std::to_string(c.count) + " 条，可信度 " +
                   std::to_string(c.score) + "%</span></p><ul>";
            for (const std::string& t : c.titles) {
                out += "<li>";
                Text(out, t);
                out += "</li>";
            }
            out += "</ul>";
            FormOpen(out, in.links.Href("/schemes/new/form"), in.csrf, "inline");
            Hidden(out, "do", "fill");
            HiddenValues(out, c.values);
            out += "<button type=\"submit\" class=\"primary\">选用第 " + std::to_string(i + 1) +
                   " 个</button></form></li>\n";
        }
        out += "</ol>\n";
    }
    PageTail(out);
    return out;
}

}  // namespace vela
