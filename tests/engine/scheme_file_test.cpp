// The file form of schemes: what the window saves comes back byte for byte, and
// every fault of a hand-written file is named with its line and key.

#include "engine/scheme_file.h"

#include <gtest/gtest.h>

#include "engine/scheme.h"
#include "engine/scheme_transfer.h"
#include "fetch/encoding.h"
#include "store/database.h"
#include "store/scheme_fields.h"
#include "store/scheme_save.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

// The texts of a stored scheme that a file carries, in table order, and what its
// numbers mean to the engine.
const char* const kStoredTexts =
    "select code,name,url,cookie,ua,buquan,regular,before,after,isdo,"
    "cast(tindex as integer),cast(oindex as integer),type from rule order by id";

SchemeForm Form(std::string name, std::string pattern) {
    SchemeForm f;
    f.id = "0";
    f.code = "1";
    f.name = std::move(name);
    f.url = "http://bbs.example/forum-2-1.html";
    f.before = "<tbody>";
    f.after = "</table>";
    f.regular = std::move(pattern);
    f.buquan = "http://bbs.example/[1]";
    f.cookie = "";
    f.tindex = "2";
    f.uindex = "1";
    f.oindex = "";
    f.ua = "Agent/1.0";
    f.type = "0";
    return f;
}

TEST(SchemeFileTest, WhatTheWindowSavesComesBackByteForByte) {
    std::vector<SchemeForm> forms;
    // Quotes of both kinds and the sequences that end a literal string.
    forms.push_back(Form("quotes", R"x(<a href="(.*?)" title='(.*?)'>)x"));
    forms.push_back(Form("triple", "a'''b(.)(x)\"\"\""));
    forms.push_back(Form("ends in a quote", "(x)(.)'"));
    forms.push_back(Form("starts with a quote", "'(x)(.)"));
    // Backslashes read as typed, the quote token, CJK text in GBK.
    forms.push_back(Form(Gbk("示例论坛_灌水区"), R"x(<td>(\d+)</td>\s*<a[^>]*>(.*?)\\</a>)x"));
    forms.back().before = Gbk("#引号s xst#引号>");
    forms.back().buquan = Gbk("http://论坛.example/[1]?a=\\[2]");
    // Empty markers, an empty index, a cookie over two lines, a tab, a control byte,
    // the euro sign (0x80), a full-width apostrophe.
    forms.push_back(Form("", "(.)(.)"));
    forms.back().before = "";
    forms.back().after = "";
    forms.back().tindex = "";
    forms.back().cookie = "a=1;\r\nb=2\tc\x01";
    forms.back().name = "\x80 " + Gbk("＇");
    forms.back().code = "0";
    // Article ids, and a mode value the engine reads as newest-first.
    forms.push_back(Form("ids", "<li id=(\\d+)>(.*?)</li>"));
    forms.back().type = "8";
    forms.back().uindex = "1";
    forms.push_back(Form("odd mode", "(.)(.)"));
    forms.back().type = "5";
    forms.back().tindex = "002";

    test::TestDatabaseFile original;
    Database from;
    ASSERT_TRUE(from.OpenDatabase(original.path(), false));
    for (const SchemeForm& f : forms) ASSERT_TRUE(from.ExecSql(SchemeSaveStatement(f)));
    ASSERT_TRUE(from.ExecSql("update rule set isdo='0' where name='ids'"));

    const SchemeFileText file = ExportSchemes(from, {});
    ASSERT_TRUE(file.ok) << file.error;
    const SchemeFileRead read = ReadSchemeFile(file.text, "all.toml");
    ASSERT_TRUE(read.ok()) << read.errors.front() << "\n" << file.text;

    test::TestDatabaseFile copy;
    Database to;
    ASSERT_TRUE(to.OpenDatabase(copy.path(), false));
    const SchemeImport import = ImportSchemes(to, read.schemes);
    ASSERT_TRUE(import.ok) << import.error;
    EXPECT_EQ(import.ids.size(), forms.size());

    TextTable before = test::QueryRows(from, kStoredTexts);
    TextTable after = test::QueryRows(to, kStoredTexts);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(GbkToUtf8(before[i][1]));
        if (before[i][12] == "5") before[i][12] = "0";  // the meaning is kept, not the odd value
        EXPECT_EQ(after[i], before[i]);
    }
    // The id group of the article-id scheme, and no marker for a fresh start.
    EXPECT_EQ(test::QueryRows(to, "select uindex,arttile,lastid from rule where type='8'"),
              (TextTable{{"1", "", ""}}));
    // A pattern reads as typed: a literal string, no escapes.
    EXPECT_NE(file.text.find(R"x(pattern = '''<a href="(.*?)" title='(.*?)'>''')x"),
              std::string::npos);
    EXPECT_NE(file.text.find(R"x(pattern = '<td>(\d+)</td>\s*<a[^>]*>(.*?)\\</a>')x"),
              std::string::npos);
}

TEST(SchemeFileTest, BytesWithoutAUnicodeFormAreNotExported) {
    std::vector<SchemeSave> schemes(1);
    schemes[0].form = Form("board", "(.)(.)");
    schemes[0].form.id = "12";
    schemes[0].form.regular = "(.)\x81 (.)";
    const SchemeFileText file = WriteSchemeFile(schemes);
    EXPECT_FALSE(file.ok);
    EXPECT_EQ(file.error,
              "scheme 12 (board): pattern: the bytes 81 20 at byte 4 have no Unicode form, and a "
              "UTF-8 file cannot carry them");
}

// The fields beyond the rule row travel with their scheme, through the editor's
// save, export and import; a scheme without them is written without their keys.
TEST(SchemeFileTest, KeywordsAndCleanTitlesComeBack) {
    std::vector<SchemeForm> forms(3, Form("plain", "(.)(.)"));
    forms[1].fields.include = Gbk("相机\n/二手.*镜头/\nit's");
    forms[1].fields.exclude = Gbk("ＰＳ５");
    forms[2].fields.cleanTitles = true;
    forms[2].fields.fetch = FetchMode::kBrowser;
    test::TestDatabaseFile original;
    Database from;
    ASSERT_TRUE(from.OpenDatabase(original.path(), false));
    for (const SchemeForm& f : forms) ASSERT_TRUE(ExecuteFormSave(from, f).ok);

    const SchemeFileText file = ExportSchemes(from, {});
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_NE(file.text.find("include = ['相机', '/二手.*镜头/', '''it's''']\n"), std::string::npos)
        << file.text;
    const auto count = [&](const std::string& key) {
        std::size_t n = 0;
        for (auto at = file.text.find(key); at != std::string::npos;
             at = file.text.find(key, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("\ninclude = "), 1u);
    EXPECT_EQ(count("\nexclude = ['ＰＳ５']\n"), 1u);
    EXPECT_EQ(count("\nclean_titles = true\n"), 1u);
    // The fetch only where it is not the default.
    EXPECT_EQ(count("\nfetch = 'browser'\n"), 1u);
    EXPECT_EQ(count("\nfetch = "), 1u);

    const SchemeFileRead read = ReadSchemeFile(file.text, "all.toml");
    ASSERT_TRUE(read.ok()) << read.errors.front();
    test::TestDatabaseFile copy;
    Database to;
    ASSERT_TRUE(to.OpenDatabase(copy.path(), false));
    const SchemeImport import = ImportSchemes(to, read.schemes);
    ASSERT_TRUE(import.ok) << import.error;
    ASSERT_EQ(import.ids.size(), forms.size());
    for (std::size_t i = 0; i < forms.size(); ++i) {
        SchemeFields fields;
        ASSERT_TRUE(ReadSchemeFields(to, import.ids[i], fields));
        EXPECT_EQ(fields, forms[i].fields) << i;
    }
}

const char* const kGood = R"x([[scheme]]
name = "board"
url = "https://bbs.example/forum"
encoding = "gbk"
before = '<ul>'
after = '</ul>'
pattern = '<a href="(.*?)">(.*?)</a>'
link = "https://bbs.example/[1]"
title_group = 2
)x";

TEST(SchemeFileTest, ReadsWithTheEditorsDefaults) {
    // CJK text in comments and multi-line strings is no stray character.
    const std::string text =
        std::string("# 灌水区。\n") + kGood +
        "mode = 'newest-first' # 时间倒序。\ncookie = \"\"\"a=\"中\"。\"\"\"\"\n";
    const SchemeFileRead read = ReadSchemeFile(text, "f.toml");
    ASSERT_TRUE(read.ok()) << read.errors.front();
    ASSERT_EQ(read.schemes.size(), 1u);
    const SchemeSave& s = read.schemes[0].save;
    EXPECT_EQ(read.schemes[0].line, 2);
    EXPECT_TRUE(s.ticked);
    EXPECT_EQ(s.form.id, "0");
    EXPECT_EQ(s.form.code, "1");
    EXPECT_EQ(s.form.type, "0");
    EXPECT_EQ(s.form.tindex, "2");
    EXPECT_EQ(s.form.oindex, "0");
    EXPECT_EQ(s.form.uindex, "0");
    EXPECT_EQ(s.form.cookie, Gbk("a=\"中\"。\""));
    EXPECT_EQ(s.form.ua, kDefaultUserAgent);
}

TEST(SchemeFileTest, CjkTextInsideEveryKindOfStringIsRead) {
    struct Case {
        const char* value;  // as written after "cookie = "
        const char* text;   // what is stored, in UTF-8
    };
    const Case cases[] = {
        {R"x("a\"。" # 注释。)x", "a\"。"},
        {R"x('C:\路径。')x", "C:\\路径。"},
        {R"x("""a""。""")x", "a\"\"。"},
        {"\"\"\"x\\\n   中\"\"\"", "x中"},
        {R"x('''it's 中文''')x", "it's 中文"},
        {R"x("\u3002")x", "。"},
        // Characters the TOML parser cannot classify on its own reach it as stand-ins.
        {R"x("é「α」Ж。")x", "é「α」Ж。"},
        {"\"\"\"x\\\n   é\"\"\"", "xé"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const SchemeFileRead read =
            ReadSchemeFile(std::string(kGood) + "cookie = " + c.value + "\n", "f.toml");
        ASSERT_TRUE(read.ok()) << read.errors.front();
        EXPECT_EQ(read.schemes.at(0).save.form.cookie, Gbk(c.text));
    }
}

TEST(SchemeFileTest, EachFaultIsNamedWithItsLineAndKey) {
    struct Case {
        const char* change;  // appended to the good scheme, or a whole file when it starts with '!'
        const char* error;
    };
    const Case cases[] = {
        {"mode = 'newest-first\n", "f.toml:10: not valid TOML: "},
        {"tittle_group = 2\n", "f.toml:10: tittle_group: unknown key"},
        {"title_group = 3\n", "f.toml:10: not valid TOML: "},  // defined twice
        {"other_group = '1'\n", "f.toml:10: other_group: expected a whole number"},
        {"ticked = 1\n", "f.toml:10: ticked: expected true or false"},
        {"other_group = 3\n",
         "f.toml:10: other_group: group 3 does not exist; the pattern has 2 groups (0 is the "
         "whole match)"},
        {"id_group = 1\n", "f.toml:10: id_group: only with mode = \"article-id\""},
        {"mode = 'article-id'\n", "f.toml:1: id_group: required with mode = \"article-id\""},
        {"mode = 'sideways'\n",
         "f.toml:10: mode: must be \"newest-first\", \"oldest-first\" or \"article-id\""},
        {"cookie = \"a\\u0000b\"\n",
         "f.toml:10: cookie: the character U+0000 cannot be stored in GBK"},
        {"user_agent = 'Bot 😀'\n",
         "f.toml:10: user_agent: the character U+1F600 '😀' cannot be stored in GBK"},
        {"[other]\n", "f.toml:10: other: unknown key (each scheme is a [[scheme]] table)"},
        {"other_group = 1。\n",
         "f.toml:10: the character U+3002 '。' stands outside any string (a text goes between "
         "quotes)"},
        {"![scheme]\nname = 'x'\n", "f.toml:1: scheme: write each scheme as a [[scheme]] table"},
        {"!# nothing\n", "f.toml:1: no [[scheme]] table"},
        {"!name = 'x'\n", "f.toml:1: name: unknown key (each scheme is a [[scheme]] table)"},
        {"!\xff", "f.toml:1: not valid TOML: "},
        // A broken UTF-8 sequence after a backslash in a string is the parser's to report.
        {"cookie = \"a\\\xef\xbb>\"\n", "f.toml:10: not valid TOML: "},
        {"other_group = 0'x=\"é\"\n", "f.toml:10: not valid TOML: "},
        {"cookie = '\xe0\x83\xa9'\n", "f.toml:10: not valid TOML: "},  // é, overlong
        {"cookie = '\xf3\xb0\x83\xa9'\n",
         "f.toml:10: the private-use character U+F00E9 cannot be read from a scheme file"},
        {"cookie = \"\\U000F00E9\"\n",
         "f.toml:10: the private-use character \\U000F… cannot be read from a scheme file"},
        {"include = '相机'\n", "f.toml:10: include: expected an array of strings"},
        {"exclude = ['a',\n  2]\n", "f.toml:11: exclude: expected an array of strings"},
        {"include = ['a',\n  '']\n", "f.toml:11: include: an empty keyword"},
        {"include = [\"a\\nb\"]\n",
         "f.toml:10: include: a keyword cannot hold a line break: \"a?b\""},
        {"exclude = [\"a\\r\"]\n", "f.toml:10: exclude: a keyword cannot hold a line break"},
        {"include = ['😀']\n",
         "f.toml:10: include: the character U+1F600 '😀' cannot be stored in GBK"},
        {"clean_titles = 'yes'\n", "f.toml:10: clean_titles: expected true or false"},
        {"fetch = 'chrome'\n", "f.toml:10: fetch: must be \"http\" or \"browser\""},
        {"fetch = true\n", "f.toml:10: fetch: expected a string"},
        // The keyword checks' own message follows, naming the keyword.
        {"exclude = ['x',\n  '/二手(.*镜头/']\n", "f.toml:11: exclude: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        const std::string file =
            c.change[0] == '!' ? std::string(c.change + 1) : std::string(kGood) + c.change;
        const SchemeFileRead read = ReadSchemeFile(file, "f.toml");
        ASSERT_FALSE(read.ok());
        EXPECT_TRUE(read.schemes.empty());
        EXPECT_EQ(read.errors.front().substr(0, std::string(c.error).size()), c.error);
    }
}

// The parser's and Boost's messages are shown whole, and the part of the pattern
// Boost quotes (GBK by then) as the file has it.
TEST(SchemeFileTest, LibraryMessagesAreShownWhole) {
    const struct {
        std::string from, to;
        std::string start;  // what the message starts with
        std::string quoted;
    } cases[] = {
        {"'<a href=\"(.*?)\">(.*?)</a>'", "'<a href=\"(.*?\">(.*?)</a>'",
         "f.toml:7: pattern: does not compile: ", ">>>HERE>>>"},
        {"'<a href=\"(.*?)\">(.*?)</a>'", "'<b>标题(x'",
         "f.toml:7: pattern: does not compile: ", "标题(x>>>HERE>>>"},
        {"title_group = 2", "title_group = 2 2", "f.toml:9: not valid TOML: ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        std::string file = kGood;
        file.replace(file.find(c.from), c.from.size(), c.to);
        const SchemeFileRead read = ReadSchemeFile(file, "f.toml");
        ASSERT_FALSE(read.ok());
        const std::string& error = read.errors.front();
        EXPECT_EQ(error.substr(0, c.start.size()), c.start);
        EXPECT_NE(error.find(c.quoted), std::string::npos) << error;
        EXPECT_FALSE(error.ends_with("…")) << error;
        EXPECT_TRUE(error.ends_with(".") || error.ends_with("'")) << error;
    }
}

TEST(SchemeFileTest, ValuesAreCheckedAsTheEngineReadsThem) {
    struct Case {
        const char* from;
        const char* to;
        const char* error;
    };
    const Case cases[] = {
        {"https://bbs.example/forum", "ftp://bbs.example/",
         "f.toml:3: url: must be an http:// or https:// address with a host"},
        {"https://bbs.example/forum", "https:///forum",
         "f.toml:3: url: must be an http:// or https:// address with a host"},
        {"https://bbs.example/forum", "HTTP://lanqi.example/x", "f.toml:3: url: 此站不允许监控!"},
        {"encoding = \"gbk\"", "encoding = \"big5\"",
         "f.toml:4: encoding: must be \"gbk\" or \"utf-8\""},
        {"'<a href=\"(.*?)\">(.*?)</a>'", "'<a href=\"(.*?\">(.*?)</a>'",
         "f.toml:7: pattern: does not compile: "},
        {"title_group = 2", "title_group = -1",
         "f.toml:9: title_group: group -1 does not exist; the pattern has 2 groups"},
        {"[1]", "[1]/[3]",
         "f.toml:8: link: [3] names group 3, which does not exist; the pattern has 2 groups"},
        {"name = \"board\"", "", "f.toml:1: name: required key missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        std::string file = kGood;
        file.replace(file.find(c.from), std::string(c.from).size(), c.to);
        const SchemeFileRead read = ReadSchemeFile(file, "f.toml");
        ASSERT_FALSE(read.ok());
        EXPECT_EQ(read.errors.front().substr(0, std::string(c.error).size()), c.error);
    }
    // Every fault of every scheme at once, in line order, and no scheme at all.
    const std::string two = std::string(kGood) + "other_group = 9\n\n" + kGood + "mode = 'x'\n";
    const SchemeFileRead read = ReadSchemeFile(two, "f.toml");
    ASSERT_EQ(read.errors.size(), 2u);
    EXPECT_EQ(read.errors[0].substr(0, 22), "f.toml:10: other_group");
    EXPECT_EQ(read.errors[1].substr(0, 15), "f.toml:21: mode");
    EXPECT_TRUE(read.schemes.empty());
}

// An unknown key or a wrong type does not hide the table's other errors: one
// reading names them all, and a key that is missing or of the wrong type is named
// once, not again by the checks of its value.
TEST(SchemeFileTest, OneReadingNamesEveryErrorOfATable) {
    std::string typo = kGood;
    typo.replace(typo.find("title_group = 2"), 15, "title_group = 3");
    typo += "tittle_group = 2\n";
    EXPECT_EQ(ReadSchemeFile(typo, "boards.toml").errors,
              (std::vector<std::string>{"boards.toml:9: title_group: group 3 does not exist; the "
                                        "pattern has 2 groups (0 is the whole match)",
                                        "boards.toml:10: tittle_group: unknown key"}));

    const std::string wrong = R"x([[scheme]]
name = "board"
encoding = 8
before = '<ul>'
after = '</ul>'
pattern = 3
link = "https://bbs.example/[7]"
title_group = 9
mode = 1
id_group = 1
colour = 'red'
)x";
    EXPECT_EQ(ReadSchemeFile(wrong, "f.toml").errors, (std::vector<std::string>{
                                                          "f.toml:1: url: required key missing",
                                                          "f.toml:3: encoding: expected a string",
                                                          "f.toml:6: pattern: expected a string",
                                                          "f.toml:9: mode: expected a string",
                                                          "f.toml:11: colour: unknown key",
                                                      }));
}

TEST(SchemeFileTest, ImportIsAllOrNothing) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    ASSERT_TRUE(
        db.ExecSql("create trigger refuse before insert on rule when new.name='refused' "
                   "begin select raise(abort, 'refused'); end"));
    std::string text = std::string(kGood) + "\n" + kGood;
    text.replace(text.rfind("board"), 5, "refused");
    const SchemeFileRead read = ReadSchemeFile(text, "f.toml");
    ASSERT_TRUE(read.ok());
    const SchemeImport import = ImportSchemes(db, read.schemes);
    EXPECT_FALSE(import.ok);
    EXPECT_TRUE(import.ids.empty());
    EXPECT_EQ(test::QueryRows(db, "select count(*) from rule"), (TextTable{{"0"}}));
    // The connection is usable afterwards: the transaction was ended.
    EXPECT_TRUE(ImportSchemes(db, {read.schemes[0]}).ok);
    EXPECT_EQ(test::QueryRows(db, "select name,isdo from rule"), (TextTable{{"board", "1"}}));
}

}  // namespace
}  // namespace vela
