#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "article_id.h"
#include "store/scheme_statement.h"

namespace vela {

// How a scheme decides which matches are new.
enum class JudgeMode : int32_t { NewestFirst = 0, OldestFirst = 2, CompareArticleId = 8 };

// The browser identification of the editor's start, of every new or copied scheme,
// and of a scheme file's scheme that names none.
inline constexpr const char* kDefaultUserAgent =
    "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/38.0.2125.122 Safari/537.36 SE 2.X MetaSr 1.0";

// Any stored value other than 2 and 8 behaves as NewestFirst.
JudgeMode ToJudgeMode(int32_t type);

// The values one run of a scheme works with, GBK texts as stored.
struct Scheme {
    std::string id;  // put into SQL as it stands
    std::string name;
    bool gbk = false;
    std::string url;
    std::string before;  // region begin marker
    std::string after;   // region end marker
    std::string pattern;
    std::string linkTemplate;
    std::string cookie;
    std::string userAgent;
    std::string lastMarker;  // arttile: the title of the newest article seen
    std::string lastLink;    // arturl: its link
    int32_t titleGroup = 0;  // tindex
    int32_t idGroup = 0;     // uindex
    int32_t otherGroup = 0;  // oindex
    int32_t type = 0;
    ArticleId lastId;  // article ids may pass 64 bits
    SchemeFields fields;  // keywords and clean titles, from table rule_field
};

// A scheme from the cells of its row in the scheme list (cell i = column i of
// table rule); missing cells read as empty.
Scheme SchemeFromCells(const std::vector<std::string>& cells);

// The scheme the editor's form describes, for a rule test: its address, encoding,
// markers, pattern, link template, cookie, agent and fields; nothing of a run's
// history.
Scheme SchemeFromForm(const SchemeForm& form);

// The editor's form of `scheme` as a new scheme (id "0"): its texts, groups,
// judgement mode and fields.
SchemeForm SchemeFormOf(const Scheme& scheme);

}  // namespace vela
