#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "notify_message.h"
#include "text_escape.h"

namespace vela {

// How a service's text is written: its escaping function, the line of the title,
// of a scheme and of an article (their texts already escaped; the link raw, or
// empty when it is left out), and the service's size limit.
struct TextFormat {
    std::string (*escape)(std::string_view text);
    std::string (*titleLine)(const std::string& escapedTitle);
    std::string (*schemeLine)(const std::string& escapedScheme);
    std::string (*articleLine)(const std::string& escapedTitle, const std::string& link);
    std::string lineBreak = "\n";
    LengthUnit unit = LengthUnit::Bytes;
    std::size_t limit = 0;  // 0: no limit
};

// The message written in `format`, split into texts each within the limit. A
// split falls only between lines; each text begins with the title line, and a
// group carried on repeats its scheme line. An article line too long for any text
// has its title shortened at a character boundary (the link is kept whole, or
// left out when it alone does not fit).
std::vector<std::string> SplitMessage(const NotifyMessage& message, const TextFormat& format);

}  // namespace vela
