#pragma once

#include <string_view>

namespace vela {

// Whether a page's bytes are GBK (GB2312, GBK, GB18030) rather than UTF-8: a
// byte-order mark first, then the Content-Type header's charset, then the bytes
// themselves when they leave no doubt (a page saved by a browser keeps its old
// <meta charset> but is UTF-8; a GBK page may claim UTF-8), then <meta charset>;
// a page that is not UTF-8 and names nothing is GBK.
bool IsGbkPage(std::string_view page, std::string_view contentType);

}  // namespace vela
