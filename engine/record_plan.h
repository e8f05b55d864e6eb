#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "keyword_filter.h"
#include "page_regex.h"
#include "scheme.h"

// What a monitoring run of one scheme does with the page: which markers cut the
// region, which matches are new articles, and the statements that record them.
// Plain functions of their inputs, so every decision is tested without widgets.

namespace vela {

// Where the scheme's last article stands among the matches of its region, in
// NewestFirst and OldestFirst: the first match whose title is the stored marker,
// whole and byte for byte (the title as the page has it, or its readable text
// when the scheme cleans titles: as the marker is stored), preferring one whose
// link is also the stored link, since titles may
// repeat. kNoMarker when the marker is empty or no title equals it, and always in
// CompareArticleId, whose marker is the article id. The marker is never searched
// as a part of the page: a newer title that contains it must not hide what follows.
inline constexpr std::size_t kNoMarker = static_cast<std::size_t>(-1);
std::size_t FindMarkerMatch(const Scheme& scheme, const std::string& region,
                            const std::vector<MatchRecord>& matches);

// The matches of the region that a monitoring run judges. In NewestFirst the
// search ends at the match that holds the last article: nothing below it is new.
std::vector<MatchRecord> FindJudgedMatches(const Scheme& scheme, const PageRegex& regex,
                                           const std::string& region);

// The page with every CR LF pair removed (lone CR and LF stay).
std::string RemoveCrLf(std::string page);

// One new article, its title and other value already made safe by SqlClean. The
// texts are views: into the plan the article belongs to, or into whatever a
// caller that builds an article itself keeps alive.
struct ArticleInsert {
    std::string_view title;
    std::string_view link;
    std::string_view other;
    // The title as the page has it (its readable text when the scheme cleans
    // titles): the last-article marker once stored.
    std::string_view marker;
    ArticleId id;  // the article id (CompareArticleId)
    // An article without a title in NewestFirst or OldestFirst: it can never be
    // the marker, so it is stored only when no untitled article of the scheme
    // with the same link is stored yet, and stored at most once however often
    // the page shows it above the marker.
    bool untitled = false;
};

struct RecordPlan {
    RecordPlan() = default;
    // The articles' texts live in `texts`: a copy's views would point into the
    // original, so a plan only moves (which keeps the buffer where it is).
    RecordPlan(const RecordPlan&) = delete;
    RecordPlan& operator=(const RecordPlan&) = delete;
    RecordPlan(RecordPlan&&) = default;
    RecordPlan& operator=(RecordPlan&&) = default;

    // The new articles in the order they are stored, oldest first, so that the
    // marker can move with each one: from the match above the marker up to the
    // page's first (NewestFirst), from the match below the marker down in page
    // order (OldestFirst), ascending id, each id once (CompareArticleId). Without
    // the marker among the matches, every match is new.
    std::vector<ArticleInsert> inserts;
    // The scheme's row is updated after the inserts: there is a new article, the
    // keywords dropped one, or in CompareArticleId there is at least one match.
    bool update = false;
    // The newest title that is not empty: from the page's first match down, or
    // from its last match up in OldestFirst. The scheme's marker when every title
    // is empty.
    std::string lastMarker;
    // In NewestFirst and OldestFirst the link of the article whose title is
    // lastMarker; in CompareArticleId the link of the new article stored last.
    std::string lastLink;
    ArticleId highestId;
    bool newArticlesFound = false;
    // New matches the scheme's keywords dropped: not among the inserts, but the
    // marker moves past them all the same.
    int dropped = 0;
    // Every text of the inserts, one after the other in one allocation.
    std::unique_ptr<char[]> texts;
};

// The plan of a run. A new match whose title (as it is recorded) the keywords
// drop is not stored but seen: it counts in `dropped`, and the update moves the
// marker or the highest id past it. Keywords with a problem plan nothing at all.
// Without `keywords`, the scheme's own are compiled.
RecordPlan PlanRecords(const Scheme& scheme, const std::string& region,
                       const std::vector<MatchRecord>& matches);
RecordPlan PlanRecords(const Scheme& scheme, const std::string& region,
                       const std::vector<MatchRecord>& matches, const KeywordFilter& keywords);

// The title of `match` as a run of `scheme` records it and the database then
// holds it, for showing a match: its readable text when the scheme cleans titles,
// with the stored form's full-width "；", "（" and "）" (SqlClean) and no CR LF.
std::string RecordedTitle(const Scheme& scheme, const MatchRecord& match,
                          const std::string& region);

// The title of `match` as the keywords judge it and the marker holds it: the
// page's text, or its readable text when the scheme cleans titles. `scratch`
// keeps a cleaned title.
std::string_view MarkerTitle(const Scheme& scheme, const MatchRecord& match,
                             const std::string& region, std::string& scratch);

// The link template with each placeholder [n] replaced by group n of the match.
std::string ComposeLink(const std::string& linkTemplate, const MatchRecord& match,
                        const std::string& region);

// The statements of a run; `now` is the time text. Every text value stays inside
// its literal: the title and the other value were cleaned, the rest have their
// apostrophes doubled so that they are stored byte for byte.
std::string InsertStatement(const Scheme& scheme, const ArticleInsert& article,
                            const std::string& now);
std::string UpdateStatement(const Scheme& scheme, const RecordPlan& plan, const std::string& now);
// Moves the scheme's marker to `article` once it is stored: its title and link,
// or its id in CompareArticleId. Runs in the same transaction as the article's
// insert. Empty for an untitled article, which leaves the marker where it is.
std::string MarkerStatement(const Scheme& scheme, const ArticleInsert& article);

}  // namespace vela
