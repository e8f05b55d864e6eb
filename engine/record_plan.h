#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "page_regex.h"
#include "scheme.h"

// What a monitoring run of one scheme does with the page: which markers cut the
// region, which matches are new articles, and the statements that record them.
// Plain functions of their inputs, so every decision is tested without widgets.

namespace vela {

// The markers that cut the region out of the page. Outside CompareArticleId the
// last article's title, when found in the page, ends the region (NewestFirst) or
// begins it (OldestFirst); `markerMissing` reports that it was empty or not found.
struct RegionMarkers {
    std::string begin;
    std::string end;
    bool markerMissing = false;
};
RegionMarkers ChooseMarkers(const Scheme& scheme, const std::string& page);

// The page with every CR LF pair removed (lone CR and LF stay).
std::string RemoveCrLf(std::string page);

// One new article, its title and other value already made safe by SqlClean. The
// texts are views: into the plan the article belongs to, or into whatever a
// caller that builds an article itself keeps alive.
struct ArticleInsert {
    std::string_view title;
    std::string_view link;
    std::string_view other;
    std::string_view marker;  // the title as the page has it: the last-article marker once stored
    int64_t id = 0;           // the article id (CompareArticleId)
};

struct RecordPlan {
    RecordPlan() = default;
    // The articles' texts live in `texts`: a copy's views would point into the
    // original, so a plan only moves (which keeps the buffer where it is).
    RecordPlan(const RecordPlan&) = delete;
    RecordPlan& operator=(const RecordPlan&) = delete;
    RecordPlan(RecordPlan&&) = default;
    RecordPlan& operator=(RecordPlan&&) = default;

    // In the order they run, oldest article first, so that the marker can move
    // with each one: the page's last match first (NewestFirst), the page's order
    // (OldestFirst), ascending id (CompareArticleId).
    std::vector<ArticleInsert> inserts;
    bool update = false;  // there was at least one match
    // The newest article's title: the page's first match, or its last in OldestFirst.
    std::string lastMarker;
    std::string lastLink;  // the link of the new article inserted last
    int64_t highestId = 0;
    bool newArticlesFound = false;
    // Every text of the inserts, one after the other in one allocation.
    std::unique_ptr<char[]> texts;
};

RecordPlan PlanRecords(const Scheme& scheme, const std::string& region,
                       const std::vector<MatchRecord>& matches);

// The link template with each placeholder [n] replaced by group n of the match.
std::string ComposeLink(const std::string& linkTemplate, const MatchRecord& match,
                        const std::string& region);

// The statements of a run; `now` is the time text. Every text value stays inside
// its literal: the title and the other value were cleaned, the rest have their
// apostrophes doubled so that they are stored byte for byte.
std::string InsertStatement(const Scheme& scheme, const ArticleInsert& article,
                            const std::string& now);
std::string UpdateStatement(const Scheme& scheme, const RecordPlan& plan, const std::string& now);
// Moves the scheme's marker to `article` once it is stored: its title, or its id
// in CompareArticleId. Runs in the same transaction as the article's insert.
std::string MarkerStatement(const Scheme& scheme, const ArticleInsert& article);

}  // namespace vela
