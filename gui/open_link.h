#pragma once

#include <QUrl>
#include <functional>
#include <optional>
#include <string>

namespace vela {

// The address a link composed from page text may be opened as: only http and
// https (any letter case), or "www." taken as http. Anything else (a local file,
// another program's scheme) is refused, since a page must not make the desktop
// open it.
std::optional<QUrl> SafeLinkUrl(const std::string& gbk);

// Opens a safe link with the desktop's default handler; ignores others silently.
void OpenLink(const std::string& gbk);

// Replaces the desktop opener (tests); returns the previous one.
using UrlOpener = std::function<void(const QUrl&)>;
UrlOpener SetUrlOpener(UrlOpener opener);

}  // namespace vela
