#include "scheme_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <boost/regex.hpp>
#include <cstdint>
#include <exception>
#include <optional>

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/text_between.h"
#include "fetch/utf8_decode.h"
#include "keyword_filter.h"
#include "leading_integer.h"
#include "page_regex.h"
#include "scheme.h"
#include "scheme_file_text.h"
#include "scheme_run.h"
#include "toml_shield.h"

// The reading half of scheme_file.h: the keys of a [[scheme]] table and every
// check of their values. The TOML itself is parsed behind toml_shield.h.

namespace vela {
namespace {

constexpr std::size_t kMaxErrors = 50;

enum class Kind { Text, Integer, Flag, TextList };

struct KeyRule {
    const char* key;
    Kind kind;
    bool required;
};

// Every key a [[scheme]] table may hold. The ones that say what the page is and
// how to read it are required; the rest have the editor's defaults.
constexpr KeyRule kKeys[] = {
    {"name", Kind::Text, true},
    {"url", Kind::Text, true},
    {"encoding", Kind::Text, true},
    {"before", Kind::Text, true},
    {"after", Kind::Text, true},
    {"pattern", Kind::Text, true},
    {"link", Kind::Text, true},
    {"title_group", Kind::Integer, true},
    {"other_group", Kind::Integer, false},
    {"id_group", Kind::Integer, false},
    {"mode", Kind::Text, false},
    {"cookie", Kind::Text, false},
    {"user_agent", Kind::Text, false},
    {"ticked", Kind::Flag, false},
    {"include", Kind::TextList, false},
    {"exclude", Kind::TextList, false},
    {"clean_titles", Kind::Flag, false},
    {"fetch", Kind::Text, false},
};

const KeyRule* FindKey(std::string_view key) {
    for (const KeyRule& rule : kKeys) {
        if (key == rule.key) return &rule;
    }
    return nullptr;
}

// A list's elements are checked one by one, each at its own line.
bool IsKind(const toml::node& node, Kind kind) {
    return kind == Kind::Text      ? node.is_string()
           : kind == Kind::Integer ? node.is_integer()
           : kind == Kind::Flag    ? node.is_boolean()
                                   : node.is_array();
}

const char* KindText(Kind kind) {
    return kind == Kind::Text      ? "expected a string"
           : kind == Kind::Integer ? "expected a whole number"
           : kind == Kind::Flag    ? "expected true or false"
                                   : "expected an array of strings";
}

struct Mode {
    const char* word;
    const char* type;
};
constexpr Mode kModes[] = {{"newest-first", "0"}, {"oldest-first", "2"}, {"article-id", "8"}};

class Errors {
public:
    explicit Errors(std::string file) : file_(std::move(file)) {}

    void Add(int line, std::string_view key, const std::string& what) {
        if (entries_.size() > kMaxErrors) return;
        std::string text = file_ + ":" + std::to_string(line) + ": ";
        if (!key.empty()) text += Shown(WithoutStandIns(key)) + ": ";
        entries_.push_back({line, text + what});
    }
    bool Any() const { return !entries_.empty(); }

    std::vector<std::string> Lines() {
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const Entry& a, const Entry& b) { return a.line < b.line; });
        std::vector<std::string> lines;
        for (const Entry& e : entries_) {
            if (lines.size() == kMaxErrors) {
                lines.push_back(file_ + ": more errors follow; fix these first");
                break;
            }
            lines.push_back(e.text);
        }
        return lines;
    }

private:
    struct Entry {
        int line;
        std::string text;
    };
    std::string file_;
    std::vector<Entry> entries_;
};

int LineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }

// Reads one [[scheme]] table into `out`; false when it has an error.
bool ReadScheme(const toml::table& table, Errors& errors, FileScheme& out) {
    const int tableLine = LineOf(table);
    bool ok = true;
    auto fail = [&](int line, std::string_view key, const std::string& what) {
        errors.Add(line, key, what);
        ok = false;
    };

    for (auto&& [key, node] : table) {
        const KeyRule* rule = FindKey(key.str());
        if (!rule) {
            fail(LineOf(node), key.str(), "unknown key");
            continue;
        }
        if (!IsKind(node, rule->kind)) fail(LineOf(node), key.str(), KindText(rule->kind));
    }
    for (const KeyRule& rule : kKeys) {
        if (rule.required && !table.contains(rule.key)) {
            fail(tableLine, rule.key, "required key missing");
        }
    }
    // The value of a key that is there with the right type; null otherwise. A key
    // missing or of the wrong type has its error already: the checks below pass it
    // by and go on, so that one reading names every error of the table.
    auto usable = [&](const char* key) -> const toml::node* {
        const toml::node* node = table.get(key);
        const KeyRule* rule = FindKey(key);
        return node && rule && IsKind(*node, rule->kind) ? node : nullptr;
    };

    // Texts, exactly as GBK stores them.
    auto text = [&](const char* key, std::string fallback = {}) -> std::string {
        const toml::node* node = usable(key);
        if (!node) return fallback;
        std::string culprit;
        const std::optional<std::string> gbk =
            ExactGbk(WithoutStandIns(node->as_string()->get()), culprit);
        if (!gbk) {
            fail(LineOf(*node), key, "the character " + culprit + " cannot be stored in GBK");
            return {};
        }
        return *gbk;
    };
    SchemeForm& form = out.save.form;
    form.id = "0";
    form.name = text("name");
    form.url = text("url");
    form.before = text("before");
    form.after = text("after");
    form.regular = text("pattern");
    form.buquan = text("link");
    form.cookie = text("cookie");
    form.ua = text("user_agent", Gbk(kDefaultUserAgent));
    out.save.ticked = table["ticked"].value_or(true);

    // Keywords, stored one per line: each a string that can be stored in GBK, on
    // one line, and usable as the filter reads it (not empty, a /.../ pattern that
    // compiles).
    auto keywords = [&](const char* key) -> std::string {
        const toml::node* node = usable(key);
        if (!node) return {};
        std::string lines;
        for (const toml::node& element : *node->as_array()) {
            const int line = LineOf(element);
            if (!element.is_string()) {
                fail(line, key, KindText(Kind::TextList));
                continue;
            }
            const std::string utf8 = WithoutStandIns(element.as_string()->get());
            std::string culprit;
            const std::optional<std::string> gbk = ExactGbk(utf8, culprit);
            if (!gbk) {
                fail(line, key, "the character " + culprit + " cannot be stored in GBK");
                continue;
            }
            if (gbk->empty()) {
                fail(line, key, "an empty keyword");
                continue;
            }
            if (gbk->find_first_of("\r\n") != std::string::npos) {
                fail(line, key, "a keyword cannot hold a line break: \"" + Shown(utf8) + "\"");
                continue;
            }
            const std::string problem = KeywordProblem(*gbk);
            if (!problem.empty()) {
                fail(line, key, ShownMessage(problem));
                continue;
            }
            if (!lines.empty()) lines += '\n';
            lines += *gbk;
        }
        return lines;
    };
    form.fields.include = keywords("include");
    form.fields.exclude = keywords("exclude");
    form.fields.cleanTitles = table["clean_titles"].value_or(false);
    if (const toml::node* node = usable("fetch")) {
        if (!ParseFetchMode(node->value_or(std::string()), form.fields.fetch)) {
            fail(LineOf(*node), "fetch", "must be \"http\" or \"browser\"");
        }
    }

    if (const toml::node* node = usable("encoding")) {
        const std::string encoding = GbkAsciiLower(node->value_or(std::string()));
        if (encoding == "gbk") {
            form.code = "1";
        } else if (encoding == "utf-8") {
            form.code = "0";
        } else {
            fail(LineOf(*node), "encoding", "must be \"gbk\" or \"utf-8\"");
        }
    }

    bool articleIds = false;
    // Whether the mode is known: a wrong one has its error, and says nothing about
    // whether id_group belongs.
    bool modeKnown = !table.contains("mode");
    form.type = "0";
    if (const toml::node* node = usable("mode")) {
        const std::string word = GbkAsciiLower(node->value_or(std::string()));
        const Mode* mode = nullptr;
        for (const Mode& m : kModes) {
            if (word == m.word) mode = &m;
        }
        if (mode) {
            form.type = mode->type;
            articleIds = form.type == "8";
            modeKnown = true;
        } else {
            fail(LineOf(*node), "mode",
                 "must be \"newest-first\", \"oldest-first\" or \"article-id\"");
        }
    }

    if (const toml::node* node = usable("url")) {
        const std::string& url = form.url;
        const std::string lowerUrl = GbkAsciiLower(url);
        const std::size_t hostStart = lowerUrl.starts_with("http://")    ? 7
                                      : lowerUrl.starts_with("https://") ? 8
                                                                         : 0;
        if (hostStart == 0 || hostStart == url.size() || url[hostStart] == '/') {
            fail(LineOf(*node), "url", "must be an http:// or https:// address with a host");
        } else if (GbkContains(url, kBlockedSiteToken)) {
            fail(LineOf(*node), "url", "此站不允许监控!");
        }
    }

    // The pattern as the engine compiles it; the reason from Boost when it does not.
    // Without a pattern to read there are no groups to check against.
    const toml::node* patternNode = usable("pattern");
    PageRegex regex;
    int groups = -1;
    if (patternNode && regex.CompilePattern(form.regular, false)) {
        groups = regex.CaptureGroupCount();
    } else if (patternNode) {
        std::string reason = "does not compile";
        try {
            boost::regex check(form.regular, boost::regex::perl | boost::regex::icase);
        } catch (const std::exception& e) {
            // The message quotes the pattern, which is GBK here.
            reason += ": " + ShownMessage(GbkTextToUtf8(e.what()));
        }
        fail(LineOf(*patternNode), "pattern", reason);
    }
    const std::string groupsText = "the pattern has " + std::to_string(groups) +
                                   (groups == 1 ? " group" : " groups") + " (0 is the whole match)";

    // Group numbers, as decimal texts; each must name a group of the pattern.
    auto group = [&](const char* key, std::string& into) {
        const toml::node* node = usable(key);
        const int64_t value = node ? node->value_or(int64_t{0}) : 0;
        into = std::to_string(value);
        if (node && groups >= 0 && (value < 0 || value > groups)) {
            fail(LineOf(*node), key,
                 "group " + std::to_string(value) + " does not exist; " + groupsText);
        }
    };
    group("title_group", form.tindex);
    group("other_group", form.oindex);
    group("id_group", form.uindex);
    if (const toml::node* node = table.get("id_group"); node && modeKnown && !articleIds) {
        fail(LineOf(*node), "id_group", "only with mode = \"article-id\"");
    }
    if (articleIds && !table.contains("id_group")) {
        fail(tableLine, "id_group", "required with mode = \"article-id\"");
    }

    // Each numbered placeholder [n] of the link names group n, as the engine reads it.
    if (const toml::node* link = usable("link"); link && groups >= 0) {
        std::vector<std::string> items;
        TextsBetween(form.buquan, "[", "]", items);
        for (const std::string& item : items) {
            const int32_t n = LeadingInteger(item);
            if (n < 0 || n > groups) {
                fail(LineOf(*link), "link",
                     "[" + Shown(GbkToUtf8(item)) + "] names group " + std::to_string(n) +
                         ", which does not exist; " + groupsText);
                break;
            }
        }
    }
    out.line = tableLine;
    return ok;
}

}  // namespace

SchemeFileRead ReadSchemeFile(std::string_view bytes, const std::string& fileName) {
    SchemeFileRead read;
    Errors errors(fileName);
    if (bytes.size() > kMaxSchemeFileBytes) {
        errors.Add(1, {}, "larger than 1 MiB: not a scheme file");
        read.errors = errors.Lines();
        return read;
    }
    const ShieldedToml parsed = ParseShielded(bytes, fileName);
    if (!parsed.ok) {
        errors.Add(parsed.line, {}, parsed.error);
        read.errors = errors.Lines();
        return read;
    }
    const toml::table& root = parsed.root;

    const toml::array* tables = nullptr;
    for (auto&& [key, node] : root) {
        if (key.str() != "scheme") {
            errors.Add(LineOf(node), key.str(), "unknown key (each scheme is a [[scheme]] table)");
        } else if (!node.is_array_of_tables()) {
            errors.Add(LineOf(node), "scheme", "write each scheme as a [[scheme]] table");
        } else {
            tables = node.as_array();
        }
    }
    if (!tables && !errors.Any()) errors.Add(1, {}, "no [[scheme]] table");
    if (tables) {
        for (const toml::node& node : *tables) {
            FileScheme scheme;
            if (ReadScheme(*node.as_table(), errors, scheme)) {
                read.schemes.push_back(std::move(scheme));
            }
        }
    }
    if (errors.Any()) {
        read.schemes.clear();
        read.errors = errors.Lines();
    }
    return read;
}

}  // namespace vela
