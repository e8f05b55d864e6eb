#pragma once

#include <string>

namespace vela {

class MainWindow;

// The scheme editor's form as GBK texts, as its controls hold them. The editor
// saves it; the rule tester runs it.
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
};

// Reads every control of the form; `type` stays empty.
SchemeForm ReadSchemeForm(MainWindow& window);

}  // namespace vela
