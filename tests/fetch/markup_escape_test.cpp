#include "fetch/markup_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(MarkupEscape, HostileTextStaysTextUnderEitherPolicy) {
    struct Case {
        std::string in;
        std::string replaced;  // ControlCharacters::Replaced
        std::string blanks;    // ControlCharacters::Blanks
    };
    const std::string markup = "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;";
    const Case cases[] = {
        {"<a href=\"x\">&'</a>", markup, markup},
        {"中文 ok", "中文 ok", "中文 ok"},
        {"a\tb\nc\rd", "a b c d", "a b c d"},
        {std::string("\x00\x01\x1f\x7f", 4), kFffd + kFffd + kFffd + kFffd, "    "},
        {"\xC2\x85", kFffd, " "},                                        // a C1 control
        {"\xC2\xA0", "\xC2\xA0", "\xC2\xA0"},                            // after the C1 controls
        {"\xEF\xBF\xBE\xEF\xBF\xBF", kFffd + kFffd, kFffd + kFffd},      // U+FFFE, U+FFFF
        {"\xC0\xAF", kFffd + kFffd, kFffd + kFffd},                      // overlong "/"
        {"\xED\xA0\x80", kFffd + kFffd + kFffd, kFffd + kFffd + kFffd},  // a surrogate
        {"\xE4\xB8", kFffd + kFffd, kFffd + kFffd},                      // cut short at the end
        {"\xE4\xB8<", kFffd + kFffd + "&lt;", kFffd + kFffd + "&lt;"},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // outside the BMP
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(MarkupEscaped(c.in, ControlCharacters::Replaced), c.replaced);
        EXPECT_EQ(MarkupEscaped(c.in, ControlCharacters::Blanks), c.blanks);
        std::string out = "x";
        AppendMarkupEscaped(out, c.in, ControlCharacters::Replaced);
        EXPECT_EQ(out, "x" + c.replaced);
    }
}

}  // namespace
}  // namespace vela
