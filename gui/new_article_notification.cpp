#include "new_article_notification.h"

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"

namespace vela {
namespace {

constexpr std::size_t kTitleBytes = 80;  // 40 Chinese characters
constexpr std::size_t kSchemeBytes = 40;

// Every byte replaced here is below 0x40 and so never the trail byte of a GBK
// character: a byte-wise pass is correct, also on malformed text.
std::string PlainText(const std::string& gbk) {
    static const std::string lt = Utf8ToGbk("＜"), gt = Utf8ToGbk("＞"), amp = Utf8ToGbk("＆");
    std::string out;
    out.reserve(gbk.size());
    for (char c : gbk) {
        if (c == '<') {
            out += lt;
        } else if (c == '>') {
            out += gt;
        } else if (c == '&') {
            out += amp;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string Shortened(const std::string& gbk, std::size_t limit) {
    if (gbk.size() <= limit) return gbk;
    std::size_t end = 0;
    while (end < gbk.size() && end + GbkCharLength(gbk, end) <= limit) {
        end += GbkCharLength(gbk, end);
    }
    return gbk.substr(0, end) + Utf8ToGbk("…");
}

}  // namespace

NotificationRequest NewArticleNotification(const NewArticleDigest::Snapshot& news) {
    NotificationRequest request;
    request.title = Utf8ToGbk("发现 ") + std::to_string(news.count) + Utf8ToGbk(" 篇新文章");
    for (const NewArticle& article : news.latest) {
        if (!request.text.empty()) request.text += "\n";
        request.text += Utf8ToGbk("【") + Shortened(PlainText(article.scheme), kSchemeBytes) +
                        Utf8ToGbk("】") + Shortened(PlainText(article.title), kTitleBytes);
    }
    if (news.count > static_cast<int>(news.latest.size())) request.text += "\n" + Utf8ToGbk("……");
    if (!news.latest.empty()) request.link = news.latest.front().link;
    return request;
}

}  // namespace vela
