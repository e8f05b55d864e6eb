#pragma once

#include <string>
#include <string_view>

// Which of the two encodings this program reads a page in (GBK or UTF-8), found
// the way a browser finds it: a byte order mark, the answer's Content-Type, a
// <meta> charset, and failing those the bytes themselves.

namespace vela {

enum class PageCharset {
    kUnnamed,  // nothing named one
    kGbk,      // GBK and the names that read as it here: GB2312, GB18030, CP936…
    kUtf8,
    kOther,  // a charset this program cannot read a page in (Big5, ISO-8859-1…)
};

// What an encoding's label names, ASCII letter case and surrounding blanks
// ignored ("gb2312", " UTF-8 ", "x-gbk").
PageCharset CharsetOfLabel(std::string_view label);

// The value of the Content-Type line of raw response headers (lines ended by
// CR LF or LF), empty when there is none.
std::string ContentTypeOf(std::string_view responseHeaders);

// The charset parameter of a Content-Type value ("text/html; charset=GBK").
PageCharset CharsetOfContentType(std::string_view contentType);

// The charset the page's first <meta> that names one declares, as
// <meta charset="…"> or <meta http-equiv content="…; charset=…">. Only the
// first 64 KiB are looked at: the head comes first.
PageCharset CharsetOfMeta(std::string_view page);

// True when the page is to be read as GBK, false for UTF-8. A UTF-8 byte order
// mark decides first, then the Content-Type's charset, then the bytes when they
// leave no doubt (every character beyond ASCII well-formed UTF-8, or most of them
// not: a page a browser saved keeps its old <meta charset> but is UTF-8, and a
// GBK page may claim UTF-8), then <meta>; a charset of another kind is passed
// over. Mixed bytes that name nothing are GBK, a page of ASCII alone UTF-8.
bool PageIsGbk(std::string_view contentType, std::string_view page);

}  // namespace vela
