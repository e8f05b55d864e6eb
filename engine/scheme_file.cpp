#include "scheme_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <boost/regex.hpp>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/text_between.h"
#include "fetch/utf8_decode.h"
#include "leading_integer.h"
#include "page_regex.h"
#include "scheme.h"
#include "scheme_run.h"

namespace vela {
namespace {

constexpr std::size_t kMaxErrors = 50;

enum class Kind { Text, Integer, Flag };

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
};

const KeyRule* FindKey(std::string_view key) {
    for (const KeyRule& rule : kKeys) {
        if (key == rule.key) return &rule;
    }
    return nullptr;
}

bool IsKind(const toml::node& node, Kind kind) {
    return kind == Kind::Text      ? node.is_string()
           : kind == Kind::Integer ? node.is_integer()
                                   : node.is_boolean();
}

struct Mode {
    const char* word;
    const char* type;
};
constexpr Mode kModes[] = {{"newest-first", "0"}, {"oldest-first", "2"}, {"article-id", "8"}};

// A text of the file (a key, a value) as a message shows it: control characters
// as "?", cut at 60 bytes on a character boundary.
std::string Shown(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (out.size() >= 60 && (c & 0xC0) != 0x80) return out + "…";
        out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    }
    return out;
}

// A library's message (UTF-8) as an error line shows it: whole, since neither
// toml++ nor Boost quotes more than a few characters of the file, and with
// control characters as "?".
std::string ShownMessage(std::string_view utf8) {
    std::string out(utf8);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

std::string CodePointName(std::string_view utf8Char) {
    const char32_t cp = DecodeUtf8(utf8Char, 0).code;
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
    return name;
}

// The GBK form of a UTF-8 text of the file, exact: nullopt, with the first
// character that has none in `culprit`, when one has no GBK code (or shares its
// code with another character, so it would come back as that one).
std::optional<std::string> ExactGbk(std::string_view utf8, std::string& culprit) {
    std::string gbk = Utf8ToGbk(utf8);
    if (utf8.find('\0') == std::string_view::npos && GbkToUtf8(gbk) == utf8) return gbk;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string_view c = utf8.substr(i, length);
        if (c[0] == '\0' || GbkToUtf8(Utf8ToGbk(c)) != c) {
            culprit = CodePointName(c);
            const auto first = static_cast<unsigned char>(c[0]);
            if (first >= 0x20 && first != 0x7F) culprit += " '" + std::string(c) + "'";
            return std::nullopt;
        }
        i += length;
    }
    culprit = "?";
    return std::nullopt;
}

// The UTF-8 form of a stored GBK text, exact: nullopt, with the offset and bytes
// of the first character that has none in `culprit`.
std::optional<std::string> ExactUtf8(std::string_view gbk, std::string& culprit) {
    std::string utf8 = GbkToUtf8(gbk);
    if (gbk.find('\0') == std::string_view::npos && Utf8ToGbk(utf8) == gbk) return utf8;
    for (std::size_t i = 0; i < gbk.size();) {
        const std::size_t length = GbkCharLength(gbk, i);
        const std::string_view c = gbk.substr(i, length);
        if (c[0] == '\0' || Utf8ToGbk(GbkToUtf8(c)) != c) {
            char bytes[32];
            if (length == 2) {
                std::snprintf(bytes, sizeof bytes, "%02X %02X", static_cast<unsigned char>(c[0]),
                              static_cast<unsigned char>(c[1]));
            } else {
                std::snprintf(bytes, sizeof bytes, "%02X", static_cast<unsigned char>(c[0]));
            }
            culprit = "the bytes " + std::string(bytes) + " at byte " + std::to_string(i + 1);
            return std::nullopt;
        }
        i += length;
    }
    culprit = "a byte";
    return std::nullopt;
}

// The code points toml++ 3.3 cannot tell blank or not: asked, it reaches an
// unreachable point (undefined behaviour). It asks of characters outside strings,
// after the line-ending backslash of a multi-line string, and of any character a
// number-like value scans ahead over, so they never reach it (see WithStandIns).
bool UnclassifiedByParser(char32_t cp) {
    return (cp >= 0xA1 && cp <= 0x499) || (cp >= 0x2C5E && cp <= 0x3057 && cp != 0x3000) ||
           (cp >= 0xFB26 && cp <= 0xFEFE);
}

// The UTF-8 character at `i`, or an empty view when the bytes there are not one.
std::string_view Utf8CharAt(std::string_view text, std::size_t i, char32_t& cp) {
    const Utf8Char c = DecodeUtf8(text, i);
    if (!c.valid) return {};
    cp = c.code;
    return text.substr(i, c.length);
}

// The parser is handed each code point it cannot classify as a stand-in from the
// supplementary private-use plane, U+F0000 plus the code point, which it reads as
// any other text; every text read back from it has the stand-ins turned back. A
// file that holds a character of that plane itself (or an escape that makes one)
// is refused beforehand, so a stand-in is never taken for one.
constexpr char32_t kStandInBase = 0xF0000;

// `text` with each character `swap` names another code point for (a nonzero
// result) written as that one; every other byte is kept, malformed UTF-8 too.
template <typename Swap>
std::string SwappedCharacters(std::string_view text, Swap swap) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::string_view character = Utf8CharAt(text, i, cp);
        if (character.empty()) {
            out.push_back(text[i++]);  // not UTF-8: the parser reports it
            continue;
        }
        if (const char32_t other = swap(cp)) {
            AppendUtf8(out, other);
        } else {
            out += character;
        }
        i += character.size();
    }
    return out;
}

std::string WithStandIns(std::string_view text) {
    return SwappedCharacters(text, [](char32_t cp) {
        return UnclassifiedByParser(cp) ? kStandInBase + cp : char32_t{0};
    });
}

std::string WithoutStandIns(std::string_view text) {
    return SwappedCharacters(text, [](char32_t cp) {
        return cp >= kStandInBase && UnclassifiedByParser(cp - kStandInBase) ? cp - kStandInBase
                                                                             : char32_t{0};
    });
}

// The first character of the stand-ins' plane in the file, or an escape that
// names one ("\U000F…"), with its line: such a file is refused.
std::optional<std::string> StandInPlaneCharacter(std::string_view text, int& line) {
    line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
        } else if (c == 0xF3) {
            char32_t cp = 0;
            const std::string_view character = Utf8CharAt(text, i, cp);
            if (!character.empty() && cp >= kStandInBase && cp < kStandInBase + 0x10000) {
                char name[16];
                std::snprintf(name, sizeof name, "U+%05X", static_cast<unsigned>(cp));
                return std::string(name);
            }
        } else if (c == '\\' && i + 6 <= text.size() && text.substr(i + 1, 4) == "U000" &&
                   (text[i + 5] == 'F' || text[i + 5] == 'f')) {
            return "\\" + std::string(text.substr(i + 1, 5)) + "…";
        }
    }
    return std::nullopt;
}

// The first character of `text` that the reader names itself before toml++ sees
// the file: one that is not ASCII and stands outside every string and comment
// (never valid TOML, since a bare key is ASCII, and easily typed by mistake: a
// full-width full stop after a number), or one beyond ASCII that starts an escape.
// A quote opens a string only where a string can stand
// (after "=", "[", "{", ",", "." or at the start of a line), as the parser reads
// it: 1"x… is a number followed by stray characters. `line` receives its line.
std::optional<std::string_view> StrayCharacter(std::string_view text, int& line) {
    enum class In { Plain, Comment, Basic, Literal, MultiBasic, MultiLiteral } in = In::Plain;
    const std::size_t n = text.size();
    std::size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    line = 1;
    char last = '\n';  // the last character outside strings on this line, blanks aside
    auto at = [&](std::string_view token) { return text.substr(i, token.size()) == token; };
    while (i < n) {
        const char c = text[i];
        if (c == '\n' && in != In::MultiBasic && in != In::MultiLiteral) {
            ++line;
            ++i;
            in = In::Plain;  // a one-line string or a comment ends with its line
            last = '\n';
            continue;
        }
        switch (in) {
            case In::Plain: {
                if (static_cast<unsigned char>(c) >= 0x80) {
                    // A malformed sequence is left to the parser, which stops there.
                    char32_t cp = 0;
                    const std::string_view character = Utf8CharAt(text, i, cp);
                    if (character.empty()) return std::nullopt;
                    return character;
                }
                const bool stringMayStart = std::string_view("\n=[{,.").find(last) != kNotFound;
                if (c == '#') {
                    in = In::Comment;
                } else if ((c == '"' || c == '\'') && stringMayStart) {
                    const bool multi = at(std::string(3, c));
                    in = c == '"' ? (multi ? In::MultiBasic : In::Basic)
                                  : (multi ? In::MultiLiteral : In::Literal);
                    if (multi) i += 2;
                } else if (c != ' ' && c != '\t') {
                    last = c;
                }
                ++i;
                break;
            }
            case In::Comment:
                ++i;
                break;
            case In::Basic:
            case In::Literal: {
                const char quote = in == In::Basic ? '"' : '\'';
                if (in == In::Basic && c == '\\' && i + 1 < n && text[i + 1] != '\n') {
                    // No escape starts with a character beyond ASCII.
                    char32_t cp = 0;
                    const std::string_view escaped = Utf8CharAt(text, i + 1, cp);
                    if (!escaped.empty() && cp >= 0x80) return escaped;
                    ++i;
                }
                if (c == quote) {
                    in = In::Plain;
                    last = c;
                }
                ++i;
                break;
            }
            case In::MultiBasic:
            case In::MultiLiteral: {
                const bool basic = in == In::MultiBasic;
                if (c == '\n') ++line;
                if (basic && c == '\\') {
                    // A line-ending backslash takes the blanks and line breaks after it.
                    std::size_t j = i + 1;
                    while (j < n && (text[j] == ' ' || text[j] == '\t')) ++j;
                    if (j < n && (text[j] == '\n' || text[j] == '\r')) {
                        while (j < n && (text[j] == ' ' || text[j] == '\t' || text[j] == '\n' ||
                                         text[j] == '\r')) {
                            if (text[j] == '\n') ++line;
                            ++j;
                        }
                        i = j;
                    } else if (j < n && static_cast<unsigned char>(text[j]) >= 0x80) {
                        // No escape starts with a character beyond ASCII, and the parser
                        // asks whether this one is a blank.
                        char32_t cp = 0;
                        const std::string_view character = Utf8CharAt(text, j, cp);
                        if (!character.empty()) return character;
                        return std::nullopt;
                    } else {
                        i += 2;
                    }
                    break;
                }
                if (at(std::string(3, basic ? '"' : '\''))) {
                    // Up to two quotes more belong to the text before the closing three.
                    i += 3;
                    for (int extra = 0; extra < 2 && i < n && text[i] == c; ++extra) ++i;
                    in = In::Plain;
                    last = c;
                    break;
                }
                ++i;
                break;
            }
        }
    }
    return std::nullopt;
}

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
        if (!IsKind(node, rule->kind)) {
            fail(LineOf(node), key.str(),
                 rule->kind == Kind::Text      ? "expected a string"
                 : rule->kind == Kind::Integer ? "expected a whole number"
                                               : "expected true or false");
        }
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

}  // namespace

SchemeFileRead ReadSchemeFile(std::string_view bytes, const std::string& fileName) {
    SchemeFileRead read;
    Errors errors(fileName);
    if (bytes.size() > kMaxSchemeFileBytes) {
        errors.Add(1, {}, "larger than 1 MiB: not a scheme file");
        read.errors = errors.Lines();
        return read;
    }
    int strayLine = 0;
    if (const auto stray = StrayCharacter(bytes, strayLine)) {
        errors.Add(strayLine, {},
                   "the character " + CodePointName(*stray) + " '" + std::string(*stray) +
                       "' stands outside any string (a text goes between quotes), or where the "
                       "TOML reader cannot take it");
        read.errors = errors.Lines();
        return read;
    }
    if (const auto planeCharacter = StandInPlaneCharacter(bytes, strayLine)) {
        errors.Add(strayLine, {},
                   "the private-use character " + *planeCharacter +
                       " cannot be read from a scheme file (and has no GBK form)");
        read.errors = errors.Lines();
        return read;
    }
    const std::string shielded = WithStandIns(bytes);
    toml::table root;
    try {
        root = toml::parse(shielded, std::string_view(fileName));
    } catch (const toml::parse_error& e) {
        errors.Add(static_cast<int>(e.source().begin.line), {},
                   "not valid TOML: " + ShownMessage(WithoutStandIns(e.description())));
        read.errors = errors.Lines();
        return read;
    } catch (const std::exception& e) {
        errors.Add(1, {}, std::string("cannot be read: ") + e.what());
        read.errors = errors.Lines();
        return read;
    }

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
        auto text = [&](const char* key, const std::string& gbk) {
            std::string culprit;
            const std::optional<std::string> utf8 = ExactUtf8(gbk, culprit);
            if (!utf8) {
                if (failure.empty()) {
                    failure = "scheme " + f.id + " (" + Shown(GbkToUtf8(f.name)) + "): " + key +
                              ": " + culprit +
                              " have no Unicode form, and a UTF-8 file cannot carry them";
                }
                return std::string(key) + " = ''\n";
            }
            return std::string(key) + " = " + TomlString(*utf8) + "\n";
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
