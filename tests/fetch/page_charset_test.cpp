#include "fetch/page_charset.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

TEST(PageCharset, TheMarkTheHeaderTheBytesAndTheMetaDecideInThatOrder) {
    const std::string gbkTitle = "<p>\xD6\xD0\xCE\xC4</p>";  // 中文 in GBK: not UTF-8
    const std::string utf8Title = "<p>\xE4\xB8\xAD\xE6\x96\x87</p>";
    const std::string ascii = "<p>plain</p>";
    struct Case {
        const char* name;
        std::string contentType;
        std::string page;
        bool gbk;
    } cases[] = {
        {"header gbk", "text/html; charset=GBK", utf8Title, true},
        {"header utf-8 quoted", "text/html;charset=\"utf-8\"", gbkTitle, false},
        {"header gb2312 over meta utf-8", "text/html; charset=gb2312",
         "<meta charset=utf-8>" + utf8Title, true},
        {"byte order mark over the header", "text/html; charset=gbk", "\xEF\xBB\xBF" + gbkTitle,
         false},
        {"well-formed UTF-8 over a meta gbk (a page a browser saved)",
         "text/html; charset=iso-8859-1", "<meta charset=\"gbk\">" + utf8Title, false},
        {"GBK bytes over a meta utf-8", "", "<meta charset=utf-8>" + gbkTitle, true},
        {"meta charset when the bytes are ASCII", "text/html", "<META CHARSET='GB18030'>" + ascii,
         true},
        {"meta http-equiv", "",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />" + ascii, true},
        {"first meta naming one wins", "",
         "<meta name=keywords content=x><meta charset=x-gbk><meta charset=utf-8>" + ascii, true},
        {"meta without a value passed over", "", "<meta charset=><meta charset=gbk>", true},
        {"mixed bytes naming nothing", "", utf8Title + gbkTitle, true},
        {"no name, ASCII only", "", ascii, false},
        {"no name, UTF-8 cut at the page's end", "", utf8Title + "\xE4\xB8", false},
        {"meta beyond the head's 64 KiB not read", "",
         std::string(70000, ' ') + "<meta charset=gbk>" + ascii, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PageIsGbk(c.contentType, c.page), c.gbk);
    }
}

TEST(PageCharset, LabelsAndTheContentTypeLine) {
    EXPECT_EQ(CharsetOfLabel(" GB_2312-80 "), PageCharset::kGbk);
    EXPECT_EQ(CharsetOfLabel("UTF8"), PageCharset::kUtf8);
    EXPECT_EQ(CharsetOfLabel("big5"), PageCharset::kOther);
    EXPECT_EQ(CharsetOfLabel(""), PageCharset::kUnnamed);
    EXPECT_EQ(CharsetOfContentType("text/html"), PageCharset::kUnnamed);

    EXPECT_EQ(ContentTypeOf("HTTP/1.1 200 OK\r\nX-Content-Type: no\r\n"
                            "content-TYPE:  text/html; charset=gbk \r\n\r\n"),
              "text/html; charset=gbk");
    EXPECT_EQ(ContentTypeOf("HTTP/1.1 200 OK\nContent-Type:text/plain\n"), "text/plain");
    EXPECT_EQ(ContentTypeOf(std::string(5000, ' ')), "");
}

TEST(PageCharset, AHeadOfUnclosedMetaTagsIsReadInOnePass) {
    std::string page;
    while (page.size() < 64 * 1024) page += "<meta charset";
    EXPECT_EQ(CharsetOfMeta(page), PageCharset::kUnnamed);
}

}  // namespace
}  // namespace vela
