#include <cstdio>
#include <optional>

#include "fetch/encoding.h"
#include "keyword_filter.h"
#include "leading_integer.h"
#include "scheme.h"
#include "scheme_file.h"
#include "scheme_file_text.h"

// The writing half of scheme_file.h: every text as UTF-8, exactly, in a literal
// string wherever the text allows one.

namespace vela {

std::string TomlBasicString(std::string_view utf8) {
    std::string out = "\"";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04X", c);
                    out += escape;
                } else {
                    out.push_back(ch);
                }
        }
    }
    return out + "\"";
}

namespace {

// A text as a TOML string: a literal string where the text allows one (no
// escapes: a pattern reads as typed), a basic string with escapes otherwise.
std::string TomlString(std::string_view utf8) {
    bool control = false;
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        control = control || (c < 0x20 && c != '\t') || c == 0x7F;
    }
    if (!control) {
        if (utf8.find('\'') == std::string_view::npos) return "'" + std::string(utf8) + "'";
        if (utf8.find("'''") == std::string_view::npos && utf8.front() != '\'' &&
            utf8.back() != '\'') {
            return "'''" + std::string(utf8) + "'''";
        }
    }
    return TomlBasicString(utf8);
}

}  // namespace

SchemeSave SchemeSaveFromRow(const std::vector<std::string>& cells) {
    auto cell = [&](size_t i) { return i < cells.size() ? cells[i] : std::string(); };
    SchemeSave save;
    SchemeForm& f = save.form;
    f.id = cell(0);
    f.code = cell(2);
    f.name = cell(3);
    f.url = cell(4);
    f.cookie = cell(5);
    f.ua = cell(6);
    f.buquan = cell(10);
    f.regular = cell(11);
    f.before = cell(12);
    f.after = cell(13);
    f.tindex = cell(14);
    f.uindex = cell(15);
    f.oindex = cell(16);
    f.type = cell(19);
    save.ticked = cell(17) == "1";
    return save;
}

SchemeFileText WriteSchemeFile(const std::vector<SchemeSave>& schemes) {
    SchemeFileText file;
    std::string& out = file.text;
    out = "# vela schemes: `vela-cli import FILE`, or 导入方案… in the scheme list's menu.\n";
    for (const SchemeSave& save : schemes) {
        const SchemeForm& f = save.form;
        std::string failure;
        // Texts as UTF-8, exactly; the first one without a form stops the file.
        auto unicode = [&](const char* key, const std::string& gbk) {
            std::string culprit;
            std::optional<std::string> utf8 = ExactUtf8(gbk, culprit);
            if (!utf8 && failure.empty()) {
                failure = "scheme " + f.id + " (" + Shown(GbkToUtf8(f.name)) + "): " + key + ": " +
                          culprit + " have no Unicode form, and a UTF-8 file cannot carry them";
            }
            return utf8;
        };
        auto text = [&](const char* key, const std::string& gbk) {
            const std::optional<std::string> utf8 = unicode(key, gbk);
            return std::string(key) + " = " + (utf8 ? TomlString(*utf8) : "''") + "\n";
        };
        auto number = [](const char* key, const std::string& cell) {
            return std::string(key) + " = " + std::to_string(LeadingInteger(cell)) + "\n";
        };
        const JudgeMode mode = ToJudgeMode(LeadingInteger(f.type));
        out += "\n[[scheme]]\n";
        out += text("name", f.name);
        out += text("url", f.url);
        out += std::string("encoding = ") + (f.code == "1" ? "\"gbk\"" : "\"utf-8\"") + "\n";
        out += text("before", f.before);
        out += text("after", f.after);
        out += text("pattern", f.regular);
        out += text("link", f.buquan);
        out += number("title_group", f.tindex);
        out += number("other_group", f.oindex);
        if (mode == JudgeMode::CompareArticleId) out += number("id_group", f.uindex);
        out += std::string("mode = \"") +
               (mode == JudgeMode::CompareArticleId ? "article-id"
                : mode == JudgeMode::OldestFirst    ? "oldest-first"
                                                    : "newest-first") +
               "\"\n";
        out += text("cookie", f.cookie);
        out += text("user_agent", f.ua);
        out += std::string("ticked = ") + (save.ticked ? "true" : "false") + "\n";
        // The fields beyond the rule row only where they are set: the file of a
        // scheme without them reads as it always has.
        auto keywords = [&](const char* key, const std::string& lines) {
            const std::vector<std::string> list = KeywordLines(lines);
            if (list.empty()) return std::string();
            std::string array;
            for (const std::string& keyword : list) {
                const std::optional<std::string> utf8 = unicode(key, keyword);
                if (!utf8) return std::string();
                array += (array.empty() ? "" : ", ") + TomlString(*utf8);
            }
            return std::string(key) + " = [" + array + "]\n";
        };
        out += keywords("include", f.fields.include);
        out += keywords("exclude", f.fields.exclude);
        if (f.fields.cleanTitles) out += "clean_titles = true\n";
        if (f.fields.fetch != FetchMode::kHttp) {
            out += std::string("fetch = '") + FetchModeName(f.fields.fetch) + "'\n";
        }
        if (!failure.empty()) {
            file.text.clear();
            file.error = failure;
            return file;
        }
    }
    file.ok = true;
    return file;
}

}  // namespace vela
