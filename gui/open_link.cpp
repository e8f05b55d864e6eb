#include "open_link.h"

#include <QDesktopServices>

#include "gbk_text.h"

namespace vela {
namespace {

void OpenWithDesktop(const QUrl& url) { QDesktopServices::openUrl(url); }

UrlOpener& CurrentOpener() {
    static UrlOpener opener = OpenWithDesktop;
    return opener;
}

}  // namespace

std::optional<QUrl> SafeLinkUrl(const std::string& gbk) {
    QString text = FromGbk(gbk).trimmed();
    if (text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) text.prepend("http://");
    QUrl url(text, QUrl::TolerantMode);
    QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != "http" && scheme != "https") || url.host().isEmpty())
        return std::nullopt;
    return url;
}

void OpenLink(const std::string& gbk) {
    if (auto url = SafeLinkUrl(gbk)) CurrentOpener()(*url);
}

UrlOpener SetUrlOpener(UrlOpener opener) {
    UrlOpener previous = CurrentOpener();
    CurrentOpener() = opener ? std::move(opener) : UrlOpener(OpenWithDesktop);
    return previous;
}

}  // namespace vela
