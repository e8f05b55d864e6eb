#pragma once

#include <cstdint>
#include <string_view>

namespace vela {

// A row id as the database keeps it (a scheme's, an article's): the decimal digits
// of an integer from 1 to 2^63-1 and nothing else. No sign, blank, "0x" or
// clamping of a longer number, each of which would name another row than the one
// written. False, with `id` unchanged, for anything else.
bool ParseRowId(std::string_view text, int64_t& id);

}  // namespace vela
