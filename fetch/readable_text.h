#pragma once

#include <string>
#include <string_view>

namespace vela {

// A piece of page source (GBK) as a person reads it: tags removed, character
// references decoded (named and numeric; a character without a GBK form becomes
// "?", as a UTF-8 page's does), every run of blanks (space, tab, CR, LF, the
// ideographic space, a no-break space) one space, none at either end.
std::string ReadableText(std::string_view gbk);

}  // namespace vela
