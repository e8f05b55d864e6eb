#include "scheme_form_check.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "fetch/encoding.h"
#include "scheme_file.h"

namespace vela {
namespace {

constexpr const char* kFileName = "form";

void AddText(std::string& out, const char* key, std::string_view value) {
    out += key;
    out += " = ";
    out += TomlBasicString(value);
    out += '\n';
}

// The lines of a keyword box that hold something, without their CR.
std::vector<std::string_view> KeywordLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") != std::string_view::npos) lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

void AddList(std::string& out, const char* key, std::string_view text) {
    const std::vector<std::string_view> lines = KeywordLines(text);
    if (lines.empty()) return;
    out += key;
    out += " = [";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) out += ", ";
        out += TomlBasicString(lines[i]);
    }
    out += "]\n";
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// A group number as typed: a decimal of at most 9 digits, a "-" allowed (the
// reader names a negative group as one that does not exist).
bool IsGroupNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    if (text.empty() || text.size() > 9) return false;
    return text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

SchemeFormCheck CheckSchemeForm(const SchemeFormValues& values) {
    SchemeFormCheck check;
    std::string toml = "[[scheme]]\n";
    AddText(toml, "name", values.name);
    AddText(toml, "url", Trimmed(values.url));
    AddText(toml, "encoding", values.gbk ? "gbk" : "utf-8");
    AddText(toml, "before", values.before);
    AddText(toml, "after", values.after);
    AddText(toml, "pattern", values.pattern);
    AddText(toml, "link", values.link);
    AddText(toml, "mode", values.mode);
    AddText(toml, "cookie", values.cookie);
    AddText(toml, "user_agent", values.userAgent);
    AddText(toml, "fetch", values.browser ? "browser" : "http");
    toml += std::string("clean_titles = ") + (values.cleanTitles ? "true" : "false") + "\n";
    AddList(toml, "include", values.include);
    AddList(toml, "exclude", values.exclude);
    // A group left empty is a key left out: the reader then says whether it is
    // required (the title's always, the id's with article ids).
    // The id group of another mode is kept as the window keeps it, unread by
    // the runs; a file cannot say it, so it is not given to the reader.
    auto group = [&](const char* key, std::string_view typed, bool belongs) {
        const std::string_view number = Trimmed(typed);
        if (number.empty()) return;
        if (!IsGroupNumber(number)) {
            check.errors[key] = "must be a whole number";
            return;
        }
        if (!belongs) return;
        toml += key;
        toml += " = ";
        toml += number;
        toml += '\n';
    };
    group("title_group", values.titleGroup, true);
    group("other_group", values.otherGroup, true);
    const bool articleIds = values.mode == "article-id";
    group("id_group", values.idGroup, articleIds);

    SchemeFileRead read = ReadSchemeFile(toml, kFileName);
    // Each line reads "form:LINE: KEY: what"; its key names the field.
    for (const std::string& line : read.errors) {
        std::string_view rest = line;
        const std::size_t afterFile = rest.find(':');
        const std::size_t afterLine =
            afterFile == std::string_view::npos ? afterFile : rest.find(':', afterFile + 1);
        if (afterLine != std::string_view::npos) rest.remove_prefix(afterLine + 1);
        if (rest.starts_with(" ")) rest.remove_prefix(1);
        std::string key;
        const std::size_t colon = rest.find(": ");
        if (colon != std::string_view::npos &&
            rest.substr(0, colon).find_first_not_of("abcdefghijklmnopqrstuvwxyz_") ==
                std::string_view::npos) {
            key = std::string(rest.substr(0, colon));
            rest.remove_prefix(colon + 2);
        }
        // A group that is no number was left out and named already.
        if (key.ends_with("_group") && check.errors.contains(key)) continue;
        std::string& slot = check.errors[key];
        if (!slot.empty()) slot += "; ";
        slot += rest;
    }
    if (check.ok() && read.schemes.size() == 1) {
        check.save = std::move(read.schemes.front().save);
        const std::string_view idGroup = Trimmed(values.idGroup);
        if (!articleIds && IsGroupNumber(idGroup)) {
            check.save.form.uindex = std::to_string(std::stol(std::string(idGroup)));
        }
    } else if (check.ok()) {
        check.errors[""] = "the form does not make one scheme";
    }
    return check;
}

SchemeFormValues SchemeFormValuesOf(const SchemeSave& save) {
    const SchemeForm& form = save.form;
    SchemeFormValues values;
    values.name = GbkToUtf8(form.name);
    values.url = GbkToUtf8(form.url);
    values.before = GbkToUtf8(form.before);
    values.after = GbkToUtf8(form.after);
    values.pattern = GbkToUtf8(form.regular);
    values.link = GbkToUtf8(form.buquan);
    values.titleGroup = form.tindex;
    values.idGroup = form.uindex;
    values.otherGroup = form.oindex;
    values.mode = form.type == "2"   ? "oldest-first"
                  : form.type == "8" ? "article-id"
                                     : "newest-first";
    values.cookie = GbkToUtf8(form.cookie);
    values.userAgent = GbkToUtf8(form.ua);
    values.include = GbkToUtf8(form.fields.include);
    values.exclude = GbkToUtf8(form.fields.exclude);
    values.gbk = form.code == "1";
    values.cleanTitles = form.fields.cleanTitles;
    values.browser = form.fields.fetch == FetchMode::kBrowser;
    return values;
}

}  // namespace vela
