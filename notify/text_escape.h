#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// IsHttpLink decides which links the services' texts make clickable.
#include "fetch/url_parts.h"

// Every page text reaches a service through one of these functions, one per
// format: whatever a title holds, it stays text there (no link, no mention, no
// markup). Texts are UTF-8; a malformed sequence becomes U+FFFD.

namespace vela {

// One line of plain text: control characters (line breaks included) become blanks.
std::string PlainLine(std::string_view text);

// HTML text or attribute value (Telegram's HTML mode): & < > " ' as entities,
// control characters as blanks (fetch/markup_escape.h).
std::string EscapeHtml(std::string_view text);

// Markdown of the Chinese chat robots (WeCom, DingTalk), which know no escape
// character: every character with a meaning there (links, emphasis, headings,
// quotes, HTML tags, mentions) is shown in its full-width form.
std::string EscapeRobotMarkdown(std::string_view text);
// The lines of a robot markdown message, their texts already escaped: the
// message's title and a scheme's name in bold, an article as a link (its title,
// or "链接" when it has none) when its link is http(s), else as plain text.
std::string RobotMarkdownTitle(const std::string& title);
std::string RobotMarkdownScheme(const std::string& scheme);
std::string RobotMarkdownArticle(const std::string& title, const std::string& link);

// Text that the service reads for tags such as <at>: the angle brackets and the
// ampersand in their full-width forms.
std::string EscapeTagText(std::string_view text);

// Discord's markdown: a backslash before every character with a meaning there.
std::string EscapeDiscord(std::string_view text);

// A link as it goes into markup: every byte outside the URL characters that
// markup leaves alone (blanks, quotes, brackets, angle brackets, non-ASCII) is
// percent-encoded, so the link can neither end early nor carry markup.
std::string EncodeLink(std::string_view link);

std::string Base64(std::string_view bytes);

// How a service counts the length of a text.
enum class LengthUnit { Bytes, Utf16 };
std::size_t TextLength(std::string_view text, LengthUnit unit);

// The longest leading part of `text` whose escaped form, with "…" added when
// anything was cut, is at most `budget` long; cut only between characters.
std::string EscapedPrefix(std::string_view text, std::string (*escape)(std::string_view),
                          LengthUnit unit, std::size_t budget);

}  // namespace vela
