#pragma once

#include <string>
#include <string_view>

namespace vela {

// GBK text from the database or a page, as UTF-8 for the terminal or JSON. A byte
// sequence without a Unicode form prints as "?" and never ends the text.
std::string ConsoleText(std::string_view gbk);

// The same for one field of a readable line: control characters (a line break
// or tab inside a title) become blanks, so that a line stays one line.
std::string ConsoleField(std::string_view gbk);

}  // namespace vela
