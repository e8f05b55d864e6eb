#include "row_id.h"

#include <charconv>

namespace vela {

bool ParseRowId(std::string_view text, int64_t& id) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || value < 1) return false;
    id = value;
    return true;
}

}  // namespace vela
