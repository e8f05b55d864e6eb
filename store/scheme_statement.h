#pragma once

#include <string>

#include "scheme_fields.h"

namespace vela {

// A scheme as the editor's form holds it, GBK texts as its controls hold them.
// The editor saves it; the rule tester runs it.
struct SchemeForm {
    std::string id;    // 项目编号框: "0" inserts, anything else updates that row
    std::string code;  // "1" when gbk is checked, else "0"
    std::string url;
    std::string before;
    std::string after;
    std::string regular;
    std::string buquan;
    std::string cookie;
    std::string tindex;
    std::string uindex;
    std::string oindex;
    std::string ua;
    std::string name;
    std::string type;  // the judgement mode is kept by the editor, not by a control
    // Kept in table rule_field beside the row the save statement writes.
    SchemeFields fields;
};

// The insert (id "0") or update statement that saves the form. Every value stands
// between single quotes with its apostrophes doubled, so it is stored exactly as
// typed, its ";", "(" and ")" included.
std::string SchemeSaveStatement(const SchemeForm& form);

}  // namespace vela
