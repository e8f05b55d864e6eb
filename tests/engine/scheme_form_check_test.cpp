// A form's typed values checked by the scheme file's reader: every byte kept,
// nothing a value holds read as TOML of its own, each error under its key.

#include "engine/scheme_form_check.h"

#include <gtest/gtest.h>

#include "fetch/encoding.h"

namespace vela {
namespace {

SchemeFormValues Board() {
    SchemeFormValues v;
    v.name = "论坛";
    v.url = "http://bbs.example/forum";
    v.before = "<ul>";
    v.after = "</ul>";
    v.pattern = "<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>";
    v.link = "http://bbs.example[2]";
    v.titleGroup = "3";
    return v;
}

TEST(SchemeFormCheck, ValuesAreKeptByteForByteAndNeverReadAsKeys) {
    SchemeFormValues v = Board();
    // A value that would close its string and add keys if it were pasted in.
    v.name = "a\"\nticked = false\n\\u0041\t#";
    v.cookie = std::string("k=v\x01;\x7f");
    v.include = "one\r\n\r\n  \n/^t/\n";
    v.browser = true;
    const SchemeFormCheck check = CheckSchemeForm(v);
    ASSERT_TRUE(check.ok()) << check.errors.begin()->first << ": " << check.errors.begin()->second;
    const SchemeSave& save = check.save;
    EXPECT_EQ(save.form.name, v.name);
    EXPECT_EQ(save.form.cookie, v.cookie);
    EXPECT_TRUE(save.ticked);
    EXPECT_EQ(save.form.fields.include, "one\n/^t/");
    EXPECT_EQ(save.form.fields.fetch, FetchMode::kBrowser);
    EXPECT_EQ(save.form.tindex, "3");
    EXPECT_EQ(save.form.regular, v.pattern);
    // An id group with another mode is kept as the window keeps it.
    v.idGroup = "1";
    EXPECT_EQ(CheckSchemeForm(v).save.form.uindex, "1");
    // And back into the form as it was typed.
    const SchemeFormValues shown = SchemeFormValuesOf(save);
    EXPECT_EQ(shown.name, v.name);
    EXPECT_EQ(shown.pattern, v.pattern);
    EXPECT_TRUE(shown.browser);
}

TEST(SchemeFormCheck, EachErrorIsNamedByItsField) {
    const struct {
        const char* what;
        void (*change)(SchemeFormValues&);
        const char* key;
        const char* text;  // a part of the message
    } cases[] = {
        {"no host", [](SchemeFormValues& v) { v.url = "http://"; }, "url", "http:// or https://"},
        {"not http", [](SchemeFormValues& v) { v.url = "ftp://x/"; }, "url", "http:// or https://"},
        {"a broken pattern", [](SchemeFormValues& v) { v.pattern = "(a"; }, "pattern",
         "does not compile"},
        {"a group too high", [](SchemeFormValues& v) { v.titleGroup = "4"; }, "title_group",
         "does not exist"},
        {"a group that is no number", [](SchemeFormValues& v) { v.titleGroup = "x"; },
         "title_group", "whole number"},
        {"no title group", [](SchemeFormValues& v) { v.titleGroup = " "; }, "title_group",
         "missing"},
        {"article ids without their group", [](SchemeFormValues& v) { v.mode = "article-id"; },
         "id_group", "required"},
        {"an unknown mode", [](SchemeFormValues& v) { v.mode = "sideways"; }, "mode", "must be"},
        {"a link naming a missing group", [](SchemeFormValues& v) { v.link = "http://x/[7]"; },
         "link", "[7]"},
        {"a broken keyword", [](SchemeFormValues& v) { v.exclude = "/(/"; }, "exclude", ""},
        {"a character GBK lacks", [](SchemeFormValues& v) { v.name = "😀"; }, "name", "GBK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SchemeFormValues v = Board();
        c.change(v);
        const SchemeFormCheck check = CheckSchemeForm(v);
        ASSERT_TRUE(check.errors.contains(c.key))
            << (check.ok() ? "ok" : check.errors.begin()->first);
        EXPECT_NE(check.errors.at(c.key).find(c.text), std::string::npos) << check.errors.at(c.key);
    }
}

}  // namespace
}  // namespace vela
