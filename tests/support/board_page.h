#pragma once

#include <initializer_list>
#include <string>

namespace vela::test {

// A board page: entries <li id=N><a href="/t/N">Title N</a></li>, newest first,
// lines ended by CR LF.
inline std::string BoardPage(std::initializer_list<int> ids) {
    std::string page = "<html><ul>\r\n";
    for (int id : ids) {
        std::string n = std::to_string(id);
        page += "<li id=" + n + "><a href=\"/t/" + n + "\">Title " + n + "</a></li>\r\n";
    }
    return page + "</ul></html>";
}

}  // namespace vela::test
