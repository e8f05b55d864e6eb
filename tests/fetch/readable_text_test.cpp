#include "fetch/readable_text.h"

#include <gtest/gtest.h>

#include <string>

#include "fetch/encoding.h"

namespace vela {
namespace {

// Page source in, the text a person reads out, both GBK. Chinese texts are
// written in UTF-8 and converted; raw GBK bytes are written as bytes.
TEST(ReadableText, TagsReferencesAndBlanks) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        // Tags and comments.
        {Gbk("<font color=red>置顶</font>公告"), Gbk("置顶公告")},
        {"a <b>bold</b> <I>it</I> c", "a bold it c"},
        {"<!-- a > b -->x<!---->y<!-->z<!--->w", "xyzw"},
        {"<!DOCTYPE html><?php echo 1 ?>t", "t"},
        {"a < b, 1<2, <=, <>", "a < b, 1<2, <=, <>"},
        {"a <b never ends", "a <b never ends"},
        {"x<!-- no end", "x<!-- no end"},
        {"x<!-- no end but >y", "xy"},
        // Numeric references, with and without ";".
        {"&#65;&#x42;&#X43&#68x", "ABCDx"},
        {"&#20013;&#x6587;", Gbk("中文")},
        {"&#0;|&#xD800;|&#x110000;|&#99999999999999999999;|&#x1F600;", "?|?|?|?|?"},
        {"&#150;&#x80;", Gbk("–€")},
        {"&#;&#x;&#xg; &", "&#;&#x;&#xg; &"},
        // Named references: the HTML 4 set and &apos;, longest name first; a name
        // without ";" only where browsers accept one.
        {Gbk("官方&amp;玩家"), Gbk("官方&玩家")},
        {"&lt;&gt;&quot;&apos;&AMP;", "<>\"'&"},
        {"&Alpha;&omega;&middot;&eacute;", Gbk("Αω·é")},
        {"&ampx &middotb &eacute1", Gbk("&x ·b é1")},
        {"&amp;lt; &alpha &order; &unknown; &Amp;", "&lt; &alpha &order; &unknown; &Amp;"},
        // Blank runs: one space inside, none at the ends.
        {Gbk(" \t a \r\n b　c&nbsp;&#160;d&#12288;&#32;e ") + "\xA1\xA1", "a b c d e"},
        {"&nbsp; <br> &#9;", ""},
        // GBK: a trail byte is never taken for a blank or the start of a tag, and
        // "<" and "&" after a lone lead byte are markup.
        {"\xB0\xA1\xA1\xB0", "\xB0\xA1\xA1\xB0"},
        {"\xB0<b>x\xB0&amp;\xB0", "\xB0x\xB0&\xB0"},
        {"\x81\x40<\x81\x41>", "\x81\x40<\x81\x41>"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.in));
        EXPECT_EQ(ReadableText(c.in), c.out);
    }
}

}  // namespace
}  // namespace vela
