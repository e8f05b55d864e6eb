#include "readable_text.h"

namespace vela {

// Placeholder until the decoder lands: the text as it stands.
std::string ReadableText(std::string_view gbk) { return std::string(gbk); }

}  // namespace vela
