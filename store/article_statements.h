#pragma once

#include <string>
#include <string_view>

// The SQL texts that record articles and move a scheme's marker. `schemeId` is
// the scheme row's integer key and goes into the text as it stands; the texts
// named "cleaned" were made safe by SqlClean already; every other text value has
// its apostrophes doubled here, so it is stored byte for byte.

namespace vela {

std::string ArticleInsertStatement(std::string_view schemeName, std::string_view schemeId,
                                   std::string_view cleanedTitle, std::string_view link,
                                   std::string_view cleanedOther, std::string_view now);

// The insert of an article whose title is empty: it stores the article only
// when no row of the scheme with an empty title and the same link exists, so an
// article that can never become the marker is stored at most once.
std::string UntitledArticleInsertStatement(std::string_view schemeName, std::string_view schemeId,
                                           std::string_view link, std::string_view cleanedOther,
                                           std::string_view now);

// The scheme's row after a run: newest article, its link, the time and the
// highest article id, in decimal ("-" and digits) of any length, stored exactly.
std::string SchemeAfterRunStatement(const std::string& schemeId, const std::string& marker,
                                    const std::string& link, std::string_view highestId,
                                    const std::string& now);

// The last-article marker alone: the newest title with its link, or the highest id.
std::string MarkerTitleStatement(std::string_view schemeId, std::string_view marker,
                                 std::string_view link);
std::string MarkerIdStatement(const std::string& schemeId, std::string_view id);

}  // namespace vela
