#include "message_split.h"

namespace vela {
namespace {

// A scheme's name longer than this is shortened: it is a heading, not content.
constexpr std::size_t kSchemeNameLimit = 120;

}  // namespace

std::vector<std::string> SplitMessage(const NotifyMessage& message, const TextFormat& f) {
    const LengthUnit unit = f.unit;
    const auto length = [unit](const std::string& text) { return TextLength(text, unit); };
    const std::size_t limit = f.limit == 0 ? static_cast<std::size_t>(-1) : f.limit;
    const std::string head = f.titleLine ? f.titleLine(f.escape(message.title)) + f.lineBreak : "";

    const std::size_t headLength = length(head);
    std::vector<std::string> texts;
    std::string current = head;
    std::size_t currentLength = headLength;  // kept as it grows: no text is measured twice
    bool fresh = true;                       // nothing but the title line yet
    long currentGroup = -1;  // the group whose scheme line the current text last wrote
    const auto finish = [&] {
        while (current.size() >= f.lineBreak.size() && !f.lineBreak.empty() &&
               current.compare(current.size() - f.lineBreak.size(), f.lineBreak.size(),
                               f.lineBreak) == 0) {
            current.resize(current.size() - f.lineBreak.size());
        }
        texts.push_back(std::move(current));
        current = head;
        currentLength = headLength;
        fresh = true;
        currentGroup = -1;
    };
    // Adds `block`, starting a new text when it would not fit; `scheme` is the
    // scheme line of the group `group` the block belongs under (-1 for none).
    const auto add = [&](const std::string& block, const std::string& scheme, long group) {
        std::string piece = block;
        if (group >= 0 && group != currentGroup) piece = scheme + piece;
        if (!fresh && currentLength + length(piece) > limit) {
            finish();
            if (group >= 0) piece = scheme + block;
        }
        current += piece;
        currentLength += length(piece);
        fresh = false;
        if (group >= 0) currentGroup = group;
    };

    if (!message.note.empty()) {
        const std::size_t budget = limit - std::min(limit, headLength + length(f.lineBreak));
        add(EscapedPrefix(message.note, f.escape, unit, budget) + f.lineBreak, {}, -1);
    }
    const std::vector<SchemeGroup> groups = GroupByScheme(message);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::string gap = g == 0 && message.note.empty() ? "" : f.lineBreak;
        const std::string schemeLine =
            gap +
            f.schemeLine(EscapedPrefix(message.articles[groups[g].articles.front()].scheme,
                                       f.escape, unit, kSchemeNameLimit)) +
            f.lineBreak;
        // What a fresh text holds before the article: the title and the scheme.
        const std::size_t fixed = headLength + length(schemeLine) + length(f.lineBreak);
        const std::size_t room = limit - std::min(limit, fixed);
        for (std::size_t index : groups[g].articles) {
            const NotifyArticle& article = message.articles[index];
            std::string link = article.link;
            std::string line = f.articleLine(f.escape(article.title), link);
            if (length(line) > room) {
                const std::size_t bare = length(f.articleLine("", link));
                if (bare > room) {
                    link.clear();
                }
                const std::size_t overhead = length(f.articleLine("", link));
                line = f.articleLine(
                    EscapedPrefix(article.title, f.escape, unit, room - std::min(room, overhead)),
                    link);
            }
            add(line + f.lineBreak, schemeLine, static_cast<long>(g));
        }
    }
    finish();
    return texts;
}

}  // namespace vela
