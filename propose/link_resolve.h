#pragma once

#include <string>
#include <string_view>

namespace vela {

// The absolute address `reference` (a link as a page writes it, references
// decoded) stands for on a page whose address is `base`: scheme, host, path and
// query resolved as a browser does, dot segments removed. `base` must be an http
// or https address; otherwise the reference is given back as it is. Brackets and
// every other byte of the reference are kept, so "[2]" in a link template
// survives.
std::string ResolveLink(std::string_view base, std::string_view reference);

}  // namespace vela
