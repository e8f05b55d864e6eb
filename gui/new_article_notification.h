#pragma once

#include "desktop_notification.h"
#include "engine/new_articles.h"

namespace vela {

// The notification of a cycle's new articles: the count in the title, and up to
// three titles with their schemes, one per line, newest first (the top of 最新文章).
// Page texts may be hostile: markup characters are shown in their full-width forms
// (notification services read the body as markup), control characters become
// blanks, and long titles and names are cut at a character boundary.
NotificationRequest NewArticleNotification(const NewArticleDigest::Snapshot& news);

}  // namespace vela
