#include "atom_feed.h"

#include "feed_time.h"
#include "fetch/url_parts.h"
#include "web_text.h"

namespace vela {
namespace {

// The authority of the ids: a name under .localhost that nobody else can own,
// and the year the scheme was set; both fixed for good.
constexpr const char* kTagAuthority = "tag:vela.localhost,2024:";

std::string EntryTime(const std::string& stored) {
    const auto time = ParseStoredTime(stored);
    return time ? time->rfc3339 : kUnknownTime;
}

void Element(std::string& out, const char* name, std::string_view utf8) {
    out += '<';
    out += name;
    out += '>';
    AppendEscaped(out, utf8);
    out += "</";
    out += name;
    out += ">\n";
}

}  // namespace

std::string ArticleTag(const std::string& identity, int64_t articleId) {
    return kTagAuthority + identity + "/article/" + std::to_string(articleId);
}

std::string AtomFeed(const FeedHead& head, const std::vector<Article>& articles) {
    std::string out;
    out.reserve(1024 + articles.size() * 600);
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n";
    Element(out, "id", kTagAuthority + head.identity + "/" + head.key);
    Element(out, "title", head.title);
    // Entries come newest first; the feed changed when its newest entry came.
    out += "<updated>";
    out += articles.empty() ? std::string(kUnknownTime) : EntryTime(articles.front().time);
    out += "</updated>\n";
    if (!head.selfUrl.empty()) {
        out += "<link rel=\"self\" type=\"application/atom+xml\" href=\"";
        AppendEscaped(out, head.selfUrl);
        out += "\"/>\n";
    }
    out += "<generator>vela</generator>\n";
    for (const Article& a : articles) {
        const std::string scheme = StoredUtf8(a.scheme);
        const std::string title = StoredUtf8(a.title);
        const std::string link = StoredUtf8(a.url);
        out += "<entry>\n";
        Element(out, "id", ArticleTag(head.identity, a.id));
        Element(out, "title", title);
        out += "<updated>" + EntryTime(a.time) + "</updated>\n";
        // An entry needs a link or a content; a link that is not a web address is
        // left out, and the title then stands as the content.
        if (IsHttpLink(link)) {
            out += "<link rel=\"alternate\" href=\"";
            AppendEscaped(out, link);
            out += "\"/>\n";
        } else {
            Element(out, "content", title);
        }
        out += "<author>";
        Element(out, "name", scheme.empty() ? "vela" : scheme);
        out += "</author>\n";
        if (!scheme.empty()) {
            out += "<category term=\"";
            AppendEscaped(out, scheme);
            out += "\"/>\n";
        }
        if (!a.other.empty()) Element(out, "summary", StoredUtf8(a.other));
        out += "</entry>\n";
    }
    out += "</feed>\n";
    return out;
}

}  // namespace vela
