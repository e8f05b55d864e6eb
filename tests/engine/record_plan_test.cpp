#include "engine/record_plan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "engine/leading_integer.h"
#include "fetch/gbk_search.h"
#include "fetch/text_between.h"

namespace vela {
namespace {

using Texts = std::vector<std::string>;

// A board page whose entries are <li id=N><a href="/t/N">Title N</a></li>.
std::string Board(std::initializer_list<int> ids) {
    std::string page = "<ul>";
    for (int id : ids) {
        std::string n = std::to_string(id);
        page += "<li id=" + n + "><a href=\"/t/" + n + "\">Title " + n + "</a></li>";
    }
    return page + "</ul>";
}

Scheme BoardScheme(int32_t type) {
    Scheme s;
    s.id = "7";
    s.name = "Bob's board";
    s.before = "<ul>";
    s.after = "</ul>";
    s.pattern = "<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>";
    s.linkTemplate = "http://bbs.example[2]?id=[1]";
    s.titleGroup = 3;
    s.idGroup = 1;
    s.otherGroup = 1;
    s.type = type;
    return s;
}

struct Outcome {
    std::string region;
    RecordPlan plan;
};

// The region between the scheme's own markers, matched and judged as a run does it.
Outcome Process(const Scheme& scheme, const std::string& page) {
    Outcome run;
    run.region = TextBetween(page, scheme.before, scheme.after);
    PageRegex regex;
    regex.CompilePattern(scheme.pattern, false);
    run.plan = PlanRecords(scheme, run.region, FindJudgedMatches(scheme, regex, run.region));
    return run;
}

bool MarkerMissing(const Scheme& scheme, const std::string& page) {
    const std::string region = TextBetween(page, scheme.before, scheme.after);
    PageRegex regex;
    regex.CompilePattern(scheme.pattern, false);
    return FindMarkerMatch(scheme, region, regex.FindAllMatches(region)) == kNoMarker;
}

Texts Titles(const RecordPlan& plan) {
    Texts t;
    for (const auto& a : plan.inserts) t.emplace_back(a.title);
    return t;
}

TEST(RecordPlan, NewestFirstRecordsWhatStandsAboveTheLastTitle) {
    Scheme scheme = BoardScheme(0);
    // A new scheme: no marker, every match is recorded, last match of the page first.
    EXPECT_TRUE(MarkerMissing(scheme, Board({3, 2, 1})));
    Outcome first = Process(scheme, Board({3, 2, 1}));
    EXPECT_EQ(Titles(first.plan), (Texts{"Title 1", "Title 2", "Title 3"}));
    EXPECT_EQ(first.plan.lastMarker, "Title 3");
    EXPECT_EQ(first.plan.lastLink, "http://bbs.example/t/3?id=3");
    EXPECT_TRUE(first.plan.newArticlesFound);

    scheme.lastMarker = first.plan.lastMarker;
    Outcome next = Process(scheme, Board({5, 4, 3, 2}));
    EXPECT_EQ(Titles(next.plan), (Texts{"Title 4", "Title 5"}));
    EXPECT_EQ(next.plan.lastMarker, "Title 5");

    scheme.lastMarker = "Title 5";
    Outcome none = Process(scheme, Board({5, 4}));
    EXPECT_FALSE(none.plan.update);
    EXPECT_FALSE(none.plan.newArticlesFound);
    // Unknown judgement values behave as NewestFirst.
    scheme.type = 5;
    scheme.lastMarker = "Title 4";
    EXPECT_EQ(Titles(Process(scheme, Board({5, 4})).plan), (Texts{"Title 5"}));
}

// The page lists its oldest article first: what stands below the marker is new,
// stored in page order, and the newest of it becomes the marker.
TEST(RecordPlan, OldestFirstRecordsWhatStandsBelowAndMarksTheNewest) {
    Scheme scheme = BoardScheme(2);
    scheme.lastMarker = "Title 2";
    Outcome run = Process(scheme, Board({1, 2, 3, 4}));
    EXPECT_EQ(Titles(run.plan), (Texts{"Title 3", "Title 4"}));
    EXPECT_EQ(run.plan.lastMarker, "Title 4");
    EXPECT_EQ(run.plan.lastLink, "http://bbs.example/t/4?id=4");
    EXPECT_EQ(MarkerStatement(scheme, run.plan.inserts.at(0)),
              "update rule set arttile='Title 3',arturl='http://bbs.example/t/3?id=3' where id=" +
                  scheme.id);
}

TEST(RecordPlan, CompareArticleIdKeepsOnlyGreaterIds) {
    Scheme scheme = BoardScheme(8);
    scheme.lastId = 3;
    scheme.lastMarker = "Title 9";  // never used in this mode
    EXPECT_TRUE(MarkerMissing(scheme, Board({1}))) << "no title marker in this mode";
    Outcome run = Process(scheme, Board({5, 3, 4, 2}));
    EXPECT_EQ(Titles(run.plan), (Texts{"Title 4", "Title 5"}));
    EXPECT_EQ(run.plan.highestId, 5);
    EXPECT_TRUE(run.plan.newArticlesFound);

    scheme.lastId = 5;
    Outcome old = Process(scheme, Board({5, 4}));
    EXPECT_TRUE(old.plan.inserts.empty());
    EXPECT_TRUE(old.plan.update) << "arttile and lasttime are still rewritten";
    EXPECT_FALSE(old.plan.newArticlesFound);
    EXPECT_EQ(old.plan.lastLink, "");
    EXPECT_EQ(old.plan.highestId, 5);
    EXPECT_EQ(old.plan.lastMarker, "Title 5");

    // Stored in ascending id order whatever the page's order, the marker
    // following each one.
    scheme.lastId = 3;
    Outcome bumped = Process(scheme, Board({4, 6, 2, 5}));
    EXPECT_EQ(Titles(bumped.plan), (Texts{"Title 4", "Title 5", "Title 6"}));
    EXPECT_EQ(MarkerStatement(scheme, bumped.plan.inserts.at(1)),
              "update rule set lastid=5 where id=" + scheme.id);
}

TEST(RecordPlan, ArticleIdsBeyondThirtyTwoBitsDoNotWrap) {
    Scheme scheme = BoardScheme(8);
    scheme.lastId = 3000000000LL;
    std::string page =
        "<ul><li id=3000000001><a href=\"/t/a\">A</a></li>"
        "<li id=2999999999><a href=\"/t/b\">B</a></li>"
        "<li id=x><a href=\"/t/c\">C</a></li></ul>";
    Outcome run = Process(scheme, page);
    EXPECT_EQ(Titles(run.plan), (Texts{"A"}));
    EXPECT_EQ(run.plan.highestId, 3000000001LL);
    EXPECT_NE(UpdateStatement(scheme, run.plan, "t").find("lastid=3000000001 "), std::string::npos);
}

// Ids past 2^63 - 1 are numbers like any other: two of them are two articles, and
// the stored id is their exact digits (as text, which SQLite keeps whole).
TEST(RecordPlan, ArticleIdsOfAnyLengthAreComparedExactly) {
    Scheme scheme = BoardScheme(8);
    scheme.lastId = ArticleId::Read("9223372036854775807");
    const std::string page =
        "<ul><li id=18446744073709551617><a href=\"/t/b\">B</a></li>"
        "<li id=9223372036854775808><a href=\"/t/a\">A</a></li>"
        "<li id=9223372036854775807><a href=\"/t/old\">Old</a></li>"
        "<li id=018446744073709551617><a href=\"/t/b2\">B again</a></li>"
        "<li id=99999999999999999999><a href=\"/t/c\">C</a></li></ul>";
    Outcome run = Process(scheme, page);
    EXPECT_EQ(Titles(run.plan), (Texts{"A", "B", "C"}));
    EXPECT_EQ(run.plan.highestId.Text(), "99999999999999999999");
    EXPECT_EQ(MarkerStatement(scheme, run.plan.inserts.at(0)),
              "update rule set lastid='9223372036854775808' where id=" + scheme.id);
    EXPECT_NE(UpdateStatement(scheme, run.plan, "t").find("lastid='99999999999999999999' "),
              std::string::npos);

    scheme.lastId = ArticleId::Read("99999999999999999999");
    EXPECT_TRUE(Process(scheme, page).plan.inserts.empty()) << "nothing above the stored id";
}

TEST(ComposeLink, Placeholders) {
    const std::string region = "abc";
    const MatchRecord match{{0, 3, true}, {1, 1, true}};  // group 0 "abc", group 1 "b"
    struct Case {
        const char* tmpl;
        const char* link;
    } cases[] = {
        {"x[1]y[1]", "xbyb"},
        {"[abc]", "abc"},
        {"[ 1 ]", "[ 1 ]"},
        {"[]", "[]"},
        {"plain", "plain"},
        {"[9]", ""},
        {"[1", "[1"},
        {"\xD6\xD0[1]",
         "\xD6\xD0"
         "b"},
        {"\xD6[1]", "\xD6[1]"},  // "[" is the trail byte of a character here
    };
    for (const auto& c : cases) EXPECT_EQ(ComposeLink(c.tmpl, match, region), c.link) << c.tmpl;
}

// The rule, step by step: the placeholder items of the template, each key
// replaced in turn in what is left of the template's own text.
std::string SteppingComposeLink(const std::string& linkTemplate, const MatchRecord& match,
                                const std::string& region) {
    std::vector<std::string> items;
    TextsBetween(linkTemplate, "[", "]", items);
    std::vector<std::pair<std::string, bool>> pieces{{linkTemplate, true}};
    for (const std::string& item : items) {
        const std::string key = "[" + item + "]";
        std::vector<std::pair<std::string, bool>> next;
        for (auto& [text, fromTemplate] : pieces) {
            if (!fromTemplate) {
                next.push_back({text, false});
                continue;
            }
            // The key's places, as GbkReplaceAll finds them, marked by a zero byte.
            const std::string marked = GbkReplaceAll(text, key, std::string(1, '\0'));
            std::size_t from = 0;
            for (std::size_t zero; (zero = marked.find('\0', from)) != std::string::npos;
                 from = zero + 1) {
                next.push_back({marked.substr(from, zero - from), true});
                next.push_back({SubMatchText(match, region, LeadingInteger(item)), false});
            }
            next.push_back({marked.substr(from), true});
        }
        pieces = std::move(next);
    }
    std::string link;
    for (const auto& piece : pieces) link += piece.first;
    return link;
}

TEST(ComposeLink, AgreesWithTheRuleOnRandomTemplates) {
    // Group texts with brackets, digits and lone lead bytes make keys appear and
    // vanish behind earlier replacements.
    const std::string pieces[] = {"[", "]", "1", "2", "0", "x", " ", "[1]", "[2]", "\x81", "\xB0]"};
    std::mt19937 random(77);
    for (int round = 0; round < 5000; ++round) {
        const auto text = [&](std::size_t most) {
            std::string s;
            for (std::size_t k = random() % (most + 1); k > 0; --k) {
                s += pieces[random() % std::size(pieces)];
            }
            return s;
        };
        const std::string linkTemplate = text(8);
        const std::string region = text(12);
        MatchRecord match(1 + random() % 3);
        for (SubMatch& group : match) {
            group.matched = random() % 4 != 0;
            group.start = static_cast<int32_t>(random() % (region.size() + 1));
            group.length = static_cast<int32_t>(random() % 6);
        }
        ASSERT_EQ(ComposeLink(linkTemplate, match, region),
                  SteppingComposeLink(linkTemplate, match, region))
            << "template " << ::testing::PrintToString(linkTemplate) << " region "
            << ::testing::PrintToString(region);
    }
}

// Placeholders in the page text are part of the group text, not of the template:
// they stay as they are, and a repeated key cannot make the link grow with it.
TEST(ComposeLink, PlaceholdersInThePageStayText) {
    const std::string region = "[1][1]";
    const MatchRecord match{{0, 6, true}, {0, 6, true}};
    EXPECT_EQ(ComposeLink("x[1]y[1]", match, region), "x[1][1]y[1][1]");
    std::string manyKeys;
    for (int i = 0; i < 12; ++i) manyKeys += "[1]";
    EXPECT_EQ(ComposeLink(manyKeys, match, region).size(), 12 * region.size());
}

TEST(Statements, HostilePageTextStaysInsideItsLiterals) {
    Scheme scheme = BoardScheme(0);
    scheme.name = "it's";
    ArticleInsert article{"t''x", "http://a/'; drop table info; --", "o", "t'x", 0};
    EXPECT_EQ(InsertStatement(scheme, article, "2016-9-9 8:5 7"),
              "insert into info(planname,planid,title,url,other,addtime,issoucang) values('it''s',"
              "7,'t''x','http://a/''; drop table info; --','o','2016-9-9 8:5 7',0)");
    EXPECT_EQ(
        MarkerStatement(scheme, article),
        "update rule set arttile='t''x',arturl='http://a/''; drop table info; --' where id=7");
    article.untitled = true;
    EXPECT_EQ(InsertStatement(scheme, article, "now"),
              "insert into info(planname,planid,title,url,other,addtime,issoucang) select 'it''s',"
              "7,'','http://a/''; drop table info; --','o','now',0 where not exists (select 1 from "
              "info where planid=7 and title='' and url='http://a/''; drop table info; --')");
    EXPECT_EQ(MarkerStatement(scheme, article), "") << "an untitled article is never the marker";
    RecordPlan plan;
    plan.lastMarker = "A'B;(C)";
    plan.lastLink = "l'";
    plan.highestId = 12;
    EXPECT_EQ(
        UpdateStatement(scheme, plan, "now"),
        "update rule set arttile='A''B;(C)',arturl='l''',lasttime='now',lastid=12 where id=7");
}

TEST(RecordPlan, TitlesAreCleanedButTheMarkerIsNot) {
    Scheme scheme = BoardScheme(0);
    scheme.pattern = "<b>(.*?)</b>";
    scheme.titleGroup = 1;
    scheme.otherGroup = 1;
    scheme.before = "";
    scheme.after = "$";
    Outcome run = Process(scheme, "<b>it's (new);</b>$");
    ASSERT_EQ(run.plan.inserts.size(), 1u);
    EXPECT_EQ(run.plan.inserts[0].title, "it''s \xA3\xA8new\xA3\xA9\xA3\xBB");
    EXPECT_EQ(run.plan.lastMarker, "it's (new);");
}

// The articles' texts belong to the plan: they outlive the region and the
// matches, and stay where they are when the plan moves.
TEST(RecordPlan, TextsStayWithThePlanWhenItMoves) {
    Scheme scheme = BoardScheme(0);
    scheme.otherGroup = 0;
    auto region =
        std::make_unique<std::string>("<li id=1><a href=\"/t/1\">it's (1)</a>" +
                                      std::string(40, ' ') + "<li id=2><a href=\"/t/2\">B</a>");
    PageRegex regex;
    regex.CompilePattern(scheme.pattern, false);
    RecordPlan planned = PlanRecords(scheme, *region, regex.FindAllMatches(*region));
    region->assign(region->size(), 'x');
    region.reset();
    const RecordPlan plan = std::move(planned);
    ASSERT_EQ(plan.inserts.size(), 2u);
    EXPECT_EQ(plan.inserts[0].marker, "B");
    EXPECT_EQ(plan.inserts[0].title, "B");
    EXPECT_EQ(plan.inserts[0].link, "http://bbs.example/t/2?id=2");
    EXPECT_EQ(plan.inserts[0].other, "<li id=2><a href=\"/t/2\">B</a>");
    EXPECT_EQ(plan.inserts[1].marker, "it's (1)");
    EXPECT_EQ(plan.inserts[1].title,
              "it''s \xA3\xA8"
              "1\xA3\xA9");
    EXPECT_EQ(plan.inserts[1].other,
              "<li id=1><a href=\"/t/1\">it''s \xA3\xA8"
              "1\xA3\xA9</a>");
    EXPECT_EQ(plan.lastLink, "http://bbs.example/t/1?id=1");
}

// A new match the keywords drop is seen but not stored: the update still moves
// the marker (or the highest id) past it. Keywords that cannot be used plan nothing.
TEST(RecordPlan, KeywordsDropNewMatchesButTheMarkerMovesPastThem) {
    struct Case {
        int32_t type;
        const char* include;
        const char* page;  // ids of Board(), in page order
        Texts stored;
        int dropped;
    } cases[] = {
        {0, "/title [35]/", "5 4 3 2", {"Title 3", "Title 5"}, 1},
        {0, "nothing", "5 4 3 2", {}, 3},
        {2, "/title [35]/", "1 2 3 4 5", {"Title 3", "Title 5"}, 1},
        {8, "Title 4", "5 3 4 2 4", {"Title 4"}, 2},
        {8, "nothing", "5 3 4 2", {}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.include);
        Scheme scheme = BoardScheme(c.type);
        scheme.lastMarker = "Title 2";
        scheme.lastId = 2;
        scheme.fields.include = c.include;
        std::string page = "<ul>";
        for (std::size_t at = 0; at < std::strlen(c.page); at += 2) {
            const std::string n(1, c.page[at]);
            page += "<li id=" + n + "><a href=\"/t/" + n + "\">Title " + n + "</a></li>";
        }
        const Outcome run = Process(scheme, page + "</ul>");
        EXPECT_EQ(Titles(run.plan), c.stored);
        EXPECT_EQ(run.plan.dropped, c.dropped);
        EXPECT_TRUE(run.plan.update);
        EXPECT_EQ(run.plan.newArticlesFound, !c.stored.empty());
        EXPECT_EQ(run.plan.lastMarker, "Title 5");
        EXPECT_EQ(run.plan.highestId, c.type == 8 ? 5 : 2);

        scheme.fields.exclude = "/(/";
        const Outcome refused = Process(scheme, page + "</ul>");
        EXPECT_FALSE(refused.plan.update);
        EXPECT_TRUE(refused.plan.inserts.empty());
    }
}

// With clean titles the title, the other value and the marker are the readable
// text, and the stored marker is found again among the matches.
TEST(RecordPlan, CleanTitlesAreRecordedAndMatchedAsRead) {
    Scheme scheme = BoardScheme(0);
    scheme.pattern = "<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>";
    scheme.otherGroup = 3;
    scheme.fields.cleanTitles = true;
    const auto entry = [](int id, const std::string& title) {
        const std::string n = std::to_string(id);
        return "<li id=" + n + "><a href=\"/t/" + n + "\">" + title + "</a>";
    };
    const std::string hot = "<font color=red>Hot</font> it's  (A&amp;B)&nbsp;";
    std::string page = "<ul>" + entry(2, hot) + entry(1, "<b>Old</b>") + "</ul>";
    Outcome first = Process(scheme, page);
    ASSERT_EQ(first.plan.inserts.size(), 2u);
    EXPECT_EQ(first.plan.inserts[1].marker, "Hot it's (A&B)");
    EXPECT_EQ(first.plan.inserts[1].title,
              "Hot it''s \xA3\xA8"
              "A&B\xA3\xA9");
    EXPECT_EQ(first.plan.inserts[1].other, first.plan.inserts[1].title);
    EXPECT_EQ(first.plan.inserts[0].marker, "Old");
    EXPECT_EQ(first.plan.lastMarker, "Hot it's (A&B)");
    const std::string region = TextBetween(page, scheme.before, scheme.after);
    PageRegex regex;
    regex.CompilePattern(scheme.pattern, false);
    EXPECT_EQ(RecordedTitle(scheme, regex.FindAllMatches(region).at(0), region),
              "Hot it's \xA3\xA8"
              "A&B\xA3\xA9");

    // The next run finds the marker, and stores only what stands above it.
    scheme.lastMarker = first.plan.lastMarker;
    scheme.lastLink = first.plan.lastLink;
    page = "<ul>" + entry(3, "<i>New</i>") + entry(2, hot) + entry(1, "<b>Old</b>") + "</ul>";
    EXPECT_FALSE(MarkerMissing(scheme, page));
    EXPECT_EQ(Titles(Process(scheme, page).plan), (Texts{"New"}));
    scheme.fields.cleanTitles = false;
    EXPECT_TRUE(MarkerMissing(scheme, page)) << "the page's own text is not the marker";
}

TEST(RemoveCrLf, OnlyPairs) { EXPECT_EQ(RemoveCrLf("a\r\nb\nc\rd\r\r\n"), "ab\nc\rd\r"); }

TEST(RemoveCrLf, AgreesWithBytewiseRemovalOnRandomText) {
    // Pairs are removed byte by byte, also behind a lead byte.
    const std::string pieces[] = {"\r", "\n", "\r\n", "\r\r", "a", "\x81", "\xB0\r", "xyz"};
    std::mt19937 random(31);
    for (int round = 0; round < 5000; ++round) {
        std::string page;
        for (std::size_t k = random() % 60; k > 0; --k)
            page += pieces[random() % std::size(pieces)];
        std::string expected;
        for (std::size_t i = 0; i < page.size(); ++i) {
            if (page[i] == '\r' && i + 1 < page.size() && page[i + 1] == '\n') {
                ++i;
            } else {
                expected += page[i];
            }
        }
        ASSERT_EQ(RemoveCrLf(page), expected) << ::testing::PrintToString(page);
    }
}

}  // namespace
}  // namespace vela
