#pragma once

#include <string>

#include "form_pages.h"
#include "route_call.h"
#include "write_connection.h"

namespace vela {

// Runs `action` with the writable connection held; the page that says why not
// when the database cannot be written.
template <typename Action>
RouteAnswer Writing(const RouteCall& call, Action action) {
    WriteConnection* writer = call.tools.writer;
    const std::string back = call.links.Href("/schemes");
    if (!writer) {
        return MessagePage(503, "不能写入数据库", "本服务没有可写的数据库连接，什么也没有改变。",
                           call.links, back);
    }
    const auto hold = writer->Hold();
    const std::string problem = writer->WriteProblem();
    if (!problem.empty()) {
        return MessagePage(
            503, "不能写入数据库",
            "数据库 " + writer->Db().Path() + " 不能写入（" + problem + "），什么也没有改变。",
            call.links, back);
    }
    return action(writer->Db());
}

}  // namespace vela
