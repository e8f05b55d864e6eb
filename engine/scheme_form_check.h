#pragma once

#include <map>
#include <string>

#include "store/scheme_save.h"

// A scheme's values as a person types them into a form (the web view's), checked
// by the scheme file's own reader: the values become one [[scheme]] table and are
// read as a file is, so a form can store nothing that a file could not.

namespace vela {

// The form's values, UTF-8 as typed. The group numbers are texts (a person may
// type anything); the keywords are one per line.
struct SchemeFormValues {
    std::string name, url, before, after, pattern, link;
    std::string titleGroup, idGroup, otherGroup;
    std::string mode = "newest-first";  // the scheme file's words
    std::string cookie, userAgent;
    std::string include, exclude;
    bool gbk = false;
    bool cleanTitles = false;
    bool browser = false;
};

struct SchemeFormCheck {
    SchemeSave save;  // form.id "0"; meaningful only when ok()
    // What is wrong, by the scheme file's key ("name", "url", "title_group", …;
    // "" for what belongs to no one key), UTF-8.
    std::map<std::string, std::string> errors;
    bool ok() const { return errors.empty(); }
};

SchemeFormCheck CheckSchemeForm(const SchemeFormValues& values);

// The values a form shows for a stored scheme (GBK texts as UTF-8).
SchemeFormValues SchemeFormValuesOf(const SchemeSave& save);

}  // namespace vela
