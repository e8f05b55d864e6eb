#pragma once

#include <string>
#include <vector>

namespace vela {

struct ArticleInsert;
struct Scheme;
struct SchemeFields;

// The lines the commands print, readable (fields apart by tabs, UTF-8) or as one
// JSON object each. Every text comes in GBK and leaves as UTF-8.

// A new article as it is stored: scheme name, title, link.
std::string RecordedLine(const Scheme& scheme, const ArticleInsert& article);
// {"scheme_id", "scheme", "title", "link", "other", "time"}
std::string RecordedJson(const Scheme& scheme, const ArticleInsert& article,
                         const std::string& time);

// A scheme's run whose keywords dropped new articles: how many it stored and how
// many were dropped. {"scheme_id", "scheme", "stored", "dropped"}
std::string OutcomeJson(const Scheme& scheme, int stored, int dropped);

// A row of table info (all columns in table order): id, time, favourite mark,
// scheme, title, link.
std::string ArticleRowLine(const std::vector<std::string>& row);
// {"id", "scheme_id", "scheme", "title", "link", "other", "time", "favourite"}
std::string ArticleRowJson(const std::vector<std::string>& row);

// A row of table rule: id, ticked mark, name, address, last article seen, when.
std::string SchemeRowLine(const std::vector<std::string>& row);
// {"id", "name", "ticked", "url", "last_title", "last_link", "last_time", "last_id",
//  "include", "exclude", "clean_titles"}: the keywords as arrays of texts.
std::string SchemeRowJson(const std::vector<std::string>& row, const SchemeFields& fields);

}  // namespace vela
