#include "record_plan.h"

#include <algorithm>

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
    std::string link = linkTemplate;
    for (const std::string& item : items) {
        std::string key = "[" + item + "]";
        link = GbkReplaceAll(link, key, SubMatchText(match, region, LeadingInteger(item)));
    }
    return link;
}

RecordPlan PlanRecords(const Scheme& scheme, const std::string& region,
                       const std::vector<MatchRecord>& matches) {
    RecordPlan plan;
    plan.highestId = scheme.lastId;
    if (matches.empty()) return plan;
    const JudgeMode mode = ToJudgeMode(scheme.type);
    const bool compareIds = mode == JudgeMode::CompareArticleId;
    plan.newArticlesFound = !compareIds;
    const auto add = [&](const MatchRecord& match) {
        ArticleInsert article;
        if (compareIds) {
            article.id = LeadingInteger64(SubMatchText(match, region, scheme.idGroup));
            if (article.id <= scheme.lastId) return;
            if (article.id > plan.highestId) plan.highestId = article.id;
            plan.newArticlesFound = true;
        }
        article.marker = SubMatchText(match, region, scheme.titleGroup);
        article.title = article.marker;
        SqlClean(article.title);
        article.link = ComposeLink(scheme.linkTemplate, match, region);
        article.other = SubMatchText(match, region, scheme.otherGroup);
        SqlClean(article.other);
        plan.inserts.push_back(std::move(article));
    };
    if (mode == JudgeMode::OldestFirst) {
        for (const MatchRecord& match : matches) add(match);
        plan.lastMarker = SubMatchText(matches.back(), region, scheme.titleGroup);
    } else {
        for (auto match = matches.rbegin(); match != matches.rend(); ++match) add(*match);
        plan.lastMarker = SubMatchText(matches.front(), region, scheme.titleGroup);
    }
    if (compareIds) {
        std::stable_sort(
            plan.inserts.begin(), plan.inserts.end(),
            [](const ArticleInsert& a, const ArticleInsert& b) { return a.id < b.id; });
    }
    if (!plan.inserts.empty()) plan.lastLink = plan.inserts.back().link;
    plan.update = true;
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

std::string MarkerStatement(const Scheme& scheme, const ArticleInsert& article) {
    if (ToJudgeMode(scheme.type) == JudgeMode::CompareArticleId) {
        return "update rule set lastid=" + std::to_string(article.id) + " where id=" + scheme.id;
    }
    return "update rule set arttile='" + SqlQuote(article.marker) + "' where id=" + scheme.id;
}

}  // namespace vela
