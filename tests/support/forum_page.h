#pragma once

#include <cstddef>
#include <string>

namespace vela::test {

// A Discuz!-style board page in GBK of about `bytes` bytes: a navigation bar, a
// sidebar of hot threads with the same link shape as the board's, two pinned
// threads set apart by a separator row, then threads newest first, each with its
// author, counts and last poster, and pagination below. Lines end in CR LF.
inline std::string ForumPage(std::size_t bytes) {
    std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"gbk\"><title>\xB6\xFE\xCA\xD6\xBD\xBB\xD2\xD7 "
        "- "
        "\xC2\xDB\xCC\xB3</title></head><body>\r\n<div id=\"nv\"><ul>";
    for (int i = 1; i <= 8; ++i) {
        page += "<li><a href=\"forum-" + std::to_string(i) + "-1.html\">\xB0\xE6\xBF\xE9 " +
                std::to_string(i) + "</a></li>";
    }
    page +=
        "</ul></div>\r\n<div id=\"ct\"><div class=\"sd\"><div "
        "id=\"hot\"><h2>\xC8\xC8\xC3\xC5</h2><ul>";
    for (int i = 1; i <= 6; ++i) {
        const std::string n = std::to_string(900 + i);
        page += "<li><a href=\"thread-" + n + "-1-1.html\">\xC8\xC8\xC3\xC5\xD6\xF7\xCC\xE2 " + n +
                " \xB4\xF3\xBC\xD2\xC0\xB4\xCC\xD6\xC2\xDB</a></li>";
    }
    page += "</ul></div></div>\r\n<div class=\"mn\"><table id=\"threadlisttableid\">\r\n";
    for (int i = 1; i <= 2; ++i) {
        const std::string n = std::to_string(i);
        page += "<tbody id=\"stickthread_" + n + "\"><tr><th class=\"common\"><a href=\"thread-" +
                n + "-1-1.html\" class=\"s xst\">\xB0\xE6\xB9\xE6 " + n +
                " \xC7\xEB\xCF\xC8\xD4\xC4\xB6\xC1</a></th><td class=\"by\"><cite><a "
                "href=\"space-uid-1.html\">admin</a></cite></td></tr></tbody>\r\n";
    }
    page +=
        "<tbody id=\"separatorline\"><tr "
        "class=\"ts\"><th>&nbsp;</th><td>&nbsp;</td></tr></tbody>\r\n";
    const std::string tail =
        "</table><div class=\"pg\"><a href=\"forum-2-2.html\">2</a><a "
        "href=\"forum-2-3.html\">3</a><a href=\"forum-2-2.html\" "
        "class=\"nxt\">\xCF\xC2\xD2\xBB\xD2\xB3</a></div></div></div></body></html>\r\n";
    for (int id = 100000 + static_cast<int>(bytes / 400); page.size() + tail.size() < bytes; --id) {
        const std::string n = std::to_string(id);
        const std::string user = std::to_string(id % 97);
        page +=
            "<tbody id=\"normalthread_" + n + "\"><tr><td class=\"icn\"><a href=\"thread-" + n +
            "-1-1.html\" title=\"\xD0\xC2\xB4\xB0\xBF\xDA\xB4\xF2\xBF\xAA\" target=\"_blank\"><img "
            "src=\"folder_new.gif\" /></a></td>\r\n<th class=\"" +
            std::string(id % 3 ? "common" : "new") + "\"><a href=\"thread-" + n +
            "-1-1.html\" onclick=\"atarget(this)\" class=\"s xst\">\xB3\xF6\xCA\xDB\xB6\xFE\xCA\xD6"
            "\xCF\xE0\xBB\xFA " +
            n +
            " \xBE\xC5\xB3\xC9\xD0\xC2</a></th>\r\n<td class=\"by\"><cite><a "
            "href=\"space-uid-" +
            user + ".html\">user" + user + "</a></cite><em><span>2026-12-1" +
            std::to_string(id % 10) + "</span></em></td><td class=\"num\"><a href=\"thread-" + n +
            "-1-1.html\" class=\"xi2\">" + std::to_string(id % 50) + "</a><em>" +
            std::to_string(id % 900) + "</em></td></tr></tbody>\r\n";
    }
    return page + tail;
}

}  // namespace vela::test
