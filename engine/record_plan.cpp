#include "record_plan.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "fetch/gbk_search.h"
#include "fetch/readable_text.h"
#include "fetch/text_between.h"
#include "leading_integer.h"
#include "store/article_statements.h"
#include "store/sql_clean.h"

namespace vela {

std::string RemoveCrLf(std::string page) {
    // The runs between the pairs move forward in place, each one whole.
    char* const data = page.data();
    const std::size_t n = page.size();
    std::size_t kept = 0;  // bytes kept so far, at the front
    std::size_t run = 0;   // start of the run not yet moved
    for (std::size_t i = 0; i + 1 < n;) {
        const void* hit = std::memchr(data + i, '\r', n - 1 - i);
        if (!hit) break;
        const auto cr = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        i = cr + 1;
        if (data[i] != '\n') continue;
        if (kept != run) std::memmove(data + kept, data + run, cr - run);
        kept += cr - run;
        run = i = cr + 2;
    }
    if (kept != run) std::memmove(data + kept, data + run, n - run);
    page.resize(kept + (n - run));
    return page;
}

namespace {

// Group k of the match as SubMatchText gives it, without copying it.
std::string_view GroupView(const MatchRecord& match, const std::string& region, int k) {
    if (k < 0 || k >= static_cast<int>(match.size())) return {};
    const SubMatch& group = match[k];
    if (!group.matched || group.length < 1 || group.start < 0) return {};
    const auto start = static_cast<std::size_t>(group.start);
    if (start >= region.size()) return {};
    return std::string_view(region).substr(start, static_cast<std::size_t>(group.length));
}

// A link template taken apart once per run into its own text and the places of
// its placeholders. Each key "[item]" is replaced in the template's own text only,
// one key after the other: a group text is page text, and were its placeholders
// replaced too, a page could make the link double with each repeated key of the
// template, until memory runs out.
class LinkComposer {
public:
    explicit LinkComposer(std::string_view linkTemplate) {
        std::vector<std::string> items;
        TextsBetween(linkTemplate, "[", "]", items);
        pieces_.push_back({std::string(linkTemplate), -1});
        std::unordered_set<std::string> replaced;
        for (const std::string& item : items) {
            // A key replaced once is gone from the template's text.
            if (!replaced.insert(item).second) continue;
            const std::string key = "[" + item + "]";
            const int group = LeadingInteger(item);
            std::vector<Piece> next;
            for (Piece& piece : pieces_) {
                if (piece.group >= 0) {
                    next.push_back(std::move(piece));
                    continue;
                }
                // The occurrences GbkReplaceAll replaces: left to right, no overlaps.
                GbkScanner scanner(piece.text, key);
                std::size_t pos = 0;
                for (std::size_t hit; (hit = scanner.FindFrom(pos)) != kNotFound;
                     pos = hit + key.size()) {
                    next.push_back({piece.text.substr(pos, hit - pos), -1});
                    next.push_back({{}, group});
                }
                next.push_back({piece.text.substr(pos), -1});
            }
            pieces_ = std::move(next);
        }
    }

    // The length of the link Compose gives.
    std::size_t Length(const MatchRecord& match, const std::string& region) const {
        std::size_t length = 0;
        for (const Piece& piece : pieces_) {
            length +=
                piece.group >= 0 ? GroupView(match, region, piece.group).size() : piece.text.size();
        }
        return length;
    }

    // Writes the link to `out`, which has room for Length() bytes; returns its length.
    std::size_t ComposeTo(const MatchRecord& match, const std::string& region, char* out) const {
        char* w = out;
        for (const Piece& piece : pieces_) {
            const std::string_view text =
                piece.group >= 0 ? GroupView(match, region, piece.group) : piece.text;
            if (text.empty()) continue;
            std::memcpy(w, text.data(), text.size());
            w += text.size();
        }
        return static_cast<std::size_t>(w - out);
    }

    std::string Compose(const MatchRecord& match, const std::string& region) const {
        std::string link(Length(match, region), '\0');
        ComposeTo(match, region, link.data());
        return link;
    }

private:
    struct Piece {
        std::string text;  // the template's own text, when group < 0
        int group;         // the group whose text stands here, or -1
    };
    std::vector<Piece> pieces_;
};

bool IsTitleMode(const Scheme& scheme) {
    return ToJudgeMode(scheme.type) != JudgeMode::CompareArticleId;
}

// Which matches hold the scheme's last article: a match whose title is the marker,
// and exactly so when its link is the stored link too (or none is stored).
class MarkerMatcher {
public:
    MarkerMatcher(const Scheme& scheme, const std::string& region, const LinkComposer& composer)
        : scheme_(scheme), region_(region), composer_(composer) {}

    bool Active() const { return IsTitleMode(scheme_) && !scheme_.lastMarker.empty(); }
    // `title` is the match's title as the marker holds it (MarkerTitle).
    bool TitleIs(std::string_view title) const { return title == scheme_.lastMarker; }
    bool Exactly(const MatchRecord& match, std::string_view title) const {
        return TitleIs(title) &&
               (scheme_.lastLink.empty() || composer_.Compose(match, region_) == scheme_.lastLink);
    }
    // The same for a match whose title is yet to be read.
    bool Exactly(const MatchRecord& match) const {
        const std::string_view raw = GroupView(match, region_, scheme_.titleGroup);
        if (!scheme_.fields.cleanTitles) return Exactly(match, raw);
        // Cleaning never makes a text longer: a shorter title cannot be the marker.
        if (raw.size() < scheme_.lastMarker.size()) return false;
        return Exactly(match, ReadableText(raw));
    }

    // `title(i)` gives the title of matches[i] as the marker holds it.
    template <class Title>
    std::size_t Find(const std::vector<MatchRecord>& matches, const Title& title) const {
        if (!Active()) return kNoMarker;
        std::size_t first = kNoMarker;
        for (std::size_t i = 0; i < matches.size(); ++i) {
            if (!TitleIs(title(i))) continue;
            if (Exactly(matches[i], title(i))) return i;
            if (first == kNoMarker) first = i;
        }
        return first;
    }

private:
    const Scheme& scheme_;
    const std::string& region_;
    const LinkComposer& composer_;
};

// The titles of a run's matches as the marker holds them and the keywords judge
// them: views into the region, or the readable texts made once for the run.
class MatchTitles {
public:
    MatchTitles(const Scheme& scheme, const std::string& region,
                const std::vector<MatchRecord>& matches)
        : scheme_(scheme), region_(region), matches_(matches) {
        if (!scheme.fields.cleanTitles) return;
        cleaned_.reserve(matches.size());
        for (const MatchRecord& match : matches) {
            cleaned_.push_back(ReadableText(GroupView(match, region, scheme.titleGroup)));
        }
    }

    std::string_view operator()(std::size_t i) const {
        if (scheme_.fields.cleanTitles) return cleaned_[i];
        return GroupView(matches_[i], region_, scheme_.titleGroup);
    }

private:
    const Scheme& scheme_;
    const std::string& region_;
    const std::vector<MatchRecord>& matches_;
    std::vector<std::string> cleaned_;
};

}  // namespace

std::string_view MarkerTitle(const Scheme& scheme, const MatchRecord& match,
                             const std::string& region, std::string& scratch) {
    const std::string_view raw = GroupView(match, region, scheme.titleGroup);
    if (!scheme.fields.cleanTitles) return raw;
    scratch = ReadableText(raw);
    return scratch;
}

std::string RecordedTitle(const Scheme& scheme, const MatchRecord& match,
                          const std::string& region) {
    std::string scratch;
    const std::string_view title = MarkerTitle(scheme, match, region, scratch);
    std::string cleaned(2 * title.size(), '\0');
    cleaned.resize(SqlCleanTo(title, cleaned.data()));
    return StoredText(cleaned);
}

std::size_t FindMarkerMatch(const Scheme& scheme, const std::string& region,
                            const std::vector<MatchRecord>& matches) {
    const LinkComposer composer(scheme.linkTemplate);
    const MarkerMatcher marker(scheme, region, composer);
    if (!marker.Active()) return kNoMarker;
    return marker.Find(matches, MatchTitles(scheme, region, matches));
}

std::vector<MatchRecord> FindJudgedMatches(const Scheme& scheme, const PageRegex& regex,
                                           const std::string& region) {
    const LinkComposer composer(scheme.linkTemplate);
    const MarkerMatcher marker(scheme, region, composer);
    if (!marker.Active() || ToJudgeMode(scheme.type) != JudgeMode::NewestFirst) {
        return regex.FindAllMatches(region);
    }
    return regex.FindMatchesUntil(
        region, [&marker](const MatchRecord& match) { return marker.Exactly(match); });
}

std::string ComposeLink(const std::string& linkTemplate, const MatchRecord& match,
                        const std::string& region) {
    return LinkComposer(linkTemplate).Compose(match, region);
}

RecordPlan PlanRecords(const Scheme& scheme, const std::string& region,
                       const std::vector<MatchRecord>& matches) {
    return PlanRecords(scheme, region, matches, KeywordFilter(scheme.fields));
}

RecordPlan PlanRecords(const Scheme& scheme, const std::string& region,
                       const std::vector<MatchRecord>& matches, const KeywordFilter& keywords) {
    RecordPlan plan;
    plan.highestId = scheme.lastId;
    if (matches.empty() || !keywords.Problem().empty()) return plan;
    const JudgeMode mode = ToJudgeMode(scheme.type);
    const bool compareIds = mode == JudgeMode::CompareArticleId;
    const LinkComposer composer(scheme.linkTemplate);
    const MatchTitles title(scheme, region, matches);

    // The new matches, a range of the page's list; which way it is stored comes later.
    std::size_t from = 0, to = matches.size();
    if (!compareIds) {
        const std::size_t marker = MarkerMatcher(scheme, region, composer).Find(matches, title);
        if (marker != kNoMarker) {
            if (mode == JudgeMode::OldestFirst) {
                from = marker + 1;
            } else {
                to = marker;
            }
        }
    }

    // The new matches that are stored, in the order they are stored; the rest
    // of the new ones the keywords dropped.
    struct Stored {
        std::size_t match;
        ArticleId id;
    };
    std::vector<Stored> stored;
    stored.reserve(to - from);
    std::unordered_set<std::string> ids;  // the Text() of each id seen
    const auto judge = [&](std::size_t i) {
        ArticleId id;
        if (compareIds) {
            id = ArticleId::Read(GroupView(matches[i], region, scheme.idGroup));
            // A page may list one article twice (a pinned copy): it is one article.
            if (id <= scheme.lastId || !ids.insert(id.Text()).second) return;
            if (id > plan.highestId) plan.highestId = id;
        }
        if (keywords.Active() && !keywords.Keeps(title(i))) {
            ++plan.dropped;
            return;
        }
        stored.push_back({i, std::move(id)});
    };
    if (mode == JudgeMode::OldestFirst) {
        for (std::size_t i = from; i < to; ++i) judge(i);
    } else if (compareIds) {
        // The first listing of an id is the one kept.
        for (std::size_t i = from; i < to; ++i) judge(i);
        std::sort(stored.begin(), stored.end(),
                  [](const Stored& a, const Stored& b) { return a.id < b.id; });
    } else {
        for (std::size_t i = to; i-- > from;) judge(i);
    }

    // The other values as they are stored: readable too when titles are.
    std::vector<std::string> cleanedOthers;
    if (scheme.fields.cleanTitles) {
        cleanedOthers.reserve(stored.size());
        for (const Stored& s : stored) {
            cleanedOthers.push_back(
                ReadableText(GroupView(matches[s.match], region, scheme.otherGroup)));
        }
    }
    const auto other = [&](std::size_t k) {
        return scheme.fields.cleanTitles
                   ? std::string_view(cleanedOthers[k])
                   : GroupView(matches[stored[k].match], region, scheme.otherGroup);
    };

    // All texts of the plan go into one buffer, sized up front for the most that
    // the texts written can take, so that no view into it ever moves: the marker,
    // the title (SqlClean at most doubles it), the link, the other value (cleaned).
    std::size_t room = 0;
    for (std::size_t k = 0; k < stored.size(); ++k) {
        const std::size_t i = stored[k].match;
        room += 3 * title(i).size() + composer.Length(matches[i], region) + 2 * other(k).size();
    }
    plan.texts = std::make_unique_for_overwrite<char[]>(room);
    char* spare = plan.texts.get();
    const auto kept = [&spare](std::size_t length) {
        const std::string_view text(spare, length);
        spare += length;
        return text;
    };
    plan.inserts.reserve(stored.size());
    for (std::size_t k = 0; k < stored.size(); ++k) {
        const MatchRecord& match = matches[stored[k].match];
        ArticleInsert& article = plan.inserts.emplace_back();
        article.id = std::move(stored[k].id);
        const std::string_view marker = title(stored[k].match);
        article.untitled = !compareIds && marker.empty();
        if (!marker.empty()) std::memcpy(spare, marker.data(), marker.size());
        article.marker = kept(marker.size());
        // Most titles need no cleaning: then the title is the marker's bytes.
        const std::size_t cleaned = SqlCleanTo(marker, spare);
        article.title =
            cleaned == marker.size() && std::memcmp(spare, article.marker.data(), cleaned) == 0
                ? article.marker
                : kept(cleaned);
        article.link = kept(composer.ComposeTo(match, region, spare));
        article.other = kept(SqlCleanTo(other(k), spare));
    }
    plan.newArticlesFound = !plan.inserts.empty();
    plan.update = compareIds || plan.newArticlesFound || plan.dropped > 0;

    // The newest title that is not empty becomes the marker; an empty one never
    // does, or every later run would find no marker and store the page again.
    std::size_t newest = kNoMarker;
    if (mode == JudgeMode::OldestFirst) {
        for (std::size_t i = matches.size(); i-- > 0 && newest == kNoMarker;) {
            if (!title(i).empty()) newest = i;
        }
    } else {
        for (std::size_t i = 0; i < matches.size() && newest == kNoMarker; ++i) {
            if (!title(i).empty()) newest = i;
        }
    }
    plan.lastMarker = newest != kNoMarker ? std::string(title(newest)) : scheme.lastMarker;
    if (compareIds) {
        if (!plan.inserts.empty()) plan.lastLink = std::string(plan.inserts.back().link);
    } else {
        plan.lastLink =
            newest != kNoMarker ? composer.Compose(matches[newest], region) : scheme.lastLink;
    }
    return plan;
}

std::string InsertStatement(const Scheme& scheme, const ArticleInsert& article,
                            const std::string& now) {
    if (article.untitled) {
        return UntitledArticleInsertStatement(scheme.name, scheme.id, article.link, article.other,
                                              now);
    }
    return ArticleInsertStatement(scheme.name, scheme.id, article.title, article.link,
                                  article.other, now);
}

std::string UpdateStatement(const Scheme& scheme, const RecordPlan& plan, const std::string& now) {
    return SchemeAfterRunStatement(scheme.id, plan.lastMarker, plan.lastLink, plan.highestId.Text(),
                                   now);
}

std::string MarkerStatement(const Scheme& scheme, const ArticleInsert& article) {
    if (ToJudgeMode(scheme.type) == JudgeMode::CompareArticleId) {
        return MarkerIdStatement(scheme.id, article.id.Text());
    }
    if (article.untitled) return {};
    return MarkerTitleStatement(scheme.id, article.marker, article.link);
}

}  // namespace vela
