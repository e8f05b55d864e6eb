#include "json_lines.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "console_text.h"
#include "engine/keyword_filter.h"
#include "engine/record_plan.h"
#include "engine/scheme.h"
#include "store/sql_clean.h"

namespace vela {
namespace {

// Keys stay in the order written.
using json = nlohmann::ordered_json;

std::string Cell(const std::vector<std::string>& row, std::size_t i) {
    return i < row.size() ? row[i] : std::string();
}

// An integer key as a JSON number; anything else stays a text.
json Key(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec == std::errc() && ptr == end && !text.empty()) return value;
    return ConsoleText(text);
}

std::string Dump(const json& object) {
    // ConsoleText yields UTF-8; should a byte still be amiss it is replaced, never
    // thrown about.
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string Tabbed(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string& field : fields) {
        if (!line.empty()) line += '\t';
        line += field;
    }
    return line;
}

// Table info: id, planname, planid, title, url, other, addtime, issoucang.
// Table rule: id 0, name 3, url 4, arttile 7, arturl 8, lasttime 9, isdo 17, lastid 18.

}  // namespace

std::string RecordedLine(const Scheme& scheme, const ArticleInsert& article) {
    return Tabbed({ConsoleField(scheme.name), ConsoleField(StoredText(article.title)),
                   ConsoleField(article.link)});
}

std::string RecordedJson(const Scheme& scheme, const ArticleInsert& article,
                         const std::string& time) {
    return Dump(json{{"scheme_id", Key(scheme.id)},
                     {"scheme", ConsoleText(scheme.name)},
                     {"title", ConsoleText(StoredText(article.title))},
                     {"link", ConsoleText(article.link)},
                     {"other", ConsoleText(StoredText(article.other))},
                     {"time", ConsoleText(time)}});
}

std::string OutcomeJson(const Scheme& scheme, int stored, int dropped) {
    return Dump(json{{"scheme_id", Key(scheme.id)},
                     {"scheme", ConsoleText(scheme.name)},
                     {"stored", stored},
                     {"dropped", dropped}});
}

std::string ArticleRowLine(const std::vector<std::string>& row) {
    return Tabbed({ConsoleField(Cell(row, 0)), ConsoleField(Cell(row, 6)),
                   Cell(row, 7) == "1" ? "*" : "-", ConsoleField(Cell(row, 1)),
                   ConsoleField(Cell(row, 3)), ConsoleField(Cell(row, 4))});
}

std::string ArticleRowJson(const std::vector<std::string>& row) {
    return Dump(json{{"id", Key(Cell(row, 0))},
                     {"scheme_id", Key(Cell(row, 2))},
                     {"scheme", ConsoleText(Cell(row, 1))},
                     {"title", ConsoleText(Cell(row, 3))},
                     {"link", ConsoleText(Cell(row, 4))},
                     {"other", ConsoleText(Cell(row, 5))},
                     {"time", ConsoleText(Cell(row, 6))},
                     {"favourite", Cell(row, 7) == "1"}});
}

std::string SchemeRowLine(const std::vector<std::string>& row) {
    return Tabbed({ConsoleField(Cell(row, 0)), Cell(row, 17) == "1" ? "[x]" : "[ ]",
                   ConsoleField(Cell(row, 3)), ConsoleField(Cell(row, 4)),
                   ConsoleField(Cell(row, 7)), ConsoleField(Cell(row, 9))});
}

std::string SchemeRowJson(const std::vector<std::string>& row, const SchemeFields& fields) {
    auto keywords = [](const std::string& lines) {
        json list = json::array();
        for (const std::string& keyword : KeywordLines(lines)) list.push_back(ConsoleText(keyword));
        return list;
    };
    return Dump(json{{"id", Key(Cell(row, 0))},
                     {"name", ConsoleText(Cell(row, 3))},
                     {"ticked", Cell(row, 17) == "1"},
                     {"url", ConsoleText(Cell(row, 4))},
                     {"last_title", ConsoleText(Cell(row, 7))},
                     {"last_link", ConsoleText(Cell(row, 8))},
                     {"last_time", ConsoleText(Cell(row, 9))},
                     {"last_id", ConsoleText(Cell(row, 18))},
                     {"include", keywords(fields.include)},
                     {"exclude", keywords(fields.exclude)},
                     {"clean_titles", fields.cleanTitles},
                     {"fetch", FetchModeName(fields.fetch)}});
}

}  // namespace vela
