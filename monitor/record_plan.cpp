#include "record_plan.h"

#include <unordered_set>

#include "fetch/gbk_search.h"
#include "fetch/text_between.h"
#include "leading_integer.h"
#include "store/sql_clean.h"

namespace vela {

RegionMarkers ChooseMarkers(const Scheme& scheme, const std::string& page) {
    RegionMarkers markers{scheme.before, scheme.after, false};
    JudgeMode mode = ToJudgeMode(scheme.type);
    if (mode == JudgeMode::CompareArticleId) return markers;
    if (scheme.lastMarker.empty() || !GbkContains(page, scheme.lastMarker)) {
        markers.markerMissing = true;
    } else if (mode == JudgeMode::OldestFirst) {
        markers.begin = scheme.lastMarker;
    } else {
        markers.end = scheme.lastMarker;
    }
    return markers;
}

std::string RemoveCrLf(std::string page) {
    size_t out = 0;
    for (size_t i = 0; i < page.size(); ++i) {
        if (page[i] == '\r' && i + 1 < page.size() && page[i + 1] == '\n') {
            ++i;
            continue;
        }
        page[out++] = page[i];
    }
    page.resize(out);
    return page;
}

std::string ComposeLink(const std::string& linkTemplate, const MatchRecord& match,
                        const std::string& region) {
    std::vector<std::string> items;
    TextsBetween(linkTemplate, "[", "]", items);
    // The link is made of pieces of the template and group texts, and each key is
    // looked for in the template's pieces only. A group text is page text: were
    // its placeholders replaced too, a page could make the link double with each
    // repeated key of the template, until memory runs out.
    struct Piece {
        std::string text;
        bool fromTemplate;
    };
    std::vector<Piece> pieces{{linkTemplate, true}};
    std::unordered_set<std::string> replaced;
    for (const std::string& item : items) {
        // A key replaced once is gone from the template's pieces.
        if (!replaced.insert(item).second) continue;
        const std::string key = "[" + item + "]";
        const std::string value = SubMatchText(match, region, LeadingInteger(item));
        std::vector<Piece> next;
        for (Piece& piece : pieces) {
            if (!piece.fromTemplate) {
                next.push_back(std::move(piece));
                continue;
            }
            GbkScanner scanner(piece.text, key);
            std::size_t pos = 0;
            for (std::size_t hit; (hit = scanner.FindFrom(pos)) != kNotFound;
                 pos = hit + key.size()) {
                next.push_back({piece.text.substr(pos, hit - pos), true});
                next.push_back({value, false});
            }
            next.push_back({piece.text.substr(pos), true});
        }
        pieces = std::move(next);
    }
    std::string link;
    for (const Piece& piece : pieces) link += piece.text;
    return link;
}

RecordPlan PlanRecords(const Scheme& scheme, const std::string& region,
                       const std::vector<MatchRecord>& matches) {
    RecordPlan plan;
    plan.highestId = scheme.lastId;
    if (matches.empty()) return plan;
    const bool compareIds = ToJudgeMode(scheme.type) == JudgeMode::CompareArticleId;
    plan.newArticlesFound = !compareIds;
    for (auto match = matches.rbegin(); match != matches.rend(); ++match) {
        if (compareIds) {
            int64_t id = LeadingInteger64(SubMatchText(*match, region, scheme.idGroup));
            if (id <= scheme.lastId) continue;
            if (id > plan.highestId) plan.highestId = id;
            plan.newArticlesFound = true;
        }
        ArticleInsert article;
        article.title = SubMatchText(*match, region, scheme.titleGroup);
        SqlClean(article.title);
        article.link = ComposeLink(scheme.linkTemplate, *match, region);
        article.other = SubMatchText(*match, region, scheme.otherGroup);
        SqlClean(article.other);
        plan.lastLink = article.link;
        plan.inserts.push_back(std::move(article));
    }
    plan.update = true;
    plan.lastMarker = SubMatchText(matches.front(), region, scheme.titleGroup);
    return plan;
}

std::string InsertStatement(const Scheme& scheme, const ArticleInsert& article,
                            const std::string& now) {
    return "insert into info(planname,planid,title,url,other,addtime,issoucang) values('" +
           SqlQuote(scheme.name) + "'," + scheme.id + ",'" + article.title + "','" +
           SqlQuote(article.link) + "','" + article.other + "','" + now + "',0)";
}

std::string UpdateStatement(const Scheme& scheme, const RecordPlan& plan, const std::string& now) {
    return "update rule set arttile='" + SqlQuote(plan.lastMarker) + "',arturl='" +
           SqlQuote(plan.lastLink) + "',lasttime='" + now +
           "',lastid=" + std::to_string(plan.highestId) + " where id=" + scheme.id;
}

}  // namespace vela
